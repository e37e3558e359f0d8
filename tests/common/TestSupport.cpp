#include "common/TestSupport.h"

#include <cstdio>

#include "common/FileSystem.h"
#include "common/Handles.h"
#include "common/PlatformSeams.h"
#include "common/ProcessState.h"
#include "logging/InstallTracker.h"

namespace twtest {

TempDir::TempDir(const char* tag) {
    static unsigned counter = 0;
    char base[MAX_PATH];
    DWORD n = GetTempPathA(MAX_PATH, base);
    if (n == 0 || n >= MAX_PATH) lstrcpyA(base, "C:\\windows\\temp\\");
    char name[MAX_PATH];
    for (;;) {
        snprintf(name, sizeof(name), "%s%s-%lu-%u", base, tag, GetCurrentProcessId(), ++counter);
        if (CreateDirectoryA(name, nullptr)) break;
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    m_path = name;
}

TempDir::~TempDir() { RemoveTree(m_path); }

void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA data;
    tw::FindHandle find(FindFirstFileA((path + "\\*").c_str(), &data));
    if (find) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            std::string full = path + "\\" + name;
            SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(full);
            else
                DeleteFileA(full.c_str());
        } while (FindNextFileA(find.Get(), &data));
    }
    find.Reset();
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(path.c_str());
}

bool WriteTextFile(const std::string& path, const std::string& content) {
    tw::CFile f(std::fopen(path.c_str(), "wb"));
    if (!f) return false;
    return std::fwrite(content.data(), 1, content.size(), f.Get()) == content.size();
}

std::string ReadTextFile(const std::string& path) {
    tw::CFile f(std::fopen(path.c_str(), "rb"));
    std::string out;
    if (!f) return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), f.Get())) > 0) out.append(buf, n);
    return out;
}

bool FileExists(const std::string& path) { return tw::EntryExists(path); }

bool MakeDirs(const std::string& path) {
    size_t pos = 0;
    while ((pos = path.find('\\', pos + 1)) != std::string::npos)
        CreateDirectoryA(path.substr(0, pos).c_str(), nullptr);
    return CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

std::string SourcePath(const std::string& relative) { return std::string(TW_SOURCE_DIR) + "\\" + relative; }
std::string BinaryPath(const std::string& relative) { return std::string(TW_BINARY_DIR) + "\\" + relative; }

SeamGuard::SeamGuard() { tw::ResetProcessState(); }

SeamGuard::~SeamGuard() { tw::ResetProcessState(); }

MessageBoxRecorder::MessageBoxRecorder() : m_previous(tw::Platform().ShowMessageBox) {
    tw::Platform().ShowMessageBox = [this](HWND owner, LPCSTR text, LPCSTR title, UINT type, WORD language) {
        m_calls.push_back({owner, text ? text : "", title ? title : "", type, language});
        if (m_answers.empty()) return IDOK;
        int answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    };
}

MessageBoxRecorder::~MessageBoxRecorder() { tw::Platform().ShowMessageBox = m_previous; }

TrackingSenderScope::TrackingSenderScope(tw::ITrackingSender* sender) {
    tw::InstallTracker& tracker = tw::InstallTracker::Instance();
    tracker.ResetContext();
    m_previous = tracker.SetSender(sender);
}

TrackingSenderScope::~TrackingSenderScope() {
    tw::InstallTracker& tracker = tw::InstallTracker::Instance();
    tracker.SetSender(m_previous);
    tracker.ResetContext();
}

}  // namespace twtest
