#pragma once
// Rules for the paths of the ULIP restore. File texts come from a downloaded manifest and the
// folder names from patch.ini, so each is checked to stay inside the folder it is put under.
// The checks themselves are the program's one set of path rules (CPathRules); this class
// keeps the names the restore's steps use and adds the two text helpers they share.

#include <string>

namespace tw {

class CUlipPathRules {
public:
    // CPathRules::IsSafeRelativePath: plain names separated by backslashes, nothing that
    // climbs out, names a drive, a root or a device.
    static bool IsSafeRelativePath(const std::string& text);
    // CPathRules::IsSafeName: one such level.
    static bool IsSafeName(const std::string& name);
    // CPathRules::IsInsideFolder: the full form of path lies below that of folder.
    static bool IsInsideFolder(const std::string& folder, const std::string& path);
    // The part after the last backslash (all of it when there is none).
    static std::string NameOf(const std::string& path);
    // Cuts the text at its last dot when the name part has one; false when nothing was cut.
    static bool CutExtension(std::string& text);
    // CPathRules::EntryAttributes and CPathRules::IsReparsePoint.
    static unsigned long EntryAttributes(const std::string& path);
    static bool IsReparsePoint(const std::string& path);
};

}  // namespace tw
