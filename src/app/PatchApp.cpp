#include "app/PatchApp.h"

#include <cstring>
#include <exception>
#include <memory>
#include <new>

#include "app/DiskSpaceCheck.h"
#include "app/PatchCmdInfo.h"
#include "app/PatchInstallerBase.h"
#include "app/PatchInstallerFactory.h"
#include "common/FileSystem.h"
#include "common/Handles.h"
#include "common/PlatformSeams.h"
#include "common/ProcessState.h"
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

// The installer and the main window of the run. They live until the process ends and are
// never torn down by static destruction, where the singletons they use may already be gone.
struct RunObjects {
    std::unique_ptr<CPatchInstallerBase> installer;
    std::unique_ptr<CMainWnd> mainWindow;
};

RunObjects& Objects() {
    static RunObjects* objects = new RunObjects();
    return *objects;
}

constexpr char kRestartText[] =
    "Tallyworks Update has to restart your computer \nto complete the update.\n\n"
    "Click Yes to restart now.  Click No to restart later.";
constexpr UINT kRestartStyle = MB_YESNO | MB_ICONWARNING | MB_SETFOREGROUND | MB_TOPMOST;
// The product program in the product folder.
constexpr char kProductProgram[] = "tww.exe";
// ERROR_UNHANDLED_EXCEPTION, which the MinGW headers do not name: the exit code of a run
// that an exception ended without a last error of its own.
constexpr DWORD kUnhandledException = 574;

// The status record and its utility live from step 7 to the end of the run.
struct RunRecord {
    std::unique_ptr<TWPatchLogUtil> util;
    std::unique_ptr<PatchStatusRecord> record;
    bool restarting = false;  // Windows is already being restarted

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

// The product folder as the rest of the run uses it: one pair of enclosing quotes removed,
// made absolute against the folder the program was started in (the run changes folder
// later), with backslashes and without a trailing one. A folder whose full form does not
// fit the record is left as given.
void PrepareProductDir(PatchCmdInfo& info) {
    GeneralUtil::StripEnclosingQuotes(info.productDir);
    if (info.productDir[0] == '\0') return;
    const std::string full = GeneralUtil::NormalisePath(info.productDir);
    if (full != info.productDir && SafeCopy(info.productDir, full.c_str()))
        LogStatusF("In WinMain, TW application path is taken as %s", info.productDir);
}

// Writes the status record out, then carries out a restart the run deferred until its
// outcome was recorded, with the shutdown privilege enabled when Windows refuses it at
// first. A restart that cannot be started is logged; the record already holds the run's
// outcome.
void EndRun(RunRecord& run) {
    const bool restartPending = Objects().installer && Objects().installer->IsRestartPending() && !run.restarting;
    if (restartPending) StatusLogMgr::LogStatus("In WinMain, restarting Windows as the update asked before.");
    run.Finish();
    if (restartPending) run.restarting = RestartWindows();
}

// An exception that ended the run, thrown with the given last error. That error becomes
// the exit code; without one the run must still not count as a success.
int EndRunAfterException(RunRecord& run, const char* what, DWORD error) {
    if (error == ERROR_SUCCESS) error = kUnhandledException;
    CRunState::Get().exitCode = static_cast<int32_t>(error);
    LogStatusF("In WinMain, unexpected exception: %s, exit code %lu", what && *what ? what : "unknown exception",
               error);
    EndRun(run);
    return CRunState::Get().exitCode;
}

// The C++ runtime sets up its exception state on a thread's first throw and clears the
// thread's last error on the way. One throw at the start keeps the last error of a later
// exception for the exit code it must become.
void PrepareExceptionHandling() {
    try {
        throw 0;
    } catch (int) {
    }
}

void RunMessageLoop() {
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

}  // namespace

CPatchInstallerBase* CPatchApp::Installer() { return Objects().installer.get(); }
CMainWnd* CPatchApp::MainWindow() { return Objects().mainWindow.get(); }

namespace {

// The installer and window of a finished run go before the singletons they use.
void DestroyRunObjects() {
    Objects().installer.reset();
    Objects().mainWindow.reset();
    CPatchInstallerFactory::ResetFactory();
}

[[maybe_unused]] const bool g_runObjectsRegistered = RegisterProcessStateReset(ProcessLayer::Host, &DestroyRunObjects);

}  // namespace

void CPatchApp::Adopt(std::unique_ptr<CPatchInstallerBase> installer, std::unique_ptr<CMainWnd> mainWindow) {
    DestroyRunObjects();
    Objects().installer = std::move(installer);
    Objects().mainWindow = std::move(mainWindow);
}

namespace {

// The installer and the main window of the variant, once per process.
bool CreateRunObjects(InstallerKind kind) {
    if (!Objects().installer) {
        if (CPatchInstallerFactory* factory = CPatchInstallerFactory::GetFactory(static_cast<int32_t>(kind)))
            Objects().installer.reset(factory->CreateInstaller());
    }
    if (!Objects().mainWindow) {
        if (kind == InstallerKind::Auto)
            Objects().mainWindow.reset(new (std::nothrow) CAutoPatchWnd());
        else
            Objects().mainWindow.reset(new (std::nothrow) CWebPatchWnd());
    }
    if (!Objects().installer || !Objects().mainWindow) return false;
    Objects().installer->SetMainWindow(Objects().mainWindow.get());
    return true;
}

// The command line, the status record, the product executable, this program's folder and
// the patch log.
void StartRun(RunRecord& run, PatchCmdInfo& info, HINSTANCE instance, const char* cmd, bool hasCommandLine) {
    CRunState& state = CRunState::Get();
    Objects().installer->ParseCmdLine(info, cmd);
    if (info.pathGiven == 1) PrepareProductDir(info);

    state.exitCode = 0;
    state.commandLineGiven = hasCommandLine;
    if (info.pathGiven == 1) TWPatchLogUtil::SetProductPath(info.productDir);

    run.util.reset(new TWPatchLogUtil());
    run.record = run.util->CreateStatusRecord(hasCommandLine);
    // Built from the folder as given: an empty one leaves "\tww.exe", in no folder.
    if (info.pathGiven == 1) state.productExePath = std::string(info.productDir) + "\\" + kProductProgram;

    char modulePath[CPatchInstallerBase::kModulePathSize] = {};
    ::GetModuleFileNameA(instance, modulePath, sizeof(modulePath) - 1);
    Objects().installer->SetModulePath(modulePath);
    if (char* slash = std::strrchr(modulePath, '\\')) *slash = '\0';
    state.installerDir = modulePath;
    if (!StatusLogMgr::RenameLogFile(state.installerDir.c_str())) StatusLogMgr::LogStatus("Failed to rename log file");
}

// The auto run needs an existing product folder that holds the product program, on a drive
// with enough free space. False when the run ends here with the exit code set.
bool CheckAutoRunPreconditions(const PatchCmdInfo& info) {
    CRunState& state = CRunState::Get();
    if (info.pathGiven != 1) {
        state.exitCode = CPatchInstallerBase::kExitNoProductDir;
        return false;
    }
    const std::string productDir = state.ProductDir();
    // A folder that is not there, or holds no product program, has no product to update:
    // nothing may be changed.
    if (!productDir.empty() && !FolderExists(productDir)) {
        LogStatusF("In WinMain, the Tallyworks folder %s given on the command line does not exist.",
                   productDir.c_str());
        state.exitCode = CPatchInstallerBase::kExitNoProductDir;
        return false;
    }
    if (!productDir.empty() && !FileExists(state.productExePath)) {
        LogStatusF("In WinMain, the Tallyworks folder %s given on the command line holds no %s.", productDir.c_str(),
                   kProductProgram);
        state.exitCode = CPatchInstallerBase::kExitNoProductDir;
        return false;
    }
    unsigned long long freeBytes = 0;
    if (CDiskSpaceCheck::Check(productDir.c_str(), &freeBytes) == CDiskSpaceCheck::kNotEnough) {
        GeneralUtil::ShowLowDiskSpaceWarning(freeBytes, productDir.c_str());
        StatusLogMgr::LogStatus("In CPatchInstallerBase::DoProgramPatches, no enough disk space.");
        state.exitCode = CPatchInstallerBase::kExitLowDiskSpace;
        return false;
    }
    // An empty folder names no product either: the user is told, and the run ends as without
    // a folder.
    if (productDir.empty()) {
        const std::string text = LoadResourceString(IDS_CANNOT_READ_PRODUCT);
        const std::string title = LoadResourceString(IDS_MSGBOX_TITLE);
        Platform().ShowMessageBox(nullptr, text.c_str(), title.c_str(), MB_ICONHAND, 0);
        StatusLogMgr::LogStatus("In WinMain, the Tallyworks folder given on the command line is empty.");
        state.exitCode = CPatchInstallerBase::kExitNoProductDir;
        return false;
    }
    return true;
}

// Offers the restart Windows Installer asked for; a restart that could not be started has
// set the exit code of the record.
void OfferRestart(RunRecord& run) {
    if (!Objects().installer->IsRestartRequired()) return;
    StatusLogMgr::LogStatus(
        "In WinMain, some DLLs or other components of Tallyworks were used by some applications, "
        "Tallyworks has to be re-started to complete the update.");
    if (Platform().ShowMessageBox(nullptr, kRestartText, "Tallyworks Update", kRestartStyle, 0) != IDYES) return;
    if (RestartWindows()) run.restarting = true;
}

}  // namespace

int CPatchApp::Run(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand) {
    CRunState& state = CRunState::Get();
    const char* cmd = commandLine ? commandLine : "";

    PrepareExceptionHandling();
    ::SetLastError(ERROR_SUCCESS);
    const bool hasCommandLine = cmd[0] != '\0';
    state.installerKind = hasCommandLine ? InstallerKind::Auto : InstallerKind::Web;

    PatchCmdInfo info;
    std::memset(&info, 0, sizeof(info));
    info.instance = instance;
    if (!CreateRunObjects(state.installerKind)) return 0;

    RunRecord run;
    try {
        StartRun(run, info, instance, cmd, hasCommandLine);
        if (hasCommandLine && !CheckAutoRunPreconditions(info)) {
            EndRun(run);
            return 0;
        }
        // The variant runs from the installer's folder until its main window closes. The
        // call stays in this frame: an exception keeps the last error it was thrown with
        // only until it is caught here.
        if (previousInstance || Objects().mainWindow->InitApplication(instance) != 0) {
            char previousDir[520] = {};
            DWORD length = ::GetCurrentDirectoryA(sizeof(previousDir), previousDir);
            bool remembered = length > 0 && length < sizeof(previousDir);
            ::SetCurrentDirectoryA(state.installerDir.c_str());
            if (Objects().installer->Run(info, showCommand, cmd)) RunMessageLoop();
            if (remembered) ::SetCurrentDirectoryA(previousDir);
        }
        // An exception that ended the run inside one of its windows ends it as here.
        CPatchInstallerBase::RunException failure;
        if (Objects().installer->TakeRunException(&failure))
            return EndRunAfterException(run, failure.what.c_str(), failure.lastError);

        const int result = state.exitCode;
        OfferRestart(run);
        EndRun(run);
        return result;
    } catch (const std::exception& e) {
        return EndRunAfterException(run, e.what(), ::GetLastError());
    } catch (...) {
        return EndRunAfterException(run, nullptr, ::GetLastError());
    }
}

}  // namespace tw
