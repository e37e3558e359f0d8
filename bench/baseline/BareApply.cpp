// Baseline of an update: the one Windows Installer call with the installer's patch list and
// properties and its interface level, then the product's post-patch batch file started in a
// new console and waited for, as the installer starts it.
//
//   bare_apply <patch list> <product code> <properties> <product folder>
#include <windows.h>
#include <msi.h>

#include <cstdio>
#include <string>

#include "common/BenchReport.h"
#include "common/Handles.h"

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: bare_apply <patch list> <product code> <properties> <product folder>\n");
        return 2;
    }
    twbench::CBenchReport report;
    ::MsiSetInternalUI(static_cast<INSTALLUILEVEL>(INSTALLUILEVEL_NONE | INSTALLUILEVEL_SOURCERESONLY), nullptr);
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
    char extra[64];
    std::snprintf(extra, sizeof(extra), "msi=%u", result);
    report.Print(extra);
    return result == ERROR_SUCCESS || result == ERROR_SUCCESS_REBOOT_REQUIRED ? 0 : 1;
}
