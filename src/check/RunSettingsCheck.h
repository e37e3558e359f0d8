#pragma once
// Judges what patch.ini makes the run do beyond applying the packages: the options added
// to Windows Installer's property list, the tracking messages, Windows Installer's own log,
// and the programs the run closes or ends before patching. Pure functions of the snapshot.

#include <vector>

#include "check/CheckFinding.h"
#include "check/CheckReport.h"
#include "check/UpdateFolderSnapshot.h"

namespace twcheck {

class CRunSettingsCheck {
public:
    static constexpr const char kCompanionIsInstaller[] = "companion-is-installer";

    // CmdOptions of the MSI section that restart Windows, change what is installed, are set
    // again by the program, or are no property list at all.
    static std::vector<CheckFinding> CheckCmdOptions(const UpdateFolderSnapshot& snapshot);
    // A country or server value with which the run sends no tracking message.
    static std::vector<CheckFinding> CheckTracking(const UpdateFolderSnapshot& snapshot);
    // Windows Installer's log switched off: a failed update leaves no verbose log.
    static std::vector<CheckFinding> CheckMsiLog(const UpdateFolderSnapshot& snapshot);

    // The programs of the agent-data and related-apps sections, in the order the run closes
    // them (none when the run stops before, in its first read of patch.ini).
    static std::vector<Companion> Companions(const UpdateFolderSnapshot& snapshot);
    // Companions that the run ends without asking, that name nothing, that are part of
    // Windows, or that are the installer itself (which then ends its own run).
    static std::vector<CheckFinding> CheckCompanions(const std::vector<Companion>& companions);
};

}  // namespace twcheck
