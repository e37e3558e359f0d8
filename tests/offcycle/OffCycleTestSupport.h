#pragma once
// Helpers of the off-cycle tests: a logger that records lines, manifest text builders and
// binary file helpers.

#include <string>
#include <vector>

namespace octest {

// Logger function for the classes under test; lines land in Lines().
void RecordLine(const char* line);
std::vector<std::string>& Lines();
// Number of recorded lines that contain the text.
size_t CountLines(const std::string& text);
// Recorded lines that begin with the text.
std::vector<std::string> LinesStartingWith(const std::string& text);

// Gives the tracker a context that lets error messages through: country "US", no server.
void LetErrorMessagesThrough();

// An off-cycle manifest of version 1 with the given item elements.
std::string OffCycleManifest(const std::string& items, const std::string& type = "offcycle", int version = 1);
// One item element.
std::string Item(const std::string& feature, const std::string& file, const std::string& base = "INSTALLDIR");

bool WriteBinaryFile(const std::string& path, const std::string& bytes);
std::string ReadBinaryFile(const std::string& path);
// Names of the entries of a folder (no "." and "..").
std::vector<std::string> ListFolder(const std::string& folder);

// Keeps the restart rename list (PendingFileRenameOperations under the Session Manager key)
// as it was before a test and puts it back afterwards.
class PendingRenamesGuard {
public:
    PendingRenamesGuard();
    ~PendingRenamesGuard();
    // The list as one text with the entries separated by '|'.
    static std::string Current();

private:
    static bool Read(std::string& out);
    std::string m_before;
    bool m_existed = false;
};

}  // namespace octest
