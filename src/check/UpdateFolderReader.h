#pragma once
// Reads an update folder through the installer's own configuration code: the INI parser,
// both passes of the configuration manager and the version gate, run once for each
// installed revision that a delta-patch section starts from, with the installed product's
// version given to the gate. The passes return what they would log and show as data, so
// nothing is logged or shown and the update folder stays as it was.

#include <cstdint>
#include <string>

#include "check/UpdateFolderSnapshot.h"

namespace twcheck {

class CUpdateFolderReader {
public:
    // Installation folder the simulated runs target (only named in entries and messages).
    static constexpr const char kInstallFolder[] = "C:\\Program Files\\Veltra\\Tallyworks";
    // The installer program that lies in the update folder.
    static constexpr const char kInstallerProgram[] = "twpatch.exe";

    // False (with the reason in error) when the folder or its patch.ini cannot be read at
    // all; a patch.ini without sections is reported in the snapshot instead.
    static bool Read(const std::string& folder, UpdateFolderSnapshot& snapshot, std::string& error);

    // The installer's second pass for a product installed at the revision (its
    // "VersionString" made from the major version and level of twversion), appended to the
    // snapshot's runs; the second form takes the "VersionString" Windows Installer reports.
    static void SimulateRun(UpdateFolderSnapshot& snapshot, uint32_t revision);
    static void SimulateRun(UpdateFolderSnapshot& snapshot, uint32_t revision, const std::string& versionString);
};

}  // namespace twcheck
