// Members of CPatchInstallerBase: the patch run and Windows Installer's messages.
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
#include "config/InstallerProperties.h"
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
#include "app/InstalledMajorVersion.h"

namespace tw {

// ============================================================================
// Patch application
// ============================================================================

// The wait dialog is owned by the main window. Creation counts as success as soon as the
// object exists, even when its window could not be created.
bool CPatchInstallerBase::CreateWaitDialog() {
    if (m_waitDialog) return true;
    HWND owner = m_mainWindow ? m_mainWindow->GetHwnd() : nullptr;
    m_waitDialog.reset(new (std::nothrow) CWaitDialog(m_instance, &m_continue, owner));
    return m_waitDialog != nullptr;
}

void CPatchInstallerBase::DestroyWaitDialog() { m_waitDialog.reset(); }

// Message boxes belong to the wait dialog while it has a window, else to the main window.
HWND CPatchInstallerBase::GetMessageOwner() {
    if (m_waitDialog && m_waitDialog->GetHwnd()) return m_waitDialog->GetHwnd();
    return m_mainWindow ? m_mainWindow->GetHwnd() : nullptr;
}

namespace {

constexpr char kOffCycleComponent[] = "{4A98D858-2452-489F-959A-22754B36EFDB}";
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
    Platform().ShowMessageBox(GetMessageOwner(), text.c_str(), "Tallyworks Error", MB_OK, 0);
}

// The run in order: preconditions, the packages joined into one list and applied, then the
// completion steps. A precondition that fails ends it with its exit code.
int32_t CPatchInstallerBase::DoProgramPatches(PatchCmdInfo& info) {
    CRunState& state = CRunState::Get();
    TakeProductPathFrom(info);

    if (!HasEnoughDiskSpace()) return kStatusPreconditionFailed;
    if (!EnsureTWNotRunning()) {
        state.exitCode = kExitProductStillRunning;
        return kStatusFailed;
    }
    RecoverInterruptedSave();
    if (!FindInstalledProduct()) return kStatusFailed;
    if (!RereadConfiguration()) return kStatusPreconditionFailed;
    if (!CheckPatchPackages()) return kStatusPreconditionFailed;

    m_offCycle.SetLogger(&StatusLogMgr::LogStatus);
    m_offCycle.SetCopyMode(m_config.GetSaveTempFiles());
    if (m_config.GetLoggingEnable()) CMsiInterface::Instance().EnableLog(m_config.GetLoggingMode());

    if (!CreateWaitDialog()) {
        m_failed = true;
        ReportFailure("Patch: In CPatchInstallerBase::DoProgramPatches, failed to create the wait dialog.");
        state.exitCode = kExitNoWaitDialog;
        return kStatusPreconditionFailed;
    }

    bool applyPatches = false;
    if (!JoinPatchList(&applyPatches)) return kStatusPreconditionFailed;
    if (applyPatches) DoPatch(m_patchList);

    LogStatusF("In CPatchInstallerBase::DoProgramPatches, successfully applied the patch: %s to the directory: %s",
               m_patchList.c_str(), state.installerDir.c_str());
    LogStatusF("In CPatchInstallerBase::DoProgramPatches, going to reset CriticalFixes folder : %s",
               state.installerDir.c_str());
    if (!ResetCriticalFixesFolder())
        ReportFailure("Patch: In CPatchInstallerBase::DoProgramPatches, resetting criticalfixes folder failed.");

    if (!m_restartInProgress) FinishPatchedProduct();

    DestroyWaitDialog();
    if (m_mainWindow && m_mainWindow->GetHwnd()) ::ShowWindow(m_mainWindow->GetHwnd(), SW_HIDE);
    return m_failed ? kStatusFailed : kStatusSuccess;
}

// A product folder given on the command line means the product is not located by its code.
void CPatchInstallerBase::TakeProductPathFrom(const PatchCmdInfo& info) {
    if (info.pathGiven != 1) return;
    m_locateByProductCode = false;
    m_cmdLineProductPath = info.productDir;
}

bool CPatchInstallerBase::HasEnoughDiskSpace() {
    const std::string productDir = CRunState::Get().ProductDir();
    unsigned long long freeBytes = 0;
    if (CDiskSpaceCheck::Check(productDir.c_str(), &freeBytes) != CDiskSpaceCheck::kNotEnough) return true;
    GeneralUtil::ShowLowDiskSpaceWarning(freeBytes, productDir.c_str());
    CRunState::Get().exitCode = kExitLowDiskSpace;
    ReportFailure("Patch: In CPatchInstallerBase::DoProgramPatches, no enough disk space.");
    return false;
}

// The installed major version and the product code the packages are applied to. A version
// resource that cannot be read leaves the major version as it was.
bool CPatchInstallerBase::FindInstalledProduct() {
    if (m_locateByProductCode && m_productCode.empty()) m_productCode = m_config.GetProductCode();
    const int major =
        QueryInstalledMajorVersion(m_locateByProductCode, m_productCode, static_cast<int>(m_flavors.MajorVersion()));
    if (m_locateByProductCode || major > 0) m_flavors.SetMajorVersion(static_cast<uint32_t>(major));
    if (m_locateByProductCode) return true;

    m_productCode = m_config.GetProductCode();
    if (!m_productCode.empty()) return true;
    ReportFailure("Patch: In CPatchInstallerBase::DoProgramPatches, Failed to read product code.");
    CRunState::Get().exitCode = kExitNoProductCode;
    return false;
}

// The file is read again and may have changed since the first read: a file the parser
// cannot read is a configuration that cannot be read, as it is then.
bool CPatchInstallerBase::RereadConfiguration() {
    CRunState& state = CRunState::Get();
    bool read = false;
    try {
        read = m_config.ReadPatchIniFile(state.installerDir.c_str());
    } catch (const std::exception& e) {
        LogStatusF("In CPatchInstallerBase::DoProgramPatches, %s", e.what());
    }
    if (read) return true;
    ReportFailure("Patch: In CPatchInstallerBase::DoProgramPatches, it fails to read the configuration file.");
    state.exitCode = kExitConfigUnreadable;
    return false;
}

// The journal lives where only administrators can write, and it is trusted only for files in
// the product folder of this run and the common data folder the off-cycle save can name.
void CPatchInstallerBase::RecoverInterruptedSave() {
    m_offCycle.SetLogger(&StatusLogMgr::LogStatus);
    m_offCycle.UseProtectedJournalFolder(TWPatchLogUtil::BuildLogFolder());
    // A product found through the alternate component has no off-cycle files of its own: only
    // its folder is trusted then, and Windows Installer is not asked for the common data one.
    char componentPath[260] = {};
    if (!CRunState::Get().alternateComponent) {
        DWORD size = sizeof(componentPath);
        Platform().Msi.GetComponentPath(m_config.GetProductCode().c_str(), kOffCycleComponent, componentPath, &size);
        componentPath[sizeof(componentPath) - 1] = '\0';
    }
    m_offCycle.SetJournalTrustedFolders({CRunState::Get().ProductDir(), componentPath});
    m_offCycle.ReplayJournal();
}

bool CPatchInstallerBase::CheckPatchPackages() {
    for (const CDeltaPatchList::Entry* entry = m_config.GetDeltaPatchList().Head(); entry; entry = entry->next.get()) {
        std::string problem;
        if (CPatchPackageCheck::Check(entry->patchFile, m_productCode, &problem)) continue;
        LogStatusF("In CPatchInstallerBase::DoProgramPatches, the patch file %s cannot be applied: %s.",
                   entry->patchFile.c_str(), problem.c_str());
        PatchIniMgr::ShowFilesMissingMessage(PatchIniMgr::kFilesMissingError, entry->patchFile.c_str());
        ReportFailure(FormatString("Patch: In CPatchInstallerBase::DoProgramPatches, the patch file %s is missing or "
                                   "damaged: %s.",
                                   entry->patchFile.c_str(), problem.c_str())
                          .c_str());
        CRunState::Get().exitCode = kExitConfigUnreadable;
        return false;
    }
    return true;
}

// Joins the package files of the delta-patch list into the one list applied. False when
// the list holds an empty entry; *apply tells whether there is anything to apply.
bool CPatchInstallerBase::JoinPatchList(bool* apply) {
    const unsigned count = m_config.GetDeltaPatchCount();
    *apply = count >= 1;
    if (count < 1) {
        StatusLogMgr::LogStatus("In CPatchInstallerBase::DoProgramPatches, no patch needs to be applied");
        return true;
    }
    LogStatusF("In CPatchInstallerBase::DoProgramPatches, %d delta patches will be applied", count);
    if (m_config.GetDeltaPatchTotalSize() == 0) {
        ReportFailure(
            "Patch: In CPatchInstallerBase::DoProgramPatches, no patch needs to be applied because patch "
            "size is zero.");
        return true;
    }
    m_failed = false;
    CDeltaPatchList& list = m_config.GetDeltaPatchList();
    for (unsigned i = 0; i < count && !m_abort; ++i) {
        std::unique_ptr<CDeltaPatchList::Entry> entry = list.TakeFirst();
        if (!entry) {
            std::string text = LoadResourceString(IDS_NULL_PATCH);
            std::string title = LoadResourceString(IDS_MSGBOX_TITLE);
            Platform().ShowMessageBox(GetMessageOwner(), text.c_str(), title.c_str(), MB_ICONHAND, 0);
            m_failed = true;
            StatusLogMgr::LogStatus("In CPatchInstallerBase::DoProgramPatches, NULL patch.");
            CRunState::Get().exitCode = kExitEmptyPatchEntry;
            return false;
        }
        SafeCopy(m_currentPatchDir, entry->targetFolder.c_str());
        if (std::strlen(m_currentPatchDir) == 2 && m_currentPatchDir[1] == ':') SafeAppend(m_currentPatchDir, "\\");
        m_failed = false;
        if (!m_patchList.empty()) m_patchList += ";";
        m_patchList += entry->patchFile;
    }
    return true;
}

// After the packages: the saved off-cycle files go back, then the outcome is told and, on
// success, the product learns its revision and the post-patch steps run.
void CPatchInstallerBase::FinishPatchedProduct() {
    // The files saved before the patch are put back whenever they were saved: in every run
    // that did not find the product through the alternate component.
    if (!CRunState::Get().alternateComponent) RestoreOffCycleFiles();
    if (m_failed) {
        ShowMessage(IDS_PATCH_NOT_APPLIED, MB_ICONINFORMATION);
        ReportFailure("Patch: In CPatchInstallerBase::DoProgramPatches, patching is aborted.");
        return;
    }
    StatusLogMgr::LogStatus("In CPatchInstallerBase::DoProgramPatches,  all patches have been applied successfully.");
    NotifyTWOnSuccess();
    StatusLogMgr::LogStatus("In CPatchInstallerBase::DoProgramPatches, NotifyTWOnSuccess has been completed.");
    DoPostPatchBatchFile();
    StatusLogMgr::LogStatus("In CPatchInstallerBase::DoProgramPatches, DoPostPatchBatchFile has been completed.");
    if (IsRestartRequired()) return;
    PostPatchProcessing();
    StatusLogMgr::LogStatus("In CPatchInstallerBase::DoProgramPatches, PostPatchProcessing has been completed.");
}

void CPatchInstallerBase::RestoreOffCycleFiles() {
    bool restartNeeded = false;
    const int notRestored = m_offCycle.RestoreAllFiles(&restartNeeded);
    if (notRestored > 0) ShowDamagedFileMessage();
    if (!restartNeeded) return;
    StatusLogMgr::LogStatus("In CPatchInstallerBase::DoProgramPatches: restart is requested. Offcycle restore failed.");
    ::MessageBeep(0xF0);
    Platform().ShowMessageBox(nullptr, texts::kRestartForChanges, "Warning", MB_ICONEXCLAMATION, 0);
    // Restarting here would lose the run's outcome: the log, the status record and the
    // message about a failed patch. The entry point restarts at the end.
    m_restartPending = true;
}

std::string CPatchInstallerBase::BuildInstallerProperties(CConfigMgr& config) {
    return CInstallerProperties::Build(config.GetMsiSettings(), config.GetIsNetEnabled(), config.GetIsFeatureEnabled());
}

void CPatchInstallerBase::DoPatch(std::string patchList) {
    CRunState& state = CRunState::Get();
    if (m_flavors.Installed().empty()) GetInstalledFlavors();

    if (!state.alternateComponent) {
        if (m_waitDialog) m_waitDialog->SetStatusText("Downloading and copying files...");
        SaveOffCycleFiles();
    }

    HCURSOR previousCursor = ::SetCursor(::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));

    m_installerProperties = BuildInstallerProperties(m_config);

    // From here on the product's files may change: a run that dies now leaves copies that
    // the next run must put back.
    if (!state.alternateComponent) m_offCycle.MarkApplyStarting();

    char errorText[CMsiInterface::kErrorTextSize] = {};
    UINT result = 0;
    bool applied = CMsiInterface::Instance().ApplyMultiplePatches(patchList.c_str(), m_productCode.c_str(),
                                                                  m_installerProperties.c_str(), errorText, &result);
    m_failed = !applied;

    SendApplyOutcome(result);

    if (state.exitCode == static_cast<int32_t>(ERROR_SUCCESS_REBOOT_REQUIRED)) m_restartRequired = true;

    ::SetCursor(previousCursor);

    if (!m_restartInProgress && !applied) {
        std::string title = LoadResourceString(IDS_MSGBOX_TITLE) + " Error";
        Platform().ShowMessageBox(GetMessageOwner(), errorText, title.c_str(), MB_ICONHAND, 0);
    }
}

// The outcome of the apply call as a tracking message; a result that asks for a restart
// sends none.
void CPatchInstallerBase::SendApplyOutcome(UINT result) {
    const CRunState& state = CRunState::Get();
    const char* installType = m_locateByProductCode ? "Web" : "Auto";
    if (result == ERROR_SUCCESS) {
        InstallTracker::Instance().SendTrackingMessage(0, "Patch Installation Success", false,
                                                       {{"InstallType", std::string("Patch:") + installType},
                                                        {"IsNudged", state.gateAllowedWithMessage ? "TRUE" : "FALSE"}});
    } else if (result != ERROR_SUCCESS_REBOOT_REQUIRED) {
        InstallTracker::Instance().SendTrackingMessage(
            result, "Patch Installation failed", true,
            {{"ErrorNumber", std::to_string(result)}, {"InstallType", std::string("Patch:") + installType}});
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

int CPatchInstallerBase::OnMsiMessage(UINT messageType, LPCSTR message) {
    return m_msiHandler.OnMessage(messageType, message);
}

// Windows Installer is about to restart Windows (the run already keeps the completion steps
// back): the off-cycle files go back and the product learns its new revision now.
void CPatchInstallerBase::OnRestartAnnounced() {
    if (!CRunState::Get().alternateComponent) {
        bool restartNeeded = false;
        m_offCycle.RestoreAllFiles(&restartNeeded);
    }
    NotifyTWOnSuccess();
    StatusLogMgr::LogStatus("INSTALLMESSAGE_USER: NotifyTWOnSuccess has been completed.");
}

}  // namespace tw
