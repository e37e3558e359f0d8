#pragma once
// Helpers shared by the test programs: scratch folders and files, the process state put
// back around each test, and recorders for message boxes and tracking messages.

#include <windows.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace tw {
class ITrackingSender;
}

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
// Anything at the path, a file or a folder (tw::EntryExists).
bool FileExists(const std::string& path);
bool MakeDirs(const std::string& path);

// Windows path of a file in the source tree ("tests\\fixtures\\x.ini").
std::string SourcePath(const std::string& relative);
// Windows path of a file in the build tree.
std::string BinaryPath(const std::string& relative);

// Puts every piece of process-wide state (platform seams, run state, log folder, tracking
// context, caches and singletons) back to its start value when it is created and when it
// goes out of scope; every test that touches any of them owns one.
class SeamGuard {
public:
    SeamGuard();
    ~SeamGuard();
    SeamGuard(const SeamGuard&) = delete;
    SeamGuard& operator=(const SeamGuard&) = delete;
};

struct MessageBoxCall {
    HWND owner;
    std::string text;
    std::string title;
    UINT type;
    WORD language;
};

// Replaces the message box seam for its lifetime: records every box and answers from a
// queue (IDOK once the queue is empty).
class MessageBoxRecorder {
public:
    MessageBoxRecorder();
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;
    void Answer(int answer) { m_answers.push_back(answer); }
    const std::vector<MessageBoxCall>& Calls() const { return m_calls; }

private:
    std::vector<MessageBoxCall> m_calls;
    std::deque<int> m_answers;
    std::function<int(HWND, LPCSTR, LPCSTR, UINT, WORD)> m_previous;
};

// Installs a tracking sender for its lifetime, with the tracking context cleared before
// and after; the sender it replaced comes back.
class TrackingSenderScope {
public:
    explicit TrackingSenderScope(tw::ITrackingSender* sender);
    ~TrackingSenderScope();
    TrackingSenderScope(const TrackingSenderScope&) = delete;
    TrackingSenderScope& operator=(const TrackingSenderScope&) = delete;

private:
    tw::ITrackingSender* m_previous;
};

}  // namespace twtest
