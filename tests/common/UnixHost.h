#pragma once
// Unix programs and paths from a test under Wine: the Unix path of a Windows path, a Unix
// program run to its effect, and links made the way a standard user on the machine would
// make them (Unix symbolic and hard links, made with the Unix "ln"). Wine opens a symbolic
// link like the file it points at (GetFinalPathNameByHandleA names the target), reports one
// to a folder as a reparse point, and reports a hard link through nNumberOfLinks.

#include <windows.h>

#include <functional>
#include <string>

namespace twtest {

// The Unix path of a Windows path (Wine's wine_get_unix_file_name); empty when unknown.
std::string UnixPathOf(const std::string& windowsPath);

// Starts a Unix program (the command line's first word; Wine splits the rest the Windows
// way, so double quotes group) and waits at most timeoutMs until done() tells that it had
// its effect: the handle of a Unix process cannot be waited for. True when done() came true.
bool RunUnix(const std::string& commandLine, const std::function<bool()>& done, DWORD timeoutMs = 10000);

// Makes 'link' (a Windows path) a symbolic link (hard: a hard link) to 'target'. True when
// the link is there within a few seconds.
bool MakeUnixLink(const std::string& target, const std::string& link, bool hard);

// A Unix symbolic link at 'link' to 'target' (both Windows paths) for its lifetime: the link
// alone is removed on destruction.
class UnixLink {
public:
    UnixLink(const std::string& target, const std::string& link);
    ~UnixLink();
    UnixLink(const UnixLink&) = delete;
    UnixLink& operator=(const UnixLink&) = delete;
    bool Made() const { return m_made; }

private:
    std::string m_link;      // Windows path
    std::string m_unixLink;  // the same as a Unix path
    bool m_made = false;
};

}  // namespace twtest
