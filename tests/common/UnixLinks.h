#pragma once
// Links made the way a standard user on the machine would make them, for tests under Wine:
// Unix symbolic and hard links, made with the Unix "ln" through Wine's process start. Wine
// opens a symbolic link like the file it points at (GetFinalPathNameByHandleA names the
// target) and reports a hard link through nNumberOfLinks.

#include <string>

namespace twtest {

// The Unix path of a Windows path (Wine's wine_get_unix_file_name); empty when unknown.
std::string UnixPathOf(const std::string& windowsPath);

// Makes 'link' (a Windows path) a symbolic link (hard: a hard link) to 'target'. True when
// the link is there within a few seconds.
bool MakeUnixLink(const std::string& target, const std::string& link, bool hard);

}  // namespace twtest
