#pragma once
// The one set of rules for paths the program did not make itself: package names of patch.ini,
// file texts of the off-cycle and ULIP manifests, cabinet entries and the entries of the
// off-cycle journal. The program runs elevated; a text that names a device, climbs out of its
// folder or leads through a link would make it read or change some other file.

#include <string>

namespace tw {

class CPathRules {
public:
    // True for a name Windows gives to a device in every folder: CON, PRN, AUX, NUL, CONIN$,
    // CONOUT$, CLOCK$, COM0-COM9 and LPT0-LPT9, the latter two also with the superscript
    // digits one to three of the ANSI code page; without regard to case, with any extension,
    // and with the dots and spaces Windows drops at the end of the name part.
    static bool IsDeviceName(const std::string& name);

    // True for one plain level of a path: not empty, no control character, none of
    // \ / : * ? " < > |, not ending in a dot or a space (Windows drops them, so the name would
    // stand for another one; this refuses ".", ".." and names of dots and spaces only), and no
    // device name.
    static bool IsSafeName(const std::string& name);

    // True for a relative path of one or more safe names separated by backslashes: no drive,
    // no root, no "..", no ":" or "/", no empty level.
    static bool IsSafeRelativePath(const std::string& text);

    // The full form of a path: forward slashes turned into backslashes, made absolute
    // (GetFullPathNameA, which also resolves "." and ".." levels), trailing backslashes
    // removed (a drive's root keeps its one). Empty for an empty path; the text with its
    // slashes turned and trailing backslashes removed when it cannot be resolved.
    static std::string Normalise(const std::string& path);

    // True when both paths, in their full forms, are the same text without regard to case.
    // Two empty paths are not the same place.
    static bool IsSamePath(const std::string& first, const std::string& second);

    // True when the full form of 'path' lies below the full form of 'folder' (letter case
    // ignored); the folder itself does not count.
    static bool IsInsideFolder(const std::string& folder, const std::string& path);

    // True when 'name' is a safe relative path and folder + "\" + name lies inside the folder.
    static bool IsNameInsideFolder(const std::string& folder, const std::string& name);

    // True when no existing level of the full form of 'path', from the first one below the
    // drive's root down to the entry itself, is a reparse point (junction, symbolic link, mount
    // point). The walk stops at the first level that does not exist. 'where' (optional)
    // receives the first level that is a reparse point.
    static bool HasNoReparsePointOnTheWay(const std::string& path, std::string* where = nullptr);

    // The attributes of the entry itself (a closing backslash ignored); INVALID_FILE_ATTRIBUTES
    // when it does not exist.
    static unsigned long EntryAttributes(const std::string& path);
    // True when the entry exists and is a reparse point.
    static bool IsReparsePoint(const std::string& path);
};

}  // namespace tw
