#include "app/PatchInstallerBase.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "app/DiskSpaceCheck.h"
#include "app/MsiInterface.h"
#include "common/Handles.h"
#include "common/ProductConstants.h"
#include "common/PlatformSeams.h"
#include "common/RunState.h"
#include "common/TextUtil.h"
#include "logging/FailureReporter.h"
#include "logging/InstallTracker.h"
#include "logging/StatusLogMgr.h"
#include "ui/MainWnd.h"
#include "ui/Resource.h"
#include "ui/StringTable.h"
#include "ui/WaitDialog.h"
#include "datastore/AppParamUtility.h"

namespace tw {

// ============================================================================
// Construction and shared helpers
// ============================================================================

CPatchInstallerBase::CPatchInstallerBase() = default;

CPatchInstallerBase::~CPatchInstallerBase() = default;

int CPatchInstallerBase::ShowMessage(UINT stringId, UINT icon) {
    std::string text = LoadResourceString(stringId);
    std::string title = LoadResourceString(IDS_MSGBOX_TITLE);
    return Platform().MessageBox(GetMessageOwner(), text.c_str(), title.c_str(), icon);
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
    InstallTracker::Instance().SendTrackingMessage(0, BuildExitMessage(reason, variantName).c_str(), true);
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
// Initialisation
// ============================================================================

// PLACEHOLDER: only the installer's directory is checked so far; the configuration, the
// product check and the tracking context come with installer initialisation.
bool CPatchInstallerBase::InitInstance(PatchCmdInfo& /*info*/) {
    if (CRunState::Get().installerDir.empty()) {
        StatusLogMgr::LogStatus("In CPatchInstallerBase::InitInstance, patch dir is NULL.");
        CRunState::Get().exitCode = kExitNoInstallerDir;
        return false;
    }
    return true;
}

// PLACEHOLDER: comes with installer initialisation.
void CPatchInstallerBase::CloseAuxiliaryApplications() {}

// ============================================================================
// Patch application
// ============================================================================

// PLACEHOLDER: the wait dialog comes with the patch application.
bool CPatchInstallerBase::CreateWaitDialog() { return false; }

void CPatchInstallerBase::DestroyWaitDialog() {}

// The wait dialog's window takes over once the wait dialog exists.
HWND CPatchInstallerBase::GetMessageOwner() { return m_mainWindow ? m_mainWindow->GetHwnd() : nullptr; }

namespace {

constexpr char kOffCycleComponent[] = "{4A98D858-2452-489F-959A-22754B36EFDB}";
constexpr char kRestartForOffCycleText[] =
    "You must restart your system for the configuration changes made to Tallyworks to take effect.Close all "
    "other applications and click OK to restart now.";
constexpr int kDamagedFileError = 25123;

std::string CurrentTimeText() {
    std::time_t now = std::time(nullptr);
    const char* text = std::ctime(&now);
    return text ? text : "\n";
}

// Feature names of the reinstall value: the first ends at a comma, blank or tab, the
// following ones at commas. No name at all gives "all".
std::set<std::string> SplitFeatureNames(const std::string& reinstall) {
    std::set<std::string> names;
    size_t pos = reinstall.find_first_of(", \t");
    std::string first = reinstall.substr(0, pos);
    if (!first.empty()) names.insert(first);
    while (pos != std::string::npos) {
        size_t start = pos + 1;
        pos = reinstall.find(',', start);
        std::string name = reinstall.substr(start, pos == std::string::npos ? std::string::npos : pos - start);
        if (!name.empty()) names.insert(name);
    }
    if (names.empty()) names.insert("all");
    return names;
}

}  // namespace

std::set<std::string> CPatchInstallerBase::FeatureNamesOf(const std::string& reinstall) {
    return SplitFeatureNames(reinstall);
}

int32_t CPatchInstallerBase::RunProgramPatches(PatchCmdInfo& info) {
    LogStatusF("In CPatchInstallerBase::RunProgramPatches, started at %s.", CurrentTimeText().c_str());
    int32_t status = DoProgramPatches(info);
    LogStatusF("In CPatchInstallerBase::RunProgramPatches, finished at %s, status=%d.", CurrentTimeText().c_str(),
               status);
    return status;
}

void CPatchInstallerBase::ShowDamagedFileMessage() {
    std::string text = FormatString(
        "Problem\nError %d: The update installer has detected a damaged file.\n\nSolution\nWrite down the error "
        "message and type the following into a Web browser  \n\n",
        kDamagedFileError);
    text += product::kSupportPageUrl;
    text += " \n\n Steps to reset the update are on this site.";
    Platform().MessageBox(GetMessageOwner(), text.c_str(), "Tallyworks Error", MB_OK);
}

int32_t CPatchInstallerBase::DoProgramPatches(PatchCmdInfo& info) {
    CRunState& state = CRunState::Get();

    if (info.pathGiven == 1) {
        m_locateByProductCode = false;
        m_cmdLineProductPath = info.productDir;
    }

    std::string productDir = state.ProductDir();
    unsigned long long freeBytes = 0;
    if (CDiskSpaceCheck::Check(productDir.c_str(), &freeBytes) == CDiskSpaceCheck::kNotEnough) {
        CDiskSpaceCheck::ShowLowSpaceMessage(productDir.c_str(), freeBytes);
        state.exitCode = kExitLowDiskSpace;
        ReportFailure("Patch: In CPatchInstallerBase::DoProgramPatches, no enough disk space.");
        return kStatusPreconditionFailed;
    }

    if (!EnsureTWNotRunning()) {
        state.exitCode = kExitProductStillRunning;
        return kStatusFailed;
    }

    if (m_locateByProductCode) {
        if (m_productCode.empty()) m_productCode = m_config.GetProductCode();
        char major[260] = {};
        DWORD size = sizeof(major);
        Platform().Msi.GetProductInfo(m_productCode.c_str(), "VersionMajor", major, &size);
        major[sizeof(major) - 1] = '\0';
        m_majorVersion = static_cast<uint32_t>(std::atoi(major));
    } else if (!state.productExePath.empty()) {
        m_majorVersion = static_cast<uint32_t>(CAppParamUtility::GetMajorVersion(state.productExePath.c_str()));
    }

    if (!m_locateByProductCode) {
        m_productCode = m_config.GetProductCode();
        if (m_productCode.empty()) {
            ReportFailure("Patch: In CPatchInstallerBase::DoProgramPatches, Failed to read product code.");
            state.exitCode = kExitNoProductCode;
            return kStatusFailed;
        }
    }

    if (!m_config.ReadPatchIniFile(state.installerDir.c_str())) {
        ReportFailure("Patch: In CPatchInstallerBase::DoProgramPatches, it fails to read the configuration file.");
        state.exitCode = kExitConfigUnreadable;
        return kStatusPreconditionFailed;
    }

    m_offCycle.SetLogger(&StatusLogMgr::LogStatus);
    m_offCycle.SetCopyMode(m_config.GetSaveTempFiles());

    if (m_config.GetLoggingEnable()) CMsiInterface::Instance().EnableLog(m_config.GetLoggingMode());

    if (!CreateWaitDialog()) {
        m_failed = true;
        ReportFailure("Patch: In CPatchInstallerBase::DoProgramPatches, failed to create the wait dialog.");
        state.exitCode = kExitNoWaitDialog;
        return kStatusPreconditionFailed;
    }

    const unsigned count = m_config.GetDeltaPatchCount();
    bool applyPatches = true;
    if (count < 1) {
        StatusLogMgr::LogStatus("In CPatchInstallerBase::DoProgramPatches, no patch needs to be applied");
        applyPatches = false;
    } else {
        LogStatusF("In CPatchInstallerBase::DoProgramPatches, %d delta patches will be applied", count);
        if (m_config.GetDeltaPatchTotalSize() == 0) {
            ReportFailure(
                "Patch: In CPatchInstallerBase::DoProgramPatches, no patch needs to be applied because patch size is "
                "zero.");
        } else {
            m_failed = false;
            CDeltaPatchList& list = m_config.GetDeltaPatchList();
            for (unsigned i = 0; i < count && !m_abort; ++i) {
                std::unique_ptr<CDeltaPatchList::Entry> entry = list.TakeFirst();
                if (!entry) {
                    std::string text = LoadResourceString(IDS_NULL_PATCH);
                    std::string title = LoadResourceString(IDS_MSGBOX_TITLE);
                    Platform().MessageBox(GetMessageOwner(), text.c_str(), title.c_str(), MB_ICONHAND);
                    m_failed = true;
                    StatusLogMgr::LogStatus("In CPatchInstallerBase::DoProgramPatches, NULL patch.");
                    state.exitCode = kExitEmptyPatchEntry;
                    return kStatusPreconditionFailed;
                }
                SafeCopy(m_currentPatchDir, entry->targetFolder.c_str());
                if (std::strlen(m_currentPatchDir) == 2 && m_currentPatchDir[1] == ':')
                    SafeAppend(m_currentPatchDir, "\\");
                m_failed = false;
                if (!m_patchList.empty()) m_patchList += ";";
                m_patchList += entry->patchFile;
            }
        }
    }
    if (applyPatches) DoPatch(m_patchList);

    LogStatusF("In CPatchInstallerBase::DoProgramPatches, successfully applied the patch: %s to the directory: %s",
               m_patchList.c_str(), state.installerDir.c_str());
    LogStatusF("In CPatchInstallerBase::DoProgramPatches, going to reset CriticalFixes folder : %s",
               state.installerDir.c_str());
    if (!ResetCriticalFixesFolder())
        ReportFailure("Patch: In CPatchInstallerBase::DoProgramPatches, resetting criticalfixes folder failed.");

    if (!m_restartInProgress) {
        // The files saved before the patch are put back whenever they were saved: in every
        // run that did not find the product through the alternate component.
        if (!state.alternateComponent) {
            bool restartNeeded = false;
            int notRestored = m_offCycle.RestoreAllFiles(&restartNeeded);
            if (notRestored > 0) ShowDamagedFileMessage();
            if (restartNeeded) {
                StatusLogMgr::LogStatus(
                    "In CPatchInstallerBase::DoProgramPatches: restart is requested. Offcycle restore failed.");
                ::MessageBeep(0xF0);
                Platform().MessageBox(nullptr, kRestartForOffCycleText, "Warning", MB_ICONEXCLAMATION);
                Platform().ExitWindowsEx(EWX_REBOOT, 0);
            }
        }
        if (m_failed) {
            ShowMessage(IDS_PATCH_NOT_APPLIED, MB_ICONINFORMATION);
            ReportFailure("Patch: In CPatchInstallerBase::DoProgramPatches, patching is aborted.");
        } else {
            StatusLogMgr::LogStatus(
                "In CPatchInstallerBase::DoProgramPatches,  all patches have been applied successfully.");
            NotifyTWOnSuccess();
            StatusLogMgr::LogStatus("In CPatchInstallerBase::DoProgramPatches, NotifyTWOnSuccess has been completed.");
            DoPostPatchBatchFile();
            StatusLogMgr::LogStatus(
                "In CPatchInstallerBase::DoProgramPatches, DoPostPatchBatchFile has been completed.");
            if (!IsRestartRequired()) {
                PostPatchProcessing();
                StatusLogMgr::LogStatus(
                    "In CPatchInstallerBase::DoProgramPatches, PostPatchProcessing has been completed.");
            }
        }
    }

    DestroyWaitDialog();
    if (m_mainWindow && m_mainWindow->GetHwnd()) ::ShowWindow(m_mainWindow->GetHwnd(), SW_HIDE);
    return m_failed ? kStatusFailed : kStatusSuccess;
}

void CPatchInstallerBase::DoPatch(std::string patchList) {
    CRunState& state = CRunState::Get();
    if (m_installedFlavors.empty()) GetInstalledFlavors();

    if (!state.alternateComponent) {
        if (m_waitDialog) m_waitDialog->SetStatusText("Downloading and copying files...");
        SaveOffCycleFiles();
    }

    HCURSOR previousCursor = ::SetCursor(::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));

    const char* netEnabled = m_config.GetIsNetEnabled();
    const char* featureEnabled = m_config.GetIsFeatureEnabled();
    m_installerProperties = "PARENTAPP=TWPatch";
    m_installerProperties += " REINSTALL=";
    m_installerProperties += m_config.GetReinstall();
    m_installerProperties += " REINSTALLMODE=";
    m_installerProperties += m_config.GetReinstallMode();
    m_installerProperties += " REBOOT=ReallySuppress ";
    m_installerProperties += m_config.GetCmdOptions();
    m_installerProperties += " INNETENABLED=";
    m_installerProperties += netEnabled ? netEnabled : "";
    m_installerProperties += " FEATUREENABLED=";
    m_installerProperties += featureEnabled ? featureEnabled : "";

    char errorText[CMsiInterface::kErrorTextSize] = {};
    UINT result = 0;
    bool applied = CMsiInterface::Instance().ApplyMultiplePatches(patchList.c_str(), m_productCode.c_str(),
                                                                  m_installerProperties.c_str(), errorText, &result);
    m_failed = !applied;

    const char* installType = m_locateByProductCode ? "Web" : "Auto";
    if (result == ERROR_SUCCESS) {
        std::string text = "Patch Installation Success";
        text += "\"&";
        text += " InstallType=";
        text += "\"Patch:";
        text += installType;
        text += "\"&";
        text += " IsNudged=";
        text += "\"";
        text += state.gateAllowedWithMessage ? "TRUE" : "FALSE";
        InstallTracker::Instance().SendTrackingMessage(0, text.c_str(), false);
    } else if (result != ERROR_SUCCESS_REBOOT_REQUIRED) {
        std::string text = "Patch Installation failed";
        text += "\"&";
        text += " ErrorNumber=";
        text += "\"";
        text += std::to_string(result);
        text += "\"&";
        text += " InstallType=";
        text += "\"Patch:";
        text += installType;
        InstallTracker::Instance().SendTrackingMessage(result, text.c_str(), true);
    }

    if (state.exitCode == static_cast<int32_t>(ERROR_SUCCESS_REBOOT_REQUIRED)) m_restartRequired = true;

    ::SetCursor(previousCursor);

    if (!m_restartInProgress && !applied) {
        std::string title = LoadResourceString(IDS_MSGBOX_TITLE) + " Error";
        Platform().MessageBox(GetMessageOwner(), errorText, title.c_str(), MB_ICONHAND);
    }
}

bool CPatchInstallerBase::SaveOffCycleFiles() {
    const std::set<std::string> features = FeatureNamesOf(m_config.GetReinstall());

    char componentPath[260] = {};
    DWORD size = sizeof(componentPath);
    Platform().Msi.GetComponentPath(m_productCode.c_str(), kOffCycleComponent, componentPath, &size);
    componentPath[sizeof(componentPath) - 1] = '\0';

    const CRunState& state = CRunState::Get();
    if (state.productExePath.empty()) {
        ReportFailure("Patch: In CPatchInstallerBase::SaveOffCycleFiles, TW Windows app name is NULL.");
        return false;
    }
    std::string productDir = state.ProductDir();
    if (productDir.empty()) {
        ReportFailure(
            "Patch: In CPatchInstallerBase::SaveOffCycleFiles, it fails to get the directory name for the TW Windows "
            "app name.");
        return false;
    }
    std::string manifestFolder = productDir + "\\Components\\Manifest\\OffCycle";
    HRESULT hr = m_offCycle.SaveOffCycleFiles(features, manifestFolder.c_str(), productDir.c_str(), componentPath);
    if (FAILED(hr)) {
        ReportFailure("Patch: In CPatchInstallerBase::SaveOffCycleFiles, Error in saving OffCycle files.");
        return false;
    }
    return true;
}

// ============================================================================
// Windows Installer messages
// ============================================================================

// PLACEHOLDER: the Windows Installer message handler comes with the patch application.
int CPatchInstallerBase::OnMsiMessage(UINT /*messageType*/, LPCSTR /*message*/) { return 0; }

int CPatchInstallerBase::HandleErrorMessage(UINT /*messageType*/, LPCSTR /*message*/) { return 0; }

int CPatchInstallerBase::HandleUserMessage(UINT /*messageType*/, LPCSTR /*message*/) { return IDOK; }

int CPatchInstallerBase::HandleProgressMessage(LPCSTR /*message*/) { return IDOK; }

void CPatchInstallerBase::HandleActionData() {}

void CPatchInstallerBase::HandleCommonData(LPCSTR /*message*/) {}

void CPatchInstallerBase::ShowActionStartStatus(LPCSTR /*message*/) {}

void CPatchInstallerBase::ShowPercent(int32_t /*percent*/) {}

// ============================================================================
// Completion steps
// ============================================================================

// PLACEHOLDER: the running-product checks come with the completion steps; until then the
// product is taken as not running.
bool CPatchInstallerBase::EnsureTWNotRunning() { return true; }

bool CPatchInstallerBase::CheckIfTWIsRunning() { return false; }

bool CPatchInstallerBase::ResetCriticalFixesFolder() { return false; }

bool CPatchInstallerBase::DeleteFiles(const char* /*folder*/) { return false; }

bool CPatchInstallerBase::GetInstalledFlavors() { return false; }

void CPatchInstallerBase::NotifyTWOnSuccess() {}

void CPatchInstallerBase::PostPatchProcessing() {}

void CPatchInstallerBase::DoPostPatchBatchFile() {}

void CPatchInstallerBase::RunPostPatchBatchFile() {}

void CPatchInstallerBase::ShowCompletionMessage() {}

void CPatchInstallerBase::GetReleaseVersionString(char* buffer, size_t size) {
    if (buffer && size) buffer[0] = '\0';
}

}  // namespace tw
