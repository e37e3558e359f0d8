#pragma once
// State and shared behaviour of one installation run; the auto and web variants derive
// from it. The virtual operations are declared in the order of their slots.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/CompanionCloser.h"
#include "app/InstalledFlavors.h"
#include "app/MSIObserver.h"
#include "app/MsiMessageHandler.h"
#include "app/PatchCmdInfo.h"
#include "app/RunningProductCheck.h"
#include "config/AgentInfo.h"
#include "common/ProductConstants.h"
#include "config/ConfigMgr.h"
#include "logging/OSSupportGate.h"
#include "offcycle/OffCycleManager.h"
#include "ui/ContinueFlag.h"

namespace tw {

class CMainWnd;
class CWaitDialog;

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

    // Status of DoProgramPatches.
    enum PatchStatus : int32_t { kStatusSuccess = 0, kStatusFailed = 1, kStatusPreconditionFailed = 2 };

    static constexpr size_t kPatchDirSize = 520;
    static constexpr size_t kDisplayNameSize = 128;
    static constexpr size_t kModulePathSize = 1040;
    static constexpr size_t kAppPathSize = 2080;
    static constexpr size_t kFailureTextSize = 2048;

    CPatchInstallerBase();

    int OnMsiMessage(UINT messageType, LPCSTR message) override;             // slot 0
    ~CPatchInstallerBase() override;                                         // slot 1
    virtual bool EnsureTWNotRunning();                                       // slot 2
    virtual int ShowMessage(UINT stringId, UINT icon);                       // slot 3
    virtual bool CreateWaitDialog();                                         // slot 4
    virtual void DestroyWaitDialog();                                        // slot 5
    virtual HWND GetMessageOwner();                                          // slot 6
    virtual void NotifyTWOnSuccess();                                        // slot 7
    virtual void ParseCmdLine(PatchCmdInfo& info, const char* commandLine);  // slot 8
    // Slot 9: the base initialises the run; the variants run it.
    virtual bool Run(PatchCmdInfo& info, int showCommand, const char* commandLine);
    virtual void PostPatchProcessing();                               // slot 10
    virtual void DoPostPatchBatchFile();                              // slot 11
    virtual void Reserved();                                          // slot 12, no operation
    virtual void GetReleaseVersionString(char* buffer, size_t size);  // slot 13
    virtual bool IsRestartRequired();                                 // slot 14
    virtual bool IsRestartInProgress();                               // slot 15
    virtual int32_t DoProgramPatches(PatchCmdInfo& info);             // slot 16

    // --- Initialisation ---
    bool InitInstance(PatchCmdInfo& info);

    // --- Patch application ---
    int32_t RunProgramPatches(PatchCmdInfo& info);
    void DoPatch(std::string patchList);
    // The Windows Installer property list of the apply call, from the configuration.
    static std::string BuildInstallerProperties(CConfigMgr& config);
    bool SaveOffCycleFiles();
    // Feature names of a reinstall value ("all" when there is none).
    static std::set<std::string> FeatureNamesOf(const std::string& reinstall);

    // --- Completion steps ---
    bool CheckIfTWIsRunning();
    bool ResetCriticalFixesFolder();
    bool DeleteFiles(const char* folder);
    bool GetInstalledFlavors();

    // --- Accessors ---
    void SetMainWindow(CMainWnd* mainWindow) { m_mainWindow = mainWindow; }
    void SetModulePath(const char* path);
    const char* GetModulePath() const { return m_modulePath; }
    const char* GetLastFailureText() const { return m_lastFailure; }
    const char* GetAppPath() const { return m_twwAppPath; }
    const std::string& GetProductCode() const { return m_productCode; }
    const std::vector<std::string>& GetInstalledFlavorList() const { return m_flavors.Installed(); }
    const std::string& GetCurrentFlavor() const { return m_flavors.Current(); }
    uint32_t GetMajorVersion() const { return m_flavors.MajorVersion(); }
    bool IsFailed() const { return m_failed; }
    bool IsAborted() const { return m_abort; }
    bool IsLocateByProductCode() const { return m_locateByProductCode; }
    // The user was told that Windows restarts for the off-cycle restore; the entry point
    // restarts it once the run's outcome is recorded.
    bool IsRestartPending() const { return m_restartPending; }
    CConfigMgr& Config() { return m_config; }
    CWaitDialog* GetWaitDialog() const { return m_waitDialog.get(); }
    const MsiProgressState& Progress() const { return m_msiHandler.Progress(); }
    CContinueFlag& ContinueFlag() { return m_continue; }

    // Addresses of the operating-system support configuration (production, and the test
    // address for runs whose server is "PDS"); the maker's by default.
    void SetOsSupportConfigUrls(const char* productionUrl, const char* testUrl) {
        m_osSupportConfigUrl = productionUrl;
        m_osSupportConfigTestUrl = testUrl;
    }
    const COSSupportGate& GetSupportGate() const { return m_osGate; }
    // Only updates with this file version consult the support gate.
    static constexpr const char kSupportGateFileVersion[] = "30.0";

    // The exit message sent when the operating-system support gate ends the run.
    static std::string BuildExitMessage(const char* reason, const char* variantName);

    // An exception that ended the run inside a window procedure, where it must not unwind
    // into Windows: its text (empty when it had none) and the last error it was thrown with.
    struct RunException {
        std::string what;
        DWORD lastError = 0;
    };
    // Hands the kept exception to the entry point, which ends the run as for one of its own;
    // false when there is none.
    bool TakeRunException(RunException* taken);

protected:
    // Copies the text into the last failure text, logs it and sends it as an error message.
    void ReportFailure(const char* text);

    // Acts on the flags the operating-system support gate left: sends the exit message and
    // answers true when the run must stop. variantName is "Auto" or "Web".
    bool StopForGateOutcome(const char* variantName);

    // Creates the main window titled with the patch's version and stores its handle in the
    // record; without a window the run ends with exit code 18003 (false).
    bool OpenMainWindow(PatchCmdInfo& info);

    // Closes the agent and related-application windows, or ends their processes, and ends
    // the "twdage" processes.
    void CloseAuxiliaryApplications();
    // Runs "PostPatch.bat" of the product folder and waits for it (both variants).
    void RunPostPatchBatchFile();
    // The completion message "Congratulations!..." (both variants).
    void ShowCompletionMessage();
    // The "damaged file" message shown when off-cycle files could not be restored.
    void ShowDamagedFileMessage();

    // --- Steps of InitInstance ---
    void EnforceSecureProtocols();
    void TakeAppPathFrom(PatchCmdInfo& info);
    bool LoadConfiguration();
    void SetTrackingContext();
    void RunSupportGate();
    void ShowOfflineNotice();

    // --- Steps of DoProgramPatches ---
    void SendApplyOutcome(UINT result);
    void TakeProductPathFrom(const PatchCmdInfo& info);
    bool HasEnoughDiskSpace();
    bool FindInstalledProduct();
    bool RereadConfiguration();
    // Puts back the off-cycle files of a save that an interrupted run left (its journal).
    void RecoverInterruptedSave();
    // Every package of the delta-patch list is a patch package for the product; else the run
    // ends as for a missing package file, before anything changes.
    bool CheckPatchPackages();
    bool JoinPatchList(bool* apply);
    void FinishPatchedProduct();
    void RestoreOffCycleFiles();

    // Windows Installer announced a restart: the run knows it from now on, and the product
    // is brought into a consistent state.
    void OnRestartAnnounced();

    // Keeps an exception caught in a window procedure for the entry point, closes the wait
    // dialog and the main window, and so ends the message loop of the run.
    void EndRunForException(const char* what, DWORD lastError);

    // --- Fields, in the order of the run's state ---
    // Cleared by the wait dialog's Cancel, taken by the message handler.
    CContinueFlag m_continue;
    std::unique_ptr<CWaitDialog> m_waitDialog;
    COffCycleManager m_offCycle{false};
    // The major version, the current flavor and the installed flavors.
    CInstalledFlavors m_flavors;
    // Windows Installer's messages, with the state only they change: the progress
    // counters, the info and progress logging switches, the last percent and the retries
    // left.
    CMsiMessageHandler m_msiHandler;
    bool m_failed = false;
    bool m_abort = false;  // set when the handler takes the user's Cancel
    bool m_restartRequired = false;
    bool m_restartInProgress = false;
    bool m_restartPending = false;
    char m_currentPatchDir[kPatchDirSize] = {};
    char m_productDisplayName[kDisplayNameSize] = {};
    char m_modulePath[kModulePathSize] = {};
    char m_locatedProductPath[kModulePathSize] = {};
    char m_twwAppPath[kAppPathSize] = {};
    HINSTANCE m_instance = nullptr;
    CConfigMgr m_config;
    std::string m_productCode;
    std::string m_installerProperties;
    std::string m_patchList;
    std::string m_cmdLineProductPath;
    bool m_locateByProductCode = true;
    char m_lastFailure[kFailureTextSize] = {};

    CMainWnd* m_mainWindow = nullptr;
    bool m_hasRunException = false;
    RunException m_runException;

    COSSupportGate m_osGate;
    std::string m_osSupportConfigUrl = product::kOsSupportConfigUrl;
    std::string m_osSupportConfigTestUrl = product::kOsSupportConfigTestUrl;

    CCompanionCloser m_companions;
    CRunningProductCheck m_runningCheck;
};

}  // namespace tw
