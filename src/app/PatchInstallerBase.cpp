#include "app/PatchInstallerBase.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "common/Handles.h"
#include "common/PlatformSeams.h"
#include "common/RunState.h"
#include "common/TextUtil.h"
#include "logging/FailureReporter.h"
#include "logging/InstallTracker.h"
#include "logging/StatusLogMgr.h"
#include "ui/MainWnd.h"
#include "ui/Resource.h"
#include "ui/StringTable.h"

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

int32_t CPatchInstallerBase::RunProgramPatches(PatchCmdInfo& info) { return DoProgramPatches(info); }

// PLACEHOLDER: patch application is not built yet; the run reports that it stopped early.
int32_t CPatchInstallerBase::DoProgramPatches(PatchCmdInfo& /*info*/) {
    StatusLogMgr::LogStatus("In CPatchInstallerBase::DoProgramPatches, patch application is not available.");
    return kStatusFailed;
}

// PLACEHOLDER: comes with the patch application.
void CPatchInstallerBase::DoPatch(std::string /*patchList*/) {}

// PLACEHOLDER: comes with the patch application.
bool CPatchInstallerBase::SaveOffCycleFiles() { return false; }

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
