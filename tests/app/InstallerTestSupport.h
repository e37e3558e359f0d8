#pragma once
// Shared pieces of the installer tests: an installer that opens its protected state to the
// tests, the stand-in product process, a recording tracking sender and patch.ini writing.

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/PatchInstallerBase.h"
#include "common/Handles.h"
#include "common/PlatformSeams.h"
#include "common/StandIn.h"
#include "common/TestSupport.h"
#include "common/TrackingRecorder.h"
#include "logging/InstallTracker.h"

namespace twtest {

// The base installer with its protected steps and state reachable.
class TestInstaller : public tw::CPatchInstallerBase {
public:
    using CPatchInstallerBase::CloseAuxiliaryApplications;
    using CPatchInstallerBase::RunPostPatchBatchFile;
    using CPatchInstallerBase::ShowCompletionMessage;

    void SetMajorVersion(uint32_t major) { m_flavors.SetMajorVersion(major); }
    const char* ProductDisplayName() const { return m_productDisplayName; }
    const std::string& CmdLineProductPath() const { return m_cmdLineProductPath; }
    bool LoggedGlobalMutex() const { return m_runningCheck.LoggedReasons().globalMutex; }
    bool LoggedLocalMutex() const { return m_runningCheck.LoggedReasons().localMutex; }
    bool LoggedExecutableLocked() const { return m_runningCheck.LoggedReasons().executableLocked; }
    bool LoggedExecutableMissing() const { return m_runningCheck.LoggedReasons().executableMissing; }
    bool LoggedProcessAlive() const { return m_runningCheck.LoggedReasons().processAlive; }

    // Loads patch.ini text through a scratch folder.
    bool LoadConfig(const std::string& iniText) {
        TempDir dir("twini");
        if (!WriteTextFile(dir / "patch.ini", iniText)) return false;
        return Config().ReadConfInfoFromFile(dir.Path().c_str());
    }
};

// A minimal patch.ini for major version 28, patch number 07, with extra sections appended.
inline std::string PatchIni(const std::string& extra = std::string()) {
    return "[PatchConfig]\nTWName=Tallyworks 2028\nTWFileVersion=28.0\n"
           "[AutoPatch]\nTWVersion=280407000\nCountry=US\nServer=PROD\n"
           "[MSI Info]\nProductCode={7A3C5E21-94B6-4D0F-8E2A-5B61C93D7F40}\nReinstall=ALL\n" +
           extra;
}

// Windows Installer answers for an installed Tallyworks 28.0 release 5 (28.0.4005.1), with
// plenty of free disk space.
inline void ScriptInstalledRelease5Of28() {
    tw::Platform().FreeDiskSpace = [](const char*, unsigned long long* bytes) {
        *bytes = 1ULL << 40;
        return true;
    };
    tw::Platform().Msi.GetProductInfo = [](LPCSTR, LPCSTR attribute, LPSTR buffer, LPDWORD size) {
        const char* value = std::strcmp(attribute, "VersionMajor") == 0 ? "28" : "28.0.4005.1";
        lstrcpynA(buffer, value, static_cast<int>(*size));
        return static_cast<UINT>(ERROR_SUCCESS);
    };
}

}  // namespace twtest
