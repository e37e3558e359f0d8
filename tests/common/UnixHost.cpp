#include "UnixHost.h"

#include "common/FileSystem.h"
#include "common/Handles.h"

namespace twtest {

namespace {

bool FileInfo(const std::string& path, BY_HANDLE_FILE_INFORMATION& data) {
    tw::FileHandle file(::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file && ::GetFileInformationByHandle(file.Get(), &data);
}

// Whether 'link' opens the file (or folder) 'target' is: a path that was there before the
// link replaced it does not count.
bool OpensAs(const std::string& link, const std::string& target) {
    BY_HANDLE_FILE_INFORMATION linked{}, original{};
    return FileInfo(link, linked) && FileInfo(target, original) &&
           linked.dwVolumeSerialNumber == original.dwVolumeSerialNumber &&
           linked.nFileIndexHigh == original.nFileIndexHigh && linked.nFileIndexLow == original.nFileIndexLow;
}

}  // namespace

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

bool RunUnix(const std::string& commandLine, const std::function<bool()>& done, DWORD timeoutMs) {
    const std::string program = commandLine.substr(0, commandLine.find(' '));
    std::string command = commandLine;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessA(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    tw::KernelHandle process(info.hProcess), thread(info.hThread);
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (!done()) {
        if (::GetTickCount64() > deadline) return done();
        ::Sleep(50);
    }
    return true;
}

bool MakeUnixLink(const std::string& target, const std::string& link, bool hard) {
    const std::string unixTarget = UnixPathOf(target);
    const std::string unixLink = UnixPathOf(link);
    if (unixTarget.empty() || unixLink.empty()) return false;
    return RunUnix(std::string("/bin/ln ") + (hard ? "-f " : "-sf ") + "\"" + unixTarget + "\" \"" + unixLink + "\"",
                   [&] { return OpensAs(link, target); });
}

UnixLink::UnixLink(const std::string& target, const std::string& link)
    : m_link(link), m_unixLink(UnixPathOf(link)), m_made(MakeUnixLink(target, link, false)) {}

UnixLink::~UnixLink() {
    if (!m_made) return;
    RunUnix("/bin/rm -f \"" + m_unixLink + "\"", [this] { return !tw::EntryExists(m_link); });
}

}  // namespace twtest
