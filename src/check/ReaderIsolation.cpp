#include "check/ReaderIsolation.h"

#include <windows.h>

#include "common/TextUtil.h"
#include "logging/StatusLogMgr.h"

namespace twcheck {
namespace {

constexpr const char* kLogNames[] = {tw::StatusLogMgr::kLogName, tw::StatusLogMgr::kPreviousLogName};

std::string MakeScratchFolder() {
    char base[MAX_PATH] = {};
    DWORD n = ::GetTempPathA(MAX_PATH, base);
    if (n == 0 || n >= MAX_PATH) return std::string();
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        std::string folder =
            tw::FormatString("%stwpatchcheck-%lu-%lu-%u", base, ::GetCurrentProcessId(), ::GetTickCount(), attempt);
        if (::CreateDirectoryA(folder.c_str(), nullptr)) return folder;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return std::string();
}

}  // namespace

CReaderIsolation::CReaderIsolation() : m_folder(MakeScratchFolder()), m_seams(tw::Platform()) {
    tw::StatusLogMgr::ResetState();
    if (!m_folder.empty()) tw::StatusLogMgr::RenameLogFile(m_folder.c_str());
    tw::Platform().ShowDialog = [](HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM) -> INT_PTR { return -1; };
}

CReaderIsolation::~CReaderIsolation() {
    tw::Platform() = m_seams;
    tw::StatusLogMgr::ResetState();
    if (m_folder.empty()) return;
    for (const char* name : kLogNames) ::DeleteFileA((m_folder + "\\" + name).c_str());
    ::RemoveDirectoryA(m_folder.c_str());
}

}  // namespace twcheck
