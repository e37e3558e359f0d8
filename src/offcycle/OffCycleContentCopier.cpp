#include "offcycle/OffCycleContentCopier.h"

#include <io.h>
#include <sys/stat.h>
#include <sys/timeb.h>

#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <string>

#include "common/Handles.h"
#include "common/PlatformSeams.h"
#include "common/TextUtil.h"
#include "logging/StatusLogMgr.h"
#include "offcycle/ErrorText.h"
#include "offcycle/OffCycleCopyName.h"

namespace tw {

namespace {

constexpr int kAttemptsBeforePause = 10;
// Room for any component of a path the copier is given (the manager gives at most 519).
constexpr size_t kPartSize = 1040;

// Seeds the C runtime generator from the clock: milliseconds times seconds.
void SeedFromClock() {
    struct __timeb64 now;
    ::_ftime64(&now);
    unsigned long long product =
        static_cast<unsigned long long>(now.millitm) * static_cast<unsigned long long>(now.time);
    std::srand(static_cast<unsigned>(product & 0xFFFFFFFFull));
}

char RandomNameCharacter() {
    int r = std::rand() % 96;
    return r < 26 ? static_cast<char>('a' + r) : static_cast<char>('0' + r % 10);
}

bool NameIsTaken(const std::string& pattern) {
    struct _finddata64i32_t entry;
    CrtFindHandle search(::_findfirst64i32(pattern.c_str(), &entry));
    return search.IsValid();
}

// Whether the source is known not to be there: a listed file that is not installed. A path
// too long for the "A" functions is asked again in the wide "\\?\" form, which has no such
// limit; any other obstacle is left to the copy to report.
bool SourceIsAbsent(const char* path) {
    if (::GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) return false;
    DWORD error = ::GetLastError();
    if (error == ERROR_FILENAME_EXCED_RANGE) {
        const bool absolute = std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && path[2] == '\\';
        int length = absolute ? ::MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0) : 0;
        if (length <= 0) return false;
        std::wstring wide(static_cast<size_t>(length), L'\0');
        if (::MultiByteToWideChar(CP_ACP, 0, path, -1, &wide[0], length) != length) return false;
        wide.resize(static_cast<size_t>(length - 1));
        wide.insert(0, L"\\\\?\\");
        if (::GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
        error = ::GetLastError();
    }
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME;
}

}  // namespace

COffCycleContentCopier::COffCycleContentCopier(bool copyMode) : m_copyMode(copyMode) {}

COffCycleContentCopier::~COffCycleContentCopier() { Cleanup(); }

bool COffCycleContentCopier::SetCopyMode(bool copyMode) {
    m_copyMode = copyMode;
    return m_copyMode;
}

void COffCycleContentCopier::SetLogger(Logger logger) { m_logger = logger; }

void COffCycleContentCopier::LogFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    SafeFormatV(m_message, sizeof(m_message), format, args);
    va_end(args);
    if (m_logger) m_logger(m_message);
}

void COffCycleContentCopier::SetJournalFolder(const std::string& folder) { m_journal.SetFolder(folder); }

std::string COffCycleContentCopier::MakeCopyName(const char* sourcePath) {
    std::string drive(kPartSize, '\0'), dir(kPartSize, '\0'), name(kPartSize, '\0'), ext(kPartSize, '\0');
    if (::_splitpath_s(sourcePath, &drive[0], kPartSize, &dir[0], kPartSize, &name[0], kPartSize, &ext[0], kPartSize) !=
        0)
        return std::string();
    const size_t extensionLength = std::strlen(ext.c_str());

    // A name no file of the folder has yet, with any extension.
    std::string copy;
    SeedFromClock();
    int attemptsLeft = kAttemptsBeforePause;
    for (;;) {
        std::string random;
        for (size_t i = 0; i < COffCycleCopyName::kRandomLength; ++i) random += RandomNameCharacter();
        copy = COffCycleCopyName::Compose(sourcePath, random);
        if (copy.empty()) return std::string();
        if (!NameIsTaken(copy.substr(0, copy.size() - extensionLength) + ".*")) break;
        if (--attemptsLeft < 0) {
            Platform().Sleep(10);
            attemptsLeft = kAttemptsBeforePause;
        }
    }
    return copy;
}

void COffCycleContentCopier::PlanSave(const std::vector<std::string>& sourcePaths) {
    m_planned.clear();
    if (!m_journal.IsEnabled()) return;
    std::vector<COffCycleJournal::Entry> entries = m_journalEntries;
    for (const std::string& source : sourcePaths) {
        if (m_savedFiles.count(source) != 0 || m_planned.count(source) != 0) continue;
        if (SourceIsAbsent(source.c_str())) continue;
        COffCycleJournal::Entry entry;
        entry.source = source;
        entry.copy = MakeCopyName(source.c_str());
        if (entry.copy.empty() || entry.copy.size() >= MAX_PATH) continue;  // SaveFile reports it
        // Two names planned in one go must differ too, though neither file exists yet.
        bool taken = false;
        for (const auto& planned : m_planned)
            if (::_stricmp(planned.second.c_str(), entry.copy.c_str()) == 0) taken = true;
        if (taken) entry.copy = MakeCopyName(source.c_str());
        DWORD error = NO_ERROR;
        if (!COffCycleJournal::HashFile(source, &entry.size, &entry.hash, &error)) {
            LogFormat("In COffCycleContentCopier::PlanSave, cannot read file %s: %s[%lu]", source.c_str(),
                      SystemErrorText(error).c_str(), error);
            continue;
        }
        m_planned[source] = entry.copy;
        entries.push_back(entry);
    }
    std::string error;
    if (!m_journal.Write(entries, &error, m_applyStarted)) {
        // Saving without a journal still keeps the files through an uninterrupted run.
        LogFormat(
            "In COffCycleContentCopier::PlanSave, the journal %s could not be written, files are saved without "
            "it: %s",
            m_journal.Path().c_str(), error.c_str());
        m_planned.clear();
        m_journalActive = false;
        return;
    }
    m_journalEntries = std::move(entries);
    m_journalActive = true;
    LogFormat("In COffCycleContentCopier::PlanSave, journal %s written for %u file(s)", m_journal.Path().c_str(),
              static_cast<unsigned>(m_journalEntries.size()));
}

void COffCycleContentCopier::MarkApplyStarting() {
    m_applyStarted = true;
    if (!m_journalActive) return;
    std::string error;
    if (m_journal.Write(m_journalEntries, &error, true)) {
        LogFormat("In COffCycleContentCopier::MarkApplyStarting, journal %s marked: the patch is being applied",
                  m_journal.Path().c_str());
        return;
    }
    // The journal on disk still says the patch was not started: the next run would delete
    // the copies instead of putting them back. Without a journal the copies stay for the
    // restore of this run and are found by no later run.
    LogFormat("In COffCycleContentCopier::MarkApplyStarting, the journal %s could not be marked (%s), it is removed",
              m_journal.Path().c_str(), error.c_str());
    m_journal.Remove();
    m_journalEntries.clear();
    m_journalActive = false;
}

HRESULT COffCycleContentCopier::SaveFile(const char* sourcePath) {
    if (!sourcePath) return E_POINTER;
    if (m_savedFiles.count(sourcePath) != 0) {
        LogFormat("In COffCycleContentCopier::SaveFile, Duplicate file, not saved  file %s  ", sourcePath);
        return S_OK;
    }

    // The name of the copy: the one the journal names, or a new one.
    std::string tempPath;
    bool split = true;
    if (m_journalActive) {
        auto planned = m_planned.find(sourcePath);
        if (planned != m_planned.end()) tempPath = planned->second;
    } else {
        tempPath = MakeCopyName(sourcePath);
        split = !tempPath.empty();
    }

    // A listed file that is not installed is no error, however long its path.
    if (SourceIsAbsent(sourcePath)) {
        LogFormat(
            "In COffCycleContentCopier::SaveFile, File Not saved, file or path not found.   file %s , temp "
            "name %s ",
            sourcePath, tempPath.c_str());
        return S_OK;
    }

    // A copy that the file functions could not move back would strand the off-cycle version;
    // such a file is not saved, as the file functions themselves refuse it.
    // While a journal is kept, only what it names is copied: a copy it does not name would
    // be lost to the next run. Such a file could not be read when the journal was written.
    if (!split || tempPath.empty() || tempPath.size() >= MAX_PATH) {
        LogFormat("In COffCycleContentCopier::SaveFile, File Not saved, Error 0x%x .   file %s , temp name %s ",
                  static_cast<unsigned>(E_FAIL), sourcePath, tempPath.c_str());
        return E_FAIL;
    }

    if (!::CopyFileA(sourcePath, tempPath.c_str(), FALSE)) {
        DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            LogFormat(
                "In COffCycleContentCopier::SaveFile, File Not saved, file or path not found.   file %s , temp "
                "name %s ",
                sourcePath, tempPath.c_str());
            return S_OK;
        }
        LogFormat("In COffCycleContentCopier::SaveFile, File Not saved, Error 0x%x .   file %s , temp name %s ",
                  static_cast<unsigned>(E_FAIL), sourcePath, tempPath.c_str());
        return E_FAIL;
    }

    m_planned.erase(sourcePath);
    try {
        m_savedFiles[sourcePath] = tempPath;
    } catch (...) {
        ::DeleteFileA(tempPath.c_str());  // an unrecorded copy would never be restored or removed
        return E_OUTOFMEMORY;
    }
    LogFormat("In COffCycleContentCopier::SaveFile, File saved  file %s , temp name %s ", sourcePath, tempPath.c_str());
    return S_OK;
}

int COffCycleContentCopier::RestoreAllFiles(bool& restartNeeded) {
    int failures = 0;
    bool anyRegistered = false;
    while (!m_savedFiles.empty()) {
        auto entry = m_savedFiles.begin();
        const std::string& source = entry->first;
        const std::string& temp = entry->second;

        HRESULT result = S_OK;
        bool restored = ::MoveFileExA(temp.c_str(), source.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
        bool registered = false;
        bool registrationTried = false;
        if (!restored) {
            DWORD error = ::GetLastError();
            result = HRESULT_FROM_WIN32(error);
            if (error == ERROR_ACCESS_DENIED) {
                // The source is in use: replace it when Windows starts next.
                registrationTried = true;
                registered = ::MoveFileExA(temp.c_str(), source.c_str(),
                                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
                if (!registered) {
                    error = ::GetLastError();
                    result = HRESULT_FROM_WIN32(error);
                }
            }
            StatusLogMgr::LogStatus(SystemErrorText(error).c_str());
            if (registrationTried && !registered)
                LogFormat(
                    "In COffCycleContentCopier::RestoreAllFiles, the move could not be registered for the next "
                    "restart either.   file %s , temp name %s ",
                    source.c_str(), temp.c_str());
        }
        // Only a registered move waits for the restart; an unregistered one is a failure, and
        // its copy stays on disk.
        if (registered) restartNeeded = anyRegistered = true;
        LogFormat("In COffCycleContentCopier::RestoreAllFiles, Error %d .   file %s , temp name %s ",
                  static_cast<int>(result), source.c_str(), temp.c_str());
        if (!restored && !registered) ++failures;
        m_savedFiles.erase(entry);
    }
    LogFormat("In COffCycleContentCopier::RestoreAllFiles, The # of files that failed restoration:: %d ", failures);
    if (m_journalActive) {
        if (failures == 0 && !anyRegistered) {
            if (m_journal.Remove())
                LogFormat("In COffCycleContentCopier::RestoreAllFiles, every file is back, journal %s removed",
                          m_journal.Path().c_str());
            else
                LogFormat(
                    "In COffCycleContentCopier::RestoreAllFiles, every file is back, but journal %s could not "
                    "be removed: %s",
                    m_journal.Path().c_str(), SystemErrorText(::GetLastError()).c_str());
            m_journalEntries.clear();
            m_journalActive = false;
        } else {
            LogFormat("In COffCycleContentCopier::RestoreAllFiles, journal %s kept for the next run",
                      m_journal.Path().c_str());
        }
    }
    m_planned.clear();
    return failures;
}

void COffCycleContentCopier::Cleanup() {
    HRESULT result = S_OK;
    while (!m_savedFiles.empty()) {
        auto entry = m_savedFiles.begin();
        if (m_copyMode) {
            ::_chmod(entry->second.c_str(), _S_IREAD | _S_IWRITE);
            result = ::_unlink(entry->second.c_str()) == 0 ? S_OK : HResultFromErrno(errno);
        }
        LogFormat("In COffCycleContentCopier::Cleanup, Error %d .   file %s , temp name %s ", static_cast<int>(result),
                  entry->first.c_str(), entry->second.c_str());
        m_savedFiles.erase(entry);
    }
    // Copies deleted here can no longer be put back; copies kept are left to the journal.
    if (m_journalActive && m_copyMode) {
        m_journal.Remove();
        m_journalEntries.clear();
        m_journalActive = false;
    }
}

}  // namespace tw
