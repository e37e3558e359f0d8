#include "PackageTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "common/Handles.h"
#include "common/TestSupport.h"

namespace octest {

namespace {

std::string SourceRootUnix() { return UnixPath(TW_SOURCE_DIR); }

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void Collect(const std::string& root, const std::string& relative, std::set<std::string>& files) {
    const std::string folder = relative.empty() ? root : root + "\\" + relative;
    WIN32_FIND_DATAA entry;
    tw::FindHandle search(::FindFirstFileA((folder + "\\*").c_str(), &entry));
    if (!search) return;
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = relative.empty() ? name : relative + "\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            Collect(root, path, files);
        else
            files.insert(path);
    } while (::FindNextFileA(search.Get(), &entry));
}

}  // namespace

std::string UnixPath(const std::string& windowsPath) {
    using ToUnix = char*(CDECL*)(LPCWSTR);
    static ToUnix toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return std::string();
    std::wstring wide(windowsPath.begin(), windowsPath.end());
    char* unix = toUnix(wide.c_str());
    if (!unix) return std::string();
    std::string result(unix);
    ::HeapFree(::GetProcessHeap(), 0, unix);
    return result;
}

bool RunUnix(const std::string& commandLine, const std::string& finishedFile, DWORD timeoutMs) {
    ::DeleteFileA(finishedFile.c_str());
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    const std::string program = commandLine.substr(0, commandLine.find(' '));
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process))
        return false;
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (!twtest::FileExists(finishedFile)) {
        if (::GetTickCount64() > deadline) return false;
        ::Sleep(100);
    }
    ::Sleep(100);  // the status is written by then
    const std::string status = ReadAll(finishedFile);
    ::DeleteFileA(finishedFile.c_str());
    return status.compare(0, 1, "0") == 0;
}

const std::string& CabinetFolder() {
    static const std::string folder = [] {
        const std::string windows = twtest::BinaryPath("tests\\offcycle\\cabinets");
        const std::string finished = twtest::BinaryPath("tests\\offcycle\\cabinets.finished");
        const std::string command = "/bin/bash " + SourceRootUnix() + "/tools/make-cabinets.sh " + UnixPath(windows) +
                                    " " + UnixPath(twtest::BinaryPath("pki")) + " " + UnixPath(finished);
        const bool ran = RunUnix(command, finished, 180 * 1000);
        if (!ran || !twtest::FileExists(windows + "\\done")) {
            std::printf("could not make the test cabinets: %s (%s)\n", command.c_str(), ran ? "ran" : "failed");
            return std::string();
        }
        return windows;
    }();
    return folder;
}

std::set<std::string> FilesUnder(const std::string& folder) {
    std::set<std::string> files;
    Collect(folder, "", files);
    return files;
}

LoopbackServer::LoopbackServer(const std::string& arguments) {
    char temp[MAX_PATH] = {};
    ::GetTempPathA(sizeof(temp), temp);
    char name[MAX_PATH] = {};
    ::GetTempFileNameA(temp, "lbs", 0, name);
    ::DeleteFileA(name);
    ::CreateDirectoryA(name, nullptr);
    m_folder = name;
    const std::string unixFolder = UnixPath(m_folder);
    std::string command = "/usr/bin/python3 " + SourceRootUnix() + "/tools/loopback-server.py --port 0 --ready " +
                          unixFolder + "/ready --stop " + unixFolder + "/stop --access-log " + unixFolder +
                          "/access --lifetime 120 " + arguments;
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessA("/usr/bin/python3", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process))
        return;
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    for (int i = 0; i < 200 && m_port == 0; ++i) {  // at most ten seconds
        std::string ready = ReadAll(m_folder + "\\ready");
        if (!ready.empty()) m_port = std::atoi(ready.c_str());
        if (m_port == 0) ::Sleep(50);
    }
}

LoopbackServer::~LoopbackServer() {
    if (m_folder.empty()) return;
    std::ofstream(m_folder + "\\stop").put('x');
    ::Sleep(400);  // the server looks for the stop file every 0.2 seconds
    twtest::RemoveTree(m_folder);
}

std::string LoopbackServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::string LoopbackServer::AccessLog() const { return ReadAll(m_folder + "\\access"); }

}  // namespace octest
