#include "UnixLinks.h"

#include <windows.h>

#include "common/Handles.h"

namespace twtest {

std::string UnixPathOf(const std::string& windowsPath) {
    using ToUnix = char*(CDECL*)(LPCWSTR);
    static const ToUnix toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return std::string();
    const std::wstring wide(windowsPath.begin(), windowsPath.end());
    char* unixPath = toUnix(wide.c_str());
    if (!unixPath) return std::string();
    std::string result(unixPath);
    ::HeapFree(::GetProcessHeap(), 0, unixPath);
    return result;
}

bool MakeUnixLink(const std::string& target, const std::string& link, bool hard) {
    const std::string unixTarget = UnixPathOf(target);
    const std::string unixLink = UnixPathOf(link);
    if (unixTarget.empty() || unixLink.empty()) return false;
    // Wine splits the command line the Windows way: double quotes group.
    std::string command =
        std::string("/bin/ln ") + (hard ? "-f " : "-sf ") + "\"" + unixTarget + "\" \"" + unixLink + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessA("/bin/ln", &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    tw::KernelHandle process(info.hProcess), thread(info.hThread);
    // The handle of a Unix process cannot be waited for: its effect is.
    for (int i = 0; i < 100; ++i) {
        if (::GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES) {
            if (!hard) return true;
            tw::FileHandle file(::CreateFileA(link.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              nullptr, OPEN_EXISTING, 0, nullptr));
            BY_HANDLE_FILE_INFORMATION data{};
            if (file && ::GetFileInformationByHandle(file.Get(), &data) && data.nNumberOfLinks > 1) return true;
        }
        ::Sleep(50);
    }
    return false;
}

}  // namespace twtest
