#pragma once
// Opening the program's own logs without following links. The logs lie in folders a standard
// user can write (the update folder, the update log folder under ProgramData); a log that is a
// symbolic link, a junction's target or a second hard link of some other file would make the
// elevated program append to, or on rotation overwrite, that file. Such an entry is not
// written through: the link itself is replaced by a fresh file.

#include <windows.h>

#include <cstdio>
#include <string>

namespace tw {

class CLinkSafeFile {
public:
    // True when the open handle is a plain file at expectedPath: not a reparse point, exactly
    // one hard link, and its final path (GetFinalPathNameByHandleA) the full form of
    // expectedPath (letter case ignored; a final path that cannot be read is not held against
    // it). 'why' (optional) says what was found otherwise.
    static bool IsPlainFileAt(HANDLE file, const std::string& expectedPath, std::string* why = nullptr);

    // Replaces the entry at 'path' by a new empty file when it is not a plain file there: the
    // link itself goes (a new file is moved over its name; a junction is removed), never what
    // it points at. True when what is at the path now is a plain file or nothing. 'why'
    // (optional) says what was found.
    static bool ReplaceIfLink(const std::string& path, std::string* why = nullptr);

    // Opens 'path' for appending with the C runtime ("a" or "a+"), creating it when missing,
    // after ReplaceIfLink; the handle opened is checked again and refused when it is still not
    // a plain file. Null when the file cannot be had. The caller owns the stream (CFile).
    static std::FILE* OpenForAppend(const std::string& path, const char* mode);
};

}  // namespace tw
