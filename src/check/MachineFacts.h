#pragma once
// What --here learned of this machine, read-only, for the update folder's product: what
// Windows Installer knows of it, the product folder the run would be given and what lies
// there, whether the product or a program the run waits for is running, and the installer's
// own second read of patch.ini for the installed version.

#include <string>

#include "app/RunningProductCheck.h"
#include "check/UpdateFolderSnapshot.h"
#include "config/ProductFolderCheck.h"

namespace twcheck {

struct MachineFacts {
    // Windows Installer's answers for the product code of patch.ini.
    bool installed = false;       // installed in full (INSTALLSTATE_DEFAULT)
    std::string versionString;    // "VersionString"; empty when not known
    std::string installedFolder;  // folder of the product program's component; empty when not known

    // The product folder the run would be given: the one after /P, or without /P the
    // installed product's own.
    bool folderFromCommandLine = false;
    std::string folderText;  // the text after /P as it stood
    tw::CProductFolderCheck::Facts folder;

    // Whether the run would find the product, or a program it waits for, running.
    bool running = false;
    tw::RunningProductVerdict runningVerdict;
    std::string runningCompanion;  // the agent or related application that runs

    // The installer's second read of patch.ini for the installed version (when known).
    bool haveRun = false;
    SimulatedRun run;
};

}  // namespace twcheck
