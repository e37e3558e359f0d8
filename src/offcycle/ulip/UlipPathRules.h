#pragma once
// Rules for the paths of the ULIP restore. File texts come from a downloaded manifest and the
// folder names from patch.ini, so each is checked to stay inside the folder it is put under.

#include <string>

namespace tw {

class CUlipPathRules {
public:
    // True for a relative path of one or more plain names separated by backslashes: no
    // drive, no ":" or "/", no empty, "." or ".." level (nor one of dots and spaces only), no
    // wildcard or control character, no device name (CON, NUL, AUX, PRN, COM1-9, LPT1-9, with
    // or without extension) at any level.
    static bool IsSafeRelativePath(const std::string& text);
    // IsSafeRelativePath for a single level.
    static bool IsSafeName(const std::string& name);
    // True when path, made full, lies below folder, made full (GetFullPathNameA; letter case
    // ignored). The folder itself does not count.
    static bool IsInsideFolder(const std::string& folder, const std::string& path);
    // The part after the last backslash (all of it when there is none).
    static std::string NameOf(const std::string& path);
    // Cuts the text at its last dot when the name part has one; false when nothing was cut.
    static bool CutExtension(std::string& text);
    // The attributes of the entry itself, a closing backslash ignored; INVALID_FILE_ATTRIBUTES
    // when it does not exist.
    static unsigned long EntryAttributes(const std::string& path);
    // True when the path exists and is a reparse point (junction, symbolic link, mount point).
    static bool IsReparsePoint(const std::string& path);
};

}  // namespace tw
