// Baseline of an update: the one Windows Installer call with the installer's patch list and
// properties and its interface level, then the product's post-patch batch file started in a
// new console and waited for, as the installer starts it.
//
//   bare_apply <patch list> <product code> <properties> <product folder> [none|answer|log]
//
// The optional last word adds an external message handler with the installer's message
// filter, to split the installer's cost inside the call into what its required work costs:
//   none    no handler (the default): Windows Installer alone
//   answer  a handler that answers every message at once as the installer does, so Windows
//           Installer formats and delivers every message the installer asks for
//   log     as answer, and the per-message work the installer must do besides: each logged
//           message appended to a log as the installer's log does it (the file opened, one line
//           written, the file closed again), and the thread's window messages dispatched at
//           every progress message
#include <windows.h>
#include <msi.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "common/BenchReport.h"
#include "common/Handles.h"

namespace {

// Every message kind from fatal exit to show dialog except files in use, as the installer asks.
const DWORD kInstallerMessageFilter = 0x7FDF;

const char* LogPrefixOf(UINT kind) {
    switch (kind) {
        case INSTALLMESSAGE_FATALEXIT: return "Patch: INSTALLMESSAGE_FATALEXIT Message: ";
        case INSTALLMESSAGE_ERROR: return "Patch: INSTALLMESSAGE_ERROR Message: ";
        case INSTALLMESSAGE_WARNING: return "INSTALLMESSAGE_WARNING Message: ";
        case INSTALLMESSAGE_USER: return "INSTALLMESSAGE_USER Message: ";
        case INSTALLMESSAGE_RESOLVESOURCE: return "INSTALLMESSAGE_RESOLVESOURCE Message: ";
        case INSTALLMESSAGE_OUTOFDISKSPACE: return "INSTALLMESSAGE_OUTOFDISKSPACE Message: ";
        case INSTALLMESSAGE_ACTIONSTART: return "INSTALLMESSAGE_ACTIONSTART Message: ";
        case INSTALLMESSAGE_ACTIONDATA: return "INSTALLMESSAGE_ACTIONDATA Message: ";
        case INSTALLMESSAGE_COMMONDATA: return "INSTALLMESSAGE_COMMONDATA Message: ";
        case INSTALLMESSAGE_INITIALIZE: return "INSTALLMESSAGE_INITIALIZE Message: ";
        case INSTALLMESSAGE_TERMINATE: return "INSTALLMESSAGE_TERMINATE Message: ";
        case INSTALLMESSAGE_SHOWDIALOG: return "INSTALLMESSAGE_SHOWDIALOG Message: ";
        default: return nullptr;  // progress and info messages are not logged
    }
}

struct HandlerContext {
    bool log = false;
    char logPath[MAX_PATH] = {};  // beside this program, as the installer's log lies beside it
    long messages = 0;
};

int WINAPI OnMessage(LPVOID context, UINT type, LPCSTR text) {
    auto* self = static_cast<HandlerContext*>(context);
    ++self->messages;
    if (!text) return 0;
    const UINT kind = type & 0xFF000000u;
    if (self->log) {
        if (const char* prefix = LogPrefixOf(kind)) {
            FILE* file = std::fopen(self->logPath, "a+");
            if (file) {
                std::fprintf(file, "%s%s\n", prefix, text);
                std::fclose(file);
            }
        }
    }
    if (self->log && kind == INSTALLMESSAGE_PROGRESS) {
        MSG message;
        while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
    }
    switch (kind) {
        case INSTALLMESSAGE_RESOLVESOURCE: return 0;
        case INSTALLMESSAGE_OUTOFDISKSPACE: return IDABORT;
        default: return IDOK;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5 && argc != 6) {
        std::fprintf(stderr,
                     "usage: bare_apply <patch list> <product code> <properties> <product folder> [none|answer|log]\n");
        return 2;
    }
    const char* mode = argc == 6 ? argv[5] : "none";
    HandlerContext context;
    context.log = std::strcmp(mode, "log") == 0;
    const bool handler = context.log || std::strcmp(mode, "answer") == 0;
    if (context.log) {
        DWORD length = ::GetModuleFileNameA(nullptr, context.logPath, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return 2;
        char* slash = std::strrchr(context.logPath, '\\');
        const char kName[] = "BarePatchlog.txt";
        if (!slash || static_cast<size_t>(slash + 1 - context.logPath) + sizeof(kName) > MAX_PATH) return 2;
        std::memcpy(slash + 1, kName, sizeof(kName));
        ::DeleteFileA(context.logPath);
    }

    twbench::CBenchReport report;
    ::MsiSetInternalUI(static_cast<INSTALLUILEVEL>(INSTALLUILEVEL_NONE | INSTALLUILEVEL_SOURCERESONLY), nullptr);
    if (handler) ::MsiSetExternalUIA(&OnMessage, kInstallerMessageFilter, &context);
    UINT result = ::MsiApplyMultiplePatchesA(argv[1], argv[2], argv[3]);

    std::string folder = argv[4];
    if (!folder.empty() && folder.back() != '\\') folder += '\\';
    const std::string batch = folder + "PostPatch.bat";
    ::SetCurrentDirectoryA(folder.c_str());
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_FORCEOFFFEEDBACK;
    PROCESS_INFORMATION info = {};
    DWORD batchExit = 0;
    if (::CreateProcessA(batch.c_str(), nullptr, nullptr, nullptr, FALSE,
                         CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS | CREATE_SEPARATE_WOW_VDM, nullptr, nullptr,
                         &startup, &info)) {
        tw::KernelHandle process(info.hProcess);
        tw::KernelHandle thread(info.hThread);
        ::WaitForSingleObject(process.Get(), INFINITE);
        ::GetExitCodeProcess(process.Get(), &batchExit);
    } else {
        batchExit = ::GetLastError();
        std::fprintf(stderr, "bare_apply: could not start %s: %lu\n", batch.c_str(), batchExit);
    }
    report.Stop();
    char extra[96];
    std::snprintf(extra, sizeof(extra), "msi=%u mode=%s messages=%ld", result, mode, context.messages);
    report.Print(extra);
    return result == ERROR_SUCCESS || result == ERROR_SUCCESS_REBOOT_REQUIRED ? 0 : 1;
}
