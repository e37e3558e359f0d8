#include "app/PatchInstallerBase.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <set>
#include <stdexcept>

#include "app/DiskSpaceCheck.h"
#include "app/InstallerTexts.h"
#include "logging/CriticalFixesReset.h"
#include "logging/FolderFileDeleter.h"
#include "app/MsiInterface.h"
#include "app/PatchPackageCheck.h"
#include "app/PostPatchBatchFile.h"
#include "app/SecureProtocol.h"
#include "ui/ShutdownWaitDialog.h"
#include "common/Handles.h"
#include "common/PlatformSeams.h"
#include "common/ProductConstants.h"
#include "common/RunState.h"
#include "common/TextUtil.h"
#include "config/GeneralUtil.h"
#include "config/PatchIniMgr.h"
#include "datastore/AppParamUtility.h"
#include "logging/FailureReporter.h"
#include "logging/InstallTracker.h"
#include "logging/OSSupportMessage.h"
#include "logging/StatusLogMgr.h"
#include "logging/TWPatchLogUtil.h"
#include "sysinfo/OSInfo.h"
#include "ui/MainWnd.h"
#include "ui/OSSupportDialog.h"
#include "common/Resource.h"
#include "common/StringTable.h"
#include "ui/WaitDialog.h"

namespace tw {

// ============================================================================
// Construction and shared helpers
// ============================================================================

// The process-wide Windows Installer interface object is created here; the first installer
// becomes its one observer.
CPatchInstallerBase::CPatchInstallerBase()
    : m_flavors([this](const char* text) { ReportFailure(text); }),
      m_msiHandler(m_continue,
                   MsiHandlerHooks{[this]() { return m_waitDialog.get(); }, [this]() { m_abort = true; },
                                   [this]() { m_restartInProgress = true; }, [this]() { OnRestartAnnounced(); }}),
      m_companions(m_config),
      m_runningCheck(m_config, m_companions, [this](const char* text) { ReportFailure(text); }) {
    CMsiInterface& msi = CMsiInterface::Instance();
    if (!msi.GetObserver()) msi.RegisterObserver(this);
}

// The interface object outlives the installer: it must not keep forwarding to it.
CPatchInstallerBase::~CPatchInstallerBase() {
    if (CMsiInterface* msi = CMsiInterface::Existing()) msi->UnregisterObserver(this);
    m_waitDialog.reset();
}

int CPatchInstallerBase::ShowMessage(UINT stringId, UINT icon) {
    std::string text = LoadResourceString(stringId);
    std::string title = LoadResourceString(IDS_MSGBOX_TITLE);
    return Platform().ShowMessageBox(GetMessageOwner(), text.c_str(), title.c_str(), icon, 0);
}

void CPatchInstallerBase::ParseCmdLine(PatchCmdInfo& /*info*/, const char* /*commandLine*/) {}

bool CPatchInstallerBase::Run(PatchCmdInfo& info, int /*showCommand*/, const char* /*commandLine*/) {
    return InitInstance(info);
}

void CPatchInstallerBase::Reserved() {}

bool CPatchInstallerBase::IsRestartRequired() { return m_restartRequired; }
bool CPatchInstallerBase::IsRestartInProgress() { return m_restartInProgress; }

void CPatchInstallerBase::SetModulePath(const char* path) { SafeCopy(m_modulePath, path); }

void CPatchInstallerBase::ReportFailure(const char* text) { FailureReporter::Report(text, m_lastFailure); }

std::string CPatchInstallerBase::BuildExitMessage(const char* reason, const char* variantName) {
    std::string text = "Patch Installation Exit";
    text += "\"";
    text += "&";
    text += " Error=";
    text += "\"";
    text += reason;
    text += "\"";
    text += "&";
    text += " InstallType=";
    text += "\"";
    text += "Patch:";
    text += variantName;
    return text;
}

bool CPatchInstallerBase::StopForGateOutcome(const char* variantName) {
    const CRunState& state = CRunState::Get();
    const char* reason = nullptr;
    if (state.gateAllowedWithMessage && state.gateUserClosed)
        reason = "User Exited";
    else if (state.gateDismissed)
        reason = "Blocked";
    else if (state.offline && !state.gateAllowedWithMessage)
        reason = "platform OFFLINE";
    if (!reason) return false;
    // The same text as BuildExitMessage, its fields handed over one by one.
    InstallTracker::Instance().SendTrackingMessage(
        0, "Patch Installation Exit", true, {{"Error", reason}, {"InstallType", std::string("Patch:") + variantName}});
    return true;
}

void CPatchInstallerBase::EndRunForException(const char* what, DWORD lastError) {
    m_hasRunException = true;
    m_runException.what = what ? what : "";
    m_runException.lastError = lastError;
    DestroyWaitDialog();
    if (m_mainWindow && m_mainWindow->GetHwnd()) ::PostMessageA(m_mainWindow->GetHwnd(), WM_CLOSE, 0, 0);
}

bool CPatchInstallerBase::TakeRunException(RunException* taken) {
    if (!m_hasRunException) return false;
    if (taken) *taken = m_runException;
    m_hasRunException = false;
    m_runException = RunException();
    return true;
}

bool CPatchInstallerBase::OpenMainWindow(PatchCmdInfo& info) {
    HWND window = nullptr;
    if (m_mainWindow) {
        m_mainWindow->SetVersion(m_config.GetTWFileVersion());
        window = m_mainWindow->CreateMainWindow();
    }
    info.mainWindow = window;
    if (!window) {
        CRunState::Get().exitCode = kExitNoMainWindow;
        return false;
    }
    return true;
}

// ============================================================================
// Completion steps
// ============================================================================

namespace {

constexpr DWORD kSecondLookDelayMs = 2000;
const CFolderFileDeleter::Texts kDeleteFilesTexts = {
    "Patch: CPatchInstallerBase::DeleteFiles, Directory does not exist",
    "Patch: CPatchInstallerBase::DeleteFiles, No files found into CriticalFixes folder",
    "Patch: CPatchInstallerBase::DeleteFiles Failed to delete the File : %s  with GetLastError : %d",
    "Patch: CPatchInstallerBase::DeleteFiles, Got exception while deleting files from CriticalFixes folder",
};

}  // namespace

bool CPatchInstallerBase::CheckIfTWIsRunning() {
    return m_runningCheck.IsRunning(m_productDisplayName, sizeof(m_productDisplayName));
}

bool CPatchInstallerBase::EnsureTWNotRunning() {
    if (!CheckIfTWIsRunning()) return true;
    Platform().Sleep(kSecondLookDelayMs);
    if (!CheckIfTWIsRunning()) return true;

    HWND mainWindow = m_mainWindow ? m_mainWindow->GetHwnd() : nullptr;
    if (mainWindow) ::ShowWindow(mainWindow, SW_HIDE);
    CShutdownWaitDialog dialog([this]() { return CheckIfTWIsRunning(); }, [this]() { CloseAuxiliaryApplications(); });
    INT_PTR result = dialog.Show(mainWindow);
    if (mainWindow) ::ShowWindow(mainWindow, SW_SHOW);
    return result != 0;
}

bool CPatchInstallerBase::ResetCriticalFixesFolder() {
    const std::string productDir = CRunState::Get().ProductDir();
    if (productDir.empty()) {
        ReportFailure("Patch: CPatchInstallerBase::ResetCriticalFixesFolder, Failed to read TW app path.");
        return false;
    }
    static const CCriticalFixesReset::Texts texts = {
        kDeleteFilesTexts,
        "Patch: CPatchInstallerBase::ResetCriticalFixesFolder, Failed to delete all the files from CriticalFixes "
        "folder.",
        "CPatchInstallerBase::ResetCriticalFixesFolder, deleted all the files from CriticalFixes folder, now creating "
        "force_apply_ulip.dat file",
        "CPatchInstallerBase::ResetCriticalFixesFolder, force_apply_ulip.dat written successfully",
        "Patch: CPatchInstallerBase::ResetCriticalFixesFolder, Could not create file force_apply_ulip.dat. Error code "
        "is: %lu",
        "Patch: CPatchInstallerBase::ResetCriticalFixesFolder, Exception while file open force_apply_ulip.dat.",
    };
    const auto report = [this](const char* text) { ReportFailure(text); };
    return CCriticalFixesReset::Reset(productDir, texts, {true, true}, m_lastFailure, sizeof(m_lastFailure), report,
                                      report);
}

bool CPatchInstallerBase::DeleteFiles(const char* folder) {
    return CFolderFileDeleter::DeleteFiles(folder, kDeleteFilesTexts, m_lastFailure, sizeof(m_lastFailure));
}

bool CPatchInstallerBase::GetInstalledFlavors() { return m_flavors.Find(); }

void CPatchInstallerBase::NotifyTWOnSuccess() {
    if (!GetInstalledFlavors() || m_flavors.Installed().empty()) return;
    m_flavors.RaiseRevision(std::atol(m_config.GetTWVersionDigits().c_str()));
}

void CPatchInstallerBase::PostPatchProcessing() {}

void CPatchInstallerBase::DoPostPatchBatchFile() {}

void CPatchInstallerBase::RunPostPatchBatchFile() { CPostPatchBatchFile::Run(CRunState::Get().ProductDir()); }

void CPatchInstallerBase::ShowCompletionMessage() {
    char version[10] = {};
    GetReleaseVersionString(version, sizeof(version));
    const std::string format = LoadResourceString(IDS_UPDATE_COMPLETE);
    char text[kFailureTextSize] = {};
    SafeFormat(text, sizeof(text), format.c_str(), version);
    Platform().ShowMessageBox(GetMessageOwner(), text, "Update complete", MB_ICONINFORMATION, 0);
}

void CPatchInstallerBase::GetReleaseVersionString(char* buffer, size_t size) {
    if (!buffer) {
        StatusLogMgr::LogStatus(
            "In CPatchInstallerBase::GetReleaseVersionString, no memory allocated for the input parameter.");
        return;
    }
    if (size == 0) return;
    const char* name = m_config.GetTWName();
    const char* digit = name;
    while (digit && *digit && !(*digit >= '0' && *digit <= '9')) ++digit;
    SafeCopy(buffer, size, digit ? digit : "");
}

}  // namespace tw
