// Members of CPatchInstallerBase: initialisation.
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
#include "app/InstalledMajorVersion.h"

namespace tw {

// ============================================================================
// Initialisation
// ============================================================================

int QueryInstalledMajorVersion(bool locateByProductCode, const std::string& productCode, int current) {
    if (locateByProductCode) {
        char version[260] = {};
        DWORD size = sizeof(version);
        Platform().Msi.GetProductInfo(productCode.c_str(), "VersionMajor", version, &size);
        version[sizeof(version) - 1] = '\0';
        return std::atoi(version);
    }
    const std::string& exePath = CRunState::Get().productExePath;
    if (exePath.empty()) return current;
    return CAppParamUtility::GetMajorVersion(exePath.c_str());
}

bool CPatchInstallerBase::InitInstance(PatchCmdInfo& info) {
    CRunState& state = CRunState::Get();
    if (state.installerDir.empty()) {
        StatusLogMgr::LogStatus("In CPatchInstallerBase::InitInstance, patch dir is NULL.");
        state.exitCode = kExitNoInstallerDir;
        return false;
    }
    EnforceSecureProtocols();
    TakeAppPathFrom(info);
    if (!LoadConfiguration()) return false;

    // The product the update is for must be installed.
    if (Platform().Msi.QueryProductState(m_config.GetProductCode().c_str()) != INSTALLSTATE_DEFAULT) {
        Platform().ShowMessageBox(nullptr, texts::kProductMissing, texts::kProductMissingTitle, MB_ICONHAND, 0);
        state.exitCode = kExitProductNotInstalled;
        return false;
    }
    TakeProductPathFrom(info);
    SetTrackingContext();
    CloseAuxiliaryApplications();

    RunSupportGate();
    return true;
}

// The operating-system support gate, for the product generation that asks for it. Nothing
// here stops the run: the run operations act on the flags it leaves.
void CPatchInstallerBase::RunSupportGate() {
    const std::string versionText = COSSupportGate::GetWindowsVersionText();
    if (std::strcmp(m_config.GetTWFileVersion(), kSupportGateFileVersion) != 0) return;
    const bool windows7Family = versionText == "6.1" || versionText == "6.0";
    try {
        DWORD connection = 0;
        if (!::InternetGetConnectedState(&connection, 0)) {
            if (!windows7Family) return;
            StatusLogMgr::LogStatus("In CPatchInstallerBase::InitInstance,OFFLINE Condition for Win 7.");
            ShowOfflineNotice();
            return;
        }
        StatusLogMgr::LogStatus("In CPatchInstallerBase::InitInstance, InternetConnection Verified passed.");
        CRunState::Get().offline = false;
        const std::string& url =
            _stricmp(m_config.GetServer().c_str(), "PDS") == 0 ? m_osSupportConfigTestUrl : m_osSupportConfigUrl;
        m_osGate.Run(versionText.c_str(), url.c_str());
        switch (m_osGate.GetStatus()) {
            case COSSupportGate::kAllowedWithMessage: {
                StatusLogMgr::LogStatus("In CPatchInstallerBase::InitInstance, ALLOWED WITH MSG.");
                COSSupportDialog dialog;
                dialog.Show(GetMessageOwner());
                break;
            }
            case COSSupportGate::kNoVerdict:
                if (!windows7Family) break;
                StatusLogMgr::LogStatus(
                    "In CPatchInstallerBase::InitInstance, EXCEPTION ENUM condition only for Win 7.");
                ShowOfflineNotice();
                break;
            default:  // allowed, or blocked: nothing is shown and the update goes on
                break;
        }
    } catch (...) {
        // Whatever went wrong, Windows 7 is treated as offline; the line names no cause.
        if (!windows7Family) return;
        StatusLogMgr::LogStatus("In CPatchInstallerBase::InitInstance, Exception Case checked only for Win7.");
        ShowOfflineNotice();
    }
}

// The gate's error message with the offline texts; texts 3 and 4 keep what they hold.
void CPatchInstallerBase::ShowOfflineNotice() {
    CRunState& state = CRunState::Get();
    state.offline = true;
    state.gateAllowedWithMessage = false;
    COSSupportMessage& message = COSSupportMessage::Get();
    message.SetText(COSSupportMessage::kHeading, texts::kOfflineHeading);
    message.SetText(COSSupportMessage::kText1, COSInfo::IsServer() ? texts::kOfflineServer : texts::kOfflineWindows7);
    message.SetText(COSSupportMessage::kText2, texts::kOfflineRelaunch);
    COSSupportDialog dialog;
    dialog.Show(GetMessageOwner());
}

// Secure protocols first; whatever goes wrong there does not stop the update.
void CPatchInstallerBase::EnforceSecureProtocols() {
    StatusLogMgr::LogStatus("In CPatchInstallerBase::InitInstance, Before EnforceProtocol.");
    try {
        CSecureProtocol::EnforceProtocol();
        StatusLogMgr::LogStatus("In CPatchInstallerBase::InitInstance, Completed EnforceProtocol.");
    } catch (const std::exception& e) {
        const char* what = e.what();
        LogStatusF("In CPatchInstallerBase::InitInstance, Exception occurred enforcing IE Security Protocols. :%s",
                   what && *what ? what : "Unknown exception");
    } catch (...) {
        StatusLogMgr::LogStatus(
            "In CPatchInstallerBase::InitInstance, Unknown exception occurred enforcing IE Security Protocols.");
    }
}

// The product folder of the command line, without one trailing backslash.
void CPatchInstallerBase::TakeAppPathFrom(PatchCmdInfo& info) {
    m_twwAppPath[0] = '\0';
    if (!info.pathGiven || info.productDir[0] == '\0') return;
    const size_t length = std::strlen(info.productDir);
    if (info.productDir[length - 1] == '\\') info.productDir[length - 1] = '\0';
    SafeCopy(m_twwAppPath, info.productDir);
    LogStatusF(
        "In CPatchInstallerBase::InitInstance, TW application path m_twwAppPath is set up from the program "
        "parameter as %s",
        m_twwAppPath);
}

// patch.ini beside this program. A file the parser cannot read at all (missing, or without
// sections) counts as not loaded.
bool CPatchInstallerBase::LoadConfiguration() {
    CRunState& state = CRunState::Get();
    bool loaded = false;
    try {
        loaded = m_config.ReadConfInfoFromFile(state.installerDir.c_str());
    } catch (const std::exception& e) {
        LogStatusF("In CPatchInstallerBase::InitInstance, %s", e.what());
        loaded = false;
    }
    if (loaded) return true;
    StatusLogMgr::LogStatus("In CPatchInstallerBase::InitInstance, it fails to read the configuration file.");
    state.exitCode = kExitConfigUnreadable;
    return false;
}

// Context of the run's tracking messages.
void CPatchInstallerBase::SetTrackingContext() {
    const CRunState& state = CRunState::Get();
    InstallTracker& tracker = InstallTracker::Instance();
    tracker.SetSlipStream(m_config.GetTWVersionDigits().c_str());
    tracker.SetCountry(m_config.GetCountry().c_str());
    tracker.SetServer(m_config.GetServer().c_str());
    tracker.SetSKU(m_config.GetReinstall().c_str());
    tracker.SetMajorVersion(QueryInstalledMajorVersion(m_locateByProductCode, m_config.GetProductCode(),
                                                       static_cast<int>(m_flavors.MajorVersion())));
    tracker.SetOSFields(COSInfo::GetTrackingFields());
    char level[10] = {};
    if (!state.productExePath.empty() &&
        CAppParamUtility::GetProductLevel(state.productExePath.c_str(), level, sizeof(level)) != 0)
        level[0] = '\0';
    tracker.SetPrevSlipStream(level);
}

void CPatchInstallerBase::CloseAuxiliaryApplications() { m_companions.CloseAll(); }

}  // namespace tw
