#pragma once
// State and shared behaviour of one installation run; the auto and web variants derive
// from it. The virtual operations are declared in the order of their slots.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/MSIObserver.h"
#include "app/PatchCmdInfo.h"

namespace tw {

class CMainWnd;

class CPatchInstallerBase : public MSIObserver {
public:
    // Result codes of the run's own failures (the process exit code).
    enum ExitCode : int32_t {
        kExitSuccess = 0,
        kExitNoInstallerDir = 18000,
        kExitConfigUnreadable = 18001,
        kExitProductNotInstalled = 18002,
        kExitNoMainWindow = 18003,
        kExitLowDiskSpace = 18004,
        kExitProductStillRunning = 18005,
        kExitNoProductCode = 18006,
        kExitNoWaitDialog = 18007,
        kExitEmptyPatchEntry = 18008,
        kExitShutdownPrivilege = 18009,
        kExitOpenProcessToken = 18010,
        kExitNoProductDir = 18011,
    };

    static constexpr size_t kModulePathSize = 1040;
    static constexpr size_t kFailureTextSize = 2048;

    CPatchInstallerBase();

    int OnMsiMessage(UINT messageType, LPCSTR message) override;  // slot 0
    ~CPatchInstallerBase() override;                              // slot 1
    virtual bool EnsureTWNotRunning();                            // slot 2
    virtual int ShowMessage(UINT stringId, UINT icon);            // slot 3
    virtual bool CreateWaitDialog();                              // slot 4
    virtual void DestroyWaitDialog();                             // slot 5
    virtual HWND GetMessageOwner();                               // slot 6
    virtual bool NotifyTWOnSuccess();                             // slot 7
    virtual void ParseCmdLine(PatchCmdInfo& info, const char* commandLine);  // slot 8
    // Slot 9: the base initialises the run; the variants run it.
    virtual bool Run(PatchCmdInfo& info, int showCommand, const char* commandLine);
    virtual void PostPatchProcessing();                           // slot 10
    virtual void DoPostPatchBatchFile();                          // slot 11
    virtual void Reserved();                                      // slot 12, no operation
    virtual void GetReleaseVersionString(char* buffer, size_t size);  // slot 13
    virtual bool IsRestartRequired();                             // slot 14
    virtual bool IsRestartInProgress();                           // slot 15
    virtual int32_t DoProgramPatches(PatchCmdInfo& info);         // slot 16

    bool InitInstance(PatchCmdInfo& info);
    int32_t RunProgramPatches(PatchCmdInfo& info);

    // The exit message sent when the operating-system support gate ends the run.
    static std::string BuildExitMessage(const char* reason, const char* variantName);

    void SetMainWindow(CMainWnd* mainWindow) { m_mainWindow = mainWindow; }
    void SetModulePath(const char* path);
    const char* GetModulePath() const { return m_modulePath; }
    const char* GetLastFailureText() const { return m_lastFailure; }

    // Test access to the flags the entry point reads.
    void SetRestartRequired(bool required) { m_restartRequired = required; }

protected:
    // Copies the text into the last failure text, logs it and sends it as an error message.
    void ReportFailure(const char* text);

    // Acts on the flags the operating-system support gate left: sends the exit message and
    // answers true when the run must stop. variantName is "Auto" or "Web".
    bool StopForGateOutcome(const char* variantName);

    // The patch's file version text (twfileversion of patch.ini), shown in the window title.
    std::string PatchFileVersion() const;
    // The patch's product title (section Title, key Product of patch.ini).
    std::string PatchProductTitle() const;
    // The patch's target product code (productcode of patch.ini).
    std::string PatchProductCode() const;

    HINSTANCE m_instance = nullptr;
    CMainWnd* m_mainWindow = nullptr;
    bool m_restartRequired = false;
    bool m_restartInProgress = false;
    char m_modulePath[kModulePathSize] = {};
    char m_lastFailure[kFailureTextSize] = {};
};

}  // namespace tw
