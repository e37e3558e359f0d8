#pragma once
// Helpers shared by the test programs: scratch folders and files, the platform seams put
// back after each test, and a recorder for message boxes.

#include <windows.h>

#include <deque>
#include <string>
#include <vector>

namespace twtest {

// A new empty folder under the temporary folder, removed with its content on destruction.
class TempDir {
public:
    explicit TempDir(const char* tag = "tw");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    // Path of an entry inside the folder ("a\\b.txt").
    std::string operator/(const std::string& relative) const { return m_path + "\\" + relative; }

private:
    std::string m_path;
};

void RemoveTree(const std::string& path);
bool WriteTextFile(const std::string& path, const std::string& content);
std::string ReadTextFile(const std::string& path);
bool FileExists(const std::string& path);
bool MakeDirs(const std::string& path);

// Windows path of a file in the source tree ("tests\\fixtures\\x.ini").
std::string SourcePath(const std::string& relative);
// Windows path of a file in the build tree.
std::string BinaryPath(const std::string& relative);

// Puts the platform seams and the process-wide run state back to their start values when
// it goes out of scope; every test that touches either owns one.
class SeamGuard {
public:
    SeamGuard();
    ~SeamGuard();
};

struct MessageBoxCall {
    HWND owner;
    std::string text;
    std::string title;
    UINT type;
    WORD language;
};

// Replaces the message box seam: records every box and answers from a queue (IDOK once
// the queue is empty).
class MessageBoxRecorder {
public:
    MessageBoxRecorder();
    void Answer(int answer) { m_answers.push_back(answer); }
    const std::vector<MessageBoxCall>& Calls() const { return m_calls; }

private:
    std::vector<MessageBoxCall> m_calls;
    std::deque<int> m_answers;
};

}  // namespace twtest
