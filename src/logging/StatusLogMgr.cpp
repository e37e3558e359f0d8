#include "logging/StatusLogMgr.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "common/Handles.h"
#include "common/LinkSafeFile.h"
#include "common/ProcessState.h"
#include "common/TextUtil.h"

namespace tw {
namespace {

constexpr size_t kPathSize = StatusLogMgr::kFolderSize + sizeof(StatusLogMgr::kPreviousLogName);

struct PatchLogState {
    char folder[StatusLogMgr::kFolderSize] = {};
    bool folderSet = false;
    bool headerWritten = false;
};

PatchLogState& State() {
    static PatchLogState state;
    return state;
}

void BuildPath(char* out, size_t cap, const char* name) {
    const PatchLogState& s = State();
    if (s.folderSet) {
        SafeCopy(out, cap, s.folder);
        SafeAppend(out, cap, name);
    } else {
        SafeCopy(out, cap, name);
    }
}

}  // namespace

StatusLogMgr::StatusLogMgr() { std::memset(State().folder, 0, sizeof(State().folder)); }

StatusLogMgr::~StatusLogMgr() = default;

void StatusLogMgr::ResetState() { State() = PatchLogState(); }

namespace {
[[maybe_unused]] const bool g_resetRegistered =
    RegisterProcessStateReset(ProcessLayer::Logging, &StatusLogMgr::ResetState);
}  // namespace

void StatusLogMgr::GetLogPath(char* out, size_t cap) { BuildPath(out, cap, kLogName); }

void StatusLogMgr::LogStatus(const char* line) {
    char path[kPathSize];
    BuildPath(path, sizeof(path), kLogName);
    // A log that is a link to some other file is replaced, not followed.
    CFile file(CLinkSafeFile::OpenForAppend(path, "a+"));
    if (!file) return;
    if (!line) return;

    PatchLogState& s = State();
    if (!s.headerWritten) {
        std::time_t now = std::time(nullptr);
        const std::tm* local = std::localtime(&now);
        const char* stamp = local ? std::asctime(local) : nullptr;
        std::fprintf(file.Get(), "\n%s\n", stamp ? stamp : "\n");
        s.headerWritten = true;
    }
    std::fprintf(file.Get(), "%s\n", line);
}

bool StatusLogMgr::RenameLogFile(const char* folder) {
    PatchLogState& s = State();
    if (folder && folder[0] != '\0') {
        // The folder must fit with a trailing backslash and the terminator; a longer one is
        // refused and the log stays where it was.
        size_t len = std::strlen(folder);
        bool needsSlash = folder[len - 1] != '\\';
        if (len + (needsSlash ? 1 : 0) + 1 > sizeof(s.folder)) return false;
        SafeCopy(s.folder, folder);
        if (needsSlash) SafeAppend(s.folder, "\\");
        s.folderSet = true;
    }

    char logPath[kPathSize];
    BuildPath(logPath, sizeof(logPath), kLogName);
    char previousPath[kPathSize];
    BuildPath(previousPath, sizeof(previousPath), kPreviousLogName);
    // Neither log is rotated through a link: a link in place of either is replaced by a new
    // empty file (the run then starts a new log), so nothing is read from or copied onto
    // what a link leads to.
    if (!CLinkSafeFile::ReplaceIfLink(logPath) || !CLinkSafeFile::ReplaceIfLink(previousPath)) return false;
    DWORD size = INVALID_FILE_SIZE;
    {
        FileHandle log(::CreateFileA(logPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!log) return false;
        size = ::GetFileSize(log.Get(), nullptr);
    }
    if (size == INVALID_FILE_SIZE || size <= kRotateAboveBytes) return true;

    if (!::CopyFileA(logPath, previousPath, FALSE)) {
        // Keep the oversized log rather than lose its lines: it is rotated on a later run.
        return false;
    }
    ::SetFileAttributesA(logPath, FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(logPath);
    return true;
}

}  // namespace tw

namespace tw {

void LogStatusF(const char* format, ...) {
    char line[2048];
    va_list args;
    va_start(args, format);
    SafeFormatV(line, sizeof(line), format, args);
    va_end(args);
    StatusLogMgr::LogStatus(line);
}

}  // namespace tw
