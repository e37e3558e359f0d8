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
#include "common/TestSupport.h"
#include "logging/InstallTracker.h"
#include "logging/TrackingSender.h"

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

// Path of the stand-in product program in the build tree.
inline std::string StandInExe() { return BinaryPath("tests\\fixtures\\standin\\tww.exe"); }

// One running stand-in product process; ended (if still running) on destruction.
class StandIn {
public:
    StandIn() = default;
    ~StandIn() { Stop(); }
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;

    // Starts exe with the switches and waits until it has set everything up.
    bool Start(const std::string& exe, const std::string& switches) {
        static unsigned counter = 0;
        std::string eventName =
            "TWStandInReady_" + std::to_string(::GetCurrentProcessId()) + "_" + std::to_string(++counter);
        tw::KernelHandle ready(::CreateEventA(nullptr, TRUE, FALSE, eventName.c_str()));
        if (!ready) return false;
        std::string command = "\"" + exe + "\" " + switches + " /ready " + eventName;
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        if (!::CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
            return false;
        m_process.Reset(info.hProcess);
        tw::KernelHandle thread(info.hThread);
        HANDLE waits[2] = {ready.Get(), m_process.Get()};
        return ::WaitForMultipleObjects(2, waits, FALSE, 30000) == WAIT_OBJECT_0;
    }

    bool IsRunning() const { return m_process && ::WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT; }
    bool WaitForExit(DWORD milliseconds) const {
        return !m_process || ::WaitForSingleObject(m_process.Get(), milliseconds) == WAIT_OBJECT_0;
    }
    HANDLE Process() const { return m_process.Get(); }

    void Stop() {
        if (IsRunning()) {
            ::TerminateProcess(m_process.Get(), 0);
            ::WaitForSingleObject(m_process.Get(), 10000);
        }
        m_process.Reset();
    }

private:
    tw::KernelHandle m_process;
};

// Keeps every tracking message instead of sending it; installs itself for its lifetime
// and clears the tracking context before and after.
class RecordingSender : public tw::ITrackingSender {
public:
    bool Send(const tw::TrackingMessage& message) override {
        messages.push_back(message);
        return true;
    }
    std::vector<tw::TrackingMessage> messages;

private:
    TrackingSenderScope m_scope{this};
};

}  // namespace twtest
