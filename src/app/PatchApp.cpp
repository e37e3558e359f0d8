#include "app/PatchApp.h"

#include <cstring>
#include <exception>
#include <memory>
#include <new>

#include "app/DiskSpaceCheck.h"
#include "app/PatchCmdInfo.h"
#include "app/PatchInstallerBase.h"
#include "app/PatchInstallerFactory.h"
#include "common/Handles.h"
#include "common/PlatformSeams.h"
#include "common/RunState.h"
#include "common/TextUtil.h"
#include "config/GeneralUtil.h"
#include "logging/StatusLogMgr.h"
#include "logging/TWPatchLogUtil.h"
#include "ui/AutoPatchWnd.h"
#include "common/Resource.h"
#include "common/StringTable.h"
#include "ui/WebPatchWnd.h"

namespace tw {
namespace {

CPatchInstallerBase* g_installer = nullptr;
CMainWnd* g_mainWindow = nullptr;

constexpr char kRestartText[] =
    "Tallyworks Update has to restart your computer \nto complete the update.\n\n"
    "Click Yes to restart now.  Click No to restart later.";
constexpr UINT kRestartStyle = MB_YESNO | MB_ICONWARNING | MB_SETFOREGROUND | MB_TOPMOST;

// The status record and its utility live from step 7 to the end of the run.
struct RunRecord {
    std::unique_ptr<TWPatchLogUtil> util;
    std::unique_ptr<PatchStatusRecord> record;

    void Finish() {
        if (util && record) util->FinishStatusRecord(*record, static_cast<uint32_t>(CRunState::Get().exitCode));
        record.reset();
        util.reset();
    }
};

// Asks Windows to restart; enables the shutdown privilege when the first attempt fails.
// Returns false when the run must end with the exit code it set.
bool RestartWindows() {
    PlatformSeams& platform = Platform();
    if (platform.ExitWindowsEx(EWX_REBOOT, 0)) return true;
    (void)::GetLastError();

    HANDLE rawToken = nullptr;
    if (!platform.OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &rawToken)) {
        StatusLogMgr::LogStatus("In WinMain, error in OpenProcessToken");
        CRunState::Get().exitCode = CPatchInstallerBase::kExitOpenProcessToken;
        return false;
    }
    KernelHandle token(rawToken);
    TOKEN_PRIVILEGES privileges = {};
    ::LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid);
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    ::SetLastError(ERROR_SUCCESS);
    platform.AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr);
    if (::GetLastError() != ERROR_SUCCESS) {
        StatusLogMgr::LogStatus("In WinMain, error in AdjustTokenPrivileges");
        CRunState::Get().exitCode = CPatchInstallerBase::kExitShutdownPrivilege;
        return false;
    }
    if (!platform.ExitWindowsEx(EWX_REBOOT, 0)) StatusLogMgr::LogStatus("In WinMain, error in ExitWindowsEx");
    return true;
}

void RunMessageLoop() {
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

}  // namespace

CPatchInstallerBase* CPatchApp::Installer() { return g_installer; }
CMainWnd* CPatchApp::MainWindow() { return g_mainWindow; }

void CPatchApp::ResetForTesting() {
    delete g_installer;
    g_installer = nullptr;
    delete g_mainWindow;
    g_mainWindow = nullptr;
    CPatchInstallerFactory::ResetFactory();
}

void CPatchApp::AdoptForTesting(CPatchInstallerBase* installer, CMainWnd* mainWindow) {
    ResetForTesting();
    g_installer = installer;
    g_mainWindow = mainWindow;
}

int CPatchApp::Run(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand) {
    CRunState& state = CRunState::Get();
    const char* cmd = commandLine ? commandLine : "";

    ::SetLastError(ERROR_SUCCESS);
    const bool hasCommandLine = cmd[0] != '\0';
    state.installerKind = hasCommandLine ? InstallerKind::Auto : InstallerKind::Web;

    PatchCmdInfo info;
    std::memset(&info, 0, sizeof(info));
    info.instance = instance;

    if (!g_installer) {
        if (CPatchInstallerFactory* factory = CPatchInstallerFactory::GetFactory(static_cast<int32_t>(state.installerKind)))
            g_installer = factory->CreateInstaller();
    }
    if (!g_mainWindow) {
        if (state.installerKind == InstallerKind::Auto)
            g_mainWindow = new (std::nothrow) CAutoPatchWnd();
        else
            g_mainWindow = new (std::nothrow) CWebPatchWnd();
    }
    if (!g_installer || !g_mainWindow) return 0;
    g_installer->SetMainWindow(g_mainWindow);

    RunRecord run;
    try {
        g_installer->ParseCmdLine(info, cmd);

        state.exitCode = 0;
        state.commandLineGiven = hasCommandLine;
        if (info.pathGiven == 1) TWPatchLogUtil::SetProductPath(info.productDir);

        run.util.reset(new TWPatchLogUtil());
        run.record = run.util->CreateStatusRecord(hasCommandLine);
        if (info.pathGiven == 1) state.productExePath = std::string(info.productDir) + "\\tww.exe";

        char modulePath[CPatchInstallerBase::kModulePathSize] = {};
        ::GetModuleFileNameA(instance, modulePath, sizeof(modulePath) - 1);
        g_installer->SetModulePath(modulePath);
        if (char* slash = std::strrchr(modulePath, '\\')) *slash = '\0';
        state.installerDir = modulePath;
        if (!StatusLogMgr::RenameLogFile(state.installerDir.c_str()))
            StatusLogMgr::LogStatus("Failed to rename log file");

        if (hasCommandLine) {
            std::string productDir = state.ProductDir();
            if (productDir.empty()) {
                state.exitCode = CPatchInstallerBase::kExitNoProductDir;
                run.Finish();
                return 0;
            }
            unsigned long long freeBytes = 0;
            if (CDiskSpaceCheck::Check(productDir.c_str(), &freeBytes) == CDiskSpaceCheck::kNotEnough) {
                GeneralUtil::ShowLowDiskSpaceWarning(freeBytes, productDir.c_str());
                StatusLogMgr::LogStatus("In CPatchInstallerBase::DoProgramPatches, no enough disk space.");
                state.exitCode = CPatchInstallerBase::kExitLowDiskSpace;
                run.Finish();
                return 0;
            }
        }

        if (previousInstance || g_mainWindow->InitApplication(instance) != 0) {
            char previousDir[520] = {};
            DWORD length = ::GetCurrentDirectoryA(sizeof(previousDir), previousDir);
            bool remembered = length > 0 && length < sizeof(previousDir);
            ::SetCurrentDirectoryA(state.installerDir.c_str());
            if (g_installer->Run(info, showCommand, cmd)) RunMessageLoop();
            if (remembered) ::SetCurrentDirectoryA(previousDir);
        }

        const int result = state.exitCode;

        if (g_installer->IsRestartRequired()) {
            StatusLogMgr::LogStatus(
                "In WinMain, some DLLs or other components of Tallyworks were used by some applications, "
                "Tallyworks has to be re-started to complete the update.");
            if (Platform().ShowMessageBox(nullptr, kRestartText, "Tallyworks Update", kRestartStyle, 0) == IDYES) {
                if (!RestartWindows()) {
                    run.Finish();
                    return result;
                }
            }
        }

        run.Finish();
        return result;
    } catch (...) {
        state.exitCode = static_cast<int32_t>(::GetLastError());
        run.Finish();
        return state.exitCode;
    }
}

}  // namespace tw
