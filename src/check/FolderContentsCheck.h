#pragma once
// Judges what lies in the update folder beside patch.ini: the installer program itself,
// packages that no section names, and packages named more than once. Pure functions of the
// snapshot.

#include <string>
#include <vector>

#include "check/CheckFinding.h"
#include "check/UpdateFolderSnapshot.h"

namespace twcheck {

class CFolderContentsCheck {
public:
    static constexpr const char kProgramMissing[] = "program-missing";

    // The version of this checker's build, which is the installer whose decisions it
    // predicts.
    static const char* CheckerVersion();

    // twpatch.exe missing (nothing runs the update), or of another version than the
    // checker's (its decisions may differ from the ones predicted).
    static std::vector<CheckFinding> CheckProgram(const UpdateFolderSnapshot& snapshot,
                                                  const std::string& checkerVersion);
    // Packages lying in the folder that no section names: the installer never applies them.
    static std::vector<CheckFinding> CheckUnnamedPackages(const UpdateFolderSnapshot& snapshot);
    // A package named by more than one key: the installer lists it once, so a chain that
    // reaches it twice applies it once.
    static std::vector<CheckFinding> CheckNamedTwice(const UpdateFolderSnapshot& snapshot);
};

}  // namespace twcheck
