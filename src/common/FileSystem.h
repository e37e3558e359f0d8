#pragma once
// Whether something is there at a path, asked the one way: from its attributes. A path that
// cannot be asked about (null, empty, too long, no access to its folder) counts as not there.

#include <windows.h>

#include <string>

namespace tw {

// A file: something that is there and is not a folder.
inline bool FileExists(const char* path) {
    if (!path || !*path) return false;
    const DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}
inline bool FileExists(const std::string& path) { return FileExists(path.c_str()); }

// A folder.
inline bool FolderExists(const char* path) {
    if (!path || !*path) return false;
    const DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
inline bool FolderExists(const std::string& path) { return FolderExists(path.c_str()); }

// Anything at all, a file or a folder.
inline bool EntryExists(const char* path) {
    return path && *path && ::GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}
inline bool EntryExists(const std::string& path) { return EntryExists(path.c_str()); }

}  // namespace tw
