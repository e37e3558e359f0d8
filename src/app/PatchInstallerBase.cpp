#include "app/PatchInstallerBase.h"

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

CPatchInstallerBase::CPatchInstallerBase() = default;

CPatchInstallerBase::~CPatchInstallerBase() = default;

// PLACEHOLDER: the Windows Installer message handler comes with the patch application.
int CPatchInstallerBase::OnMsiMessage(UINT /*messageType*/, LPCSTR /*message*/) { return 0; }

// PLACEHOLDER: the running-product checks come with the completion steps; until then the
// product is taken as not running.
bool CPatchInstallerBase::EnsureTWNotRunning() { return true; }

int CPatchInstallerBase::ShowMessage(UINT stringId, UINT icon) {
    std::string text = LoadResourceString(stringId);
    std::string title = LoadResourceString(IDS_MSGBOX_TITLE);
    return Platform().MessageBox(GetMessageOwner(), text.c_str(), title.c_str(), icon);
}

// PLACEHOLDER: the wait dialog comes with the patch application.
bool CPatchInstallerBase::CreateWaitDialog() { return false; }
void CPatchInstallerBase::DestroyWaitDialog() {}

// The wait dialog's window takes over once the wait dialog exists.
HWND CPatchInstallerBase::GetMessageOwner() { return m_mainWindow ? m_mainWindow->GetHwnd() : nullptr; }

// PLACEHOLDER: raising the installed revision comes with the completion steps.
bool CPatchInstallerBase::NotifyTWOnSuccess() { return false; }

void CPatchInstallerBase::ParseCmdLine(PatchCmdInfo& /*info*/, const char* /*commandLine*/) {}

bool CPatchInstallerBase::Run(PatchCmdInfo& info, int /*showCommand*/, const char* /*commandLine*/) {
    return InitInstance(info);
}

void CPatchInstallerBase::PostPatchProcessing() {}
void CPatchInstallerBase::DoPostPatchBatchFile() {}
void CPatchInstallerBase::Reserved() {}

// PLACEHOLDER: the release version text comes with the completion steps.
void CPatchInstallerBase::GetReleaseVersionString(char* buffer, size_t size) {
    if (buffer && size) buffer[0] = '\0';
}

bool CPatchInstallerBase::IsRestartRequired() { return m_restartRequired; }
bool CPatchInstallerBase::IsRestartInProgress() { return m_restartInProgress; }

// PLACEHOLDER: patch application is not built yet; the run reports that it stopped early.
int32_t CPatchInstallerBase::DoProgramPatches(PatchCmdInfo& /*info*/) {
    StatusLogMgr::LogStatus("In CPatchInstallerBase::DoProgramPatches, patch application is not available.");
    return 1;
}

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

int32_t CPatchInstallerBase::RunProgramPatches(PatchCmdInfo& info) { return DoProgramPatches(info); }

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

// PLACEHOLDER: read straight from patch.ini until the configuration manager provides them.
namespace {
std::string ReadPatchIni(const char* section, const char* key) {
    std::string ini = CRunState::Get().installerDir + "\\patch.ini";
    char value[261] = {};
    ::GetPrivateProfileStringA(section, key, "", value, sizeof(value), ini.c_str());
    return value;
}
}  // namespace

std::string CPatchInstallerBase::PatchFileVersion() const { return ReadPatchIni("PatchConfig", "twfileversion"); }
std::string CPatchInstallerBase::PatchProductTitle() const { return ReadPatchIni("Title", "Product"); }
std::string CPatchInstallerBase::PatchProductCode() const { return ReadPatchIni("PatchConfig", "productcode"); }

void CPatchInstallerBase::SetModulePath(const char* path) { SafeCopy(m_modulePath, path); }

void CPatchInstallerBase::ReportFailure(const char* text) { FailureReporter::Report(text, m_lastFailure); }

}  // namespace tw
