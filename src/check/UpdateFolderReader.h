#pragma once
// Reads an update folder through the installer's own configuration code: the INI parser,
// both passes of the configuration manager and the version gate, run once for each
// installed revision that a delta-patch section starts from, with the installed product's
// version given to the gate. The passes return what they would log and show as data, so
// nothing is logged or shown and the update folder stays as it was.

#include <string>

#include "check/UpdateFolderSnapshot.h"

namespace twcheck {

class CUpdateFolderReader {
public:
    // Installation folder the simulated runs target (only named in entries and messages).
    static constexpr const char kInstallFolder[] = "C:\\Program Files\\Veltra\\Tallyworks";

    // False (with the reason in error) when the folder or its patch.ini cannot be read at
    // all; a patch.ini without sections is reported in the snapshot instead.
    static bool Read(const std::string& folder, UpdateFolderSnapshot& snapshot, std::string& error);
};

}  // namespace twcheck
