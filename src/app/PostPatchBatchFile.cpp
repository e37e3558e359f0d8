#include "app/PostPatchBatchFile.h"

#include <windows.h>

#include "common/FileSystem.h"
#include "common/Handles.h"
#include "common/PlatformSeams.h"
#include "logging/StatusLogMgr.h"

namespace tw {

void CPostPatchBatchFile::Run(std::string folder) {
    if (folder.empty()) return;
    if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
    const std::string batchFile = folder + "PostPatch.bat";
    const std::string pifFile = folder + "PostPatch.pif";
    if (!FileExists(batchFile)) return;

    std::string toRun = batchFile;
    if (FileExists(pifFile)) {
        OSVERSIONINFOA version = {};
        version.dwOSVersionInfoSize = sizeof(version);
        if (::GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) toRun = pifFile;
    }

    char previous[MAX_PATH * 4] = {};
    DWORD length = ::GetCurrentDirectoryA(sizeof(previous), previous);
    const bool remembered = length > 0 && length < sizeof(previous);
    ::SetCurrentDirectoryA(folder.c_str());

    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_FORCEOFFFEEDBACK;
    PROCESS_INFORMATION info = {};
    if (::CreateProcessA(toRun.c_str(), nullptr, nullptr, nullptr, FALSE,
                         CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS | CREATE_SEPARATE_WOW_VDM, nullptr, nullptr,
                         &startup, &info)) {
        KernelHandle process(info.hProcess);
        KernelHandle thread(info.hThread);
        DWORD exitCode = 0;
        while (::GetExitCodeProcess(process.Get(), &exitCode) && exitCode == STILL_ACTIVE) {
            MSG message;
            while (::PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) ::DispatchMessageA(&message);
            Platform().Sleep(10);
        }
    } else {
        LogStatusF("In CPatchInstallerBase::DoPostPatchBatchFile, could not start %s. Error code is: %lu",
                   toRun.c_str(), ::GetLastError());
    }

    if (remembered) ::SetCurrentDirectoryA(previous);
}

}  // namespace tw
