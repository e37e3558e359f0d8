#include "offcycle/OffCycleJournal.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "common/FileSystem.h"
#include "common/Handles.h"
#include "common/LinkSafeFile.h"
#include "common/PathRules.h"
#include "common/TextUtil.h"
#include "logging/InstallTracker.h"
#include "offcycle/ErrorText.h"
#include "offcycle/OffCycleCopyName.h"
#include "offcycle/Sha256.h"

namespace tw {

namespace {

constexpr size_t kHashBytes = 32;
constexpr DWORD kReadBlock = 64 * 1024;
// A journal names the files of a few manifests; anything far larger is not one of ours.
constexpr uint64_t kMaxJournalBytes = 16ull * 1024 * 1024;

std::string Hex(const unsigned char* bytes, size_t count) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0x0F];
    }
    return out;
}

bool HasControlCharacter(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20) return true;
    return false;
}

bool IsHashText(const std::string& text) {
    if (text.size() != kHashBytes * 2) return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

bool IsAbsolute(const std::string& path) {
    if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
        (path[2] == '\\' || path[2] == '/'))
        return true;
    return path.size() >= 3 && path[0] == '\\' && path[1] == '\\';
}

std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    return fields;
}

bool ParseSize(const std::string& text, uint64_t* value) {
    if (text.empty() || text.size() > 20) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    *value = v;
    return true;
}

void Log(COffCycleJournal::Logger logger, const std::string& line) {
    if (logger) logger(line.c_str());
}

}  // namespace

COffCycleJournal::COffCycleJournal(std::string folder) : m_folder(std::move(folder)) {}

std::string COffCycleJournal::Path() const {
    if (m_folder.empty()) return std::string();
    std::string path = m_folder;
    if (path.back() != '\\' && path.back() != '/') path += '\\';
    return path + kFileName;
}

std::string COffCycleJournal::HashBytes(const void* data, size_t size) {
    CSha256 sha;
    CSha256::Digest digest = {};
    if (!sha.Update(data, size) || !sha.Finish(digest)) return std::string();
    return Hex(digest.data(), digest.size());
}

bool COffCycleJournal::HashFile(const std::string& path, uint64_t* size, std::string* hash, DWORD* error) {
    DWORD ignored = 0;
    if (!error) error = &ignored;
    *error = NO_ERROR;
    FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        *error = ::GetLastError();
        return false;
    }
    CSha256 sha;
    if (!sha.Ok()) {
        *error = ERROR_INVALID_FUNCTION;
        return false;
    }
    std::string buffer(kReadBlock, '\0');
    uint64_t total = 0;
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.Get(), &buffer[0], kReadBlock, &got, nullptr)) {
            *error = ::GetLastError();
            return false;
        }
        if (got == 0) break;
        if (!sha.Update(buffer.data(), got)) {
            *error = ERROR_INVALID_FUNCTION;
            return false;
        }
        total += got;
    }
    CSha256::Digest value = {};
    std::string digest = sha.Finish(value) ? Hex(value.data(), value.size()) : std::string();
    if (digest.empty()) {
        *error = ERROR_INVALID_FUNCTION;
        return false;
    }
    if (size) *size = total;
    if (hash) *hash = digest;
    return true;
}

bool COffCycleJournal::IsCopyNameOf(const std::string& source, const std::string& copy) {
    return COffCycleCopyName::IsCopyNameOf(source, copy);
}

std::string COffCycleJournal::Format(const std::vector<Entry>& entries, bool applyStarted) {
    std::string body = std::string(kHeader) + "\r\n";
    for (const Entry& entry : entries) {
        body += "file\t" + std::to_string(entry.size) + "\t" + entry.hash + "\t" + entry.source + "\t" + entry.copy +
                "\r\n";
    }
    if (applyStarted) body += std::string(kApplyingLine) + "\r\n";
    return body + "end\t" + std::to_string(entries.size()) + "\t" + HashBytes(body.data(), body.size()) + "\r\n";
}

bool COffCycleJournal::ParseFileLine(const std::vector<std::string>& fields, size_t lineNumber, Entry& entry,
                                     std::string& error) {
    if (fields.size() != 5 || fields[0] != "file" || !ParseSize(fields[1], &entry.size) || !IsHashText(fields[2])) {
        error = FormatString("line %u is not a file line", static_cast<unsigned>(lineNumber));
        return false;
    }
    entry.hash = fields[2];
    entry.source = fields[3];
    entry.copy = fields[4];
    if (HasControlCharacter(entry.source) || HasControlCharacter(entry.copy) || !IsAbsolute(entry.source) ||
        !IsCopyNameOf(entry.source, entry.copy)) {
        error = FormatString("line %u does not name a file and a copy beside it", static_cast<unsigned>(lineNumber));
        return false;
    }
    return true;
}

bool COffCycleJournal::Parse(const std::string& text, std::vector<Entry>& entries, std::string* error,
                             bool* applyStarted) {
    std::string ignored;
    if (!error) error = &ignored;
    entries.clear();
    if (applyStarted) *applyStarted = false;
    bool applying = false;
    std::vector<Entry> parsed;
    size_t pos = 0;
    size_t lineNumber = 0;
    bool ended = false;
    while (pos < text.size()) {
        size_t newline = text.find('\n', pos);
        if (newline == std::string::npos) {
            *error = "the last line is incomplete";
            return false;
        }
        const size_t lineStart = pos;
        std::string line = text.substr(pos, newline - pos);
        pos = newline + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        ++lineNumber;
        if (ended) {
            *error = "text follows the end line";
            return false;
        }
        if (lineNumber == 1) {
            if (line != kHeader) {
                *error = "the first line is not the journal header";
                return false;
            }
            continue;
        }
        if (line == kApplyingLine) {
            applying = true;
            continue;
        }
        if (applying && line.compare(0, 4, "end\t") != 0) {
            *error = FormatString("line %u follows the applying line", static_cast<unsigned>(lineNumber));
            return false;
        }
        const std::vector<std::string> fields = SplitFields(line);
        if (fields[0] == "end") {
            uint64_t count = 0;
            if (fields.size() != 3 || !ParseSize(fields[1], &count) || count != parsed.size()) {
                *error = FormatString("line %u: the end line does not count the %u file lines",
                                      static_cast<unsigned>(lineNumber), static_cast<unsigned>(parsed.size()));
                return false;
            }
            if (fields[2] != HashBytes(text.data(), lineStart)) {
                *error = "the checksum of the end line does not match the text";
                return false;
            }
            ended = true;
            continue;
        }
        Entry entry;
        if (!ParseFileLine(fields, lineNumber, entry, *error)) return false;
        parsed.push_back(std::move(entry));
    }
    if (!ended) {
        *error = "the end line is missing";
        return false;
    }
    entries = std::move(parsed);
    if (applyStarted) *applyStarted = applying;
    return true;
}

bool COffCycleJournal::IsTrusted(const std::vector<Entry>& entries, std::string* error) const {
    std::string ignored;
    if (!error) error = &ignored;
    for (const Entry& entry : entries) {
        bool inside = false;
        for (const std::string& folder : m_trustedFolders)
            if (!folder.empty() && CPathRules::IsInsideFolder(folder, entry.source)) inside = true;
        if (!inside) {
            *error = FormatString("it names %s, which lies outside the product's folders", entry.source.c_str());
            return false;
        }
        std::string link;
        if (!CPathRules::HasNoReparsePointOnTheWay(entry.copy, &link)) {
            *error = FormatString("the way to %s leads through the link %s", entry.copy.c_str(), link.c_str());
            return false;
        }
        if (!CPathRules::HasNoReparsePointOnTheWay(entry.source, &link)) {
            *error = FormatString("the way to %s leads through the link %s", entry.source.c_str(), link.c_str());
            return false;
        }
    }
    return true;
}

namespace {

void RemoveStaleScratch(const std::string& scratch) {
    FileHandle file(::CreateFileA(scratch.c_str(), DELETE | FILE_READ_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file || !CLinkSafeFile::IsPlainFileAt(file.Get(), scratch)) return;
    FILE_DISPOSITION_INFO disposition = {TRUE};
    ::SetFileInformationByHandle(file.Get(), FileDispositionInfo, &disposition, sizeof(disposition));
}

}  // namespace

bool COffCycleJournal::Write(const std::vector<Entry>& entries, std::string* error, bool applyStarted) const {
    std::string ignored;
    if (!error) error = &ignored;
    if (!IsEnabled()) {
        *error = "no update log folder";
        return false;
    }
    const std::string path = Path();
    std::string scratch = path + ".new";
    const std::string text = Format(entries, applyStarted);
    // A scratch file left by a run that was killed while writing it goes first, through its
    // own handle and only when it is a plain file there; anything else keeps its place.
    RemoveStaleScratch(scratch);
    {
        // The scratch file is always created new: one that is still there (a link put in its
        // place) is neither written through nor deleted, another name is taken.
        FileHandle file(
            ::CreateFileA(scratch.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        for (unsigned attempt = 1; !file && ::GetLastError() == ERROR_FILE_EXISTS && attempt < 16; ++attempt) {
            scratch = FormatString("%s.new-%lu-%u", path.c_str(), ::GetCurrentProcessId(), attempt);
            file.Reset(
                ::CreateFileA(scratch.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        }
        if (!file) {
            const DWORD code = ::GetLastError();
            *error = FormatString("cannot create %s: %s[%lu]", scratch.c_str(), SystemErrorText(code).c_str(), code);
            return false;
        }
        DWORD written = 0;
        const bool ok = ::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                        written == text.size() && ::FlushFileBuffers(file.Get());
        if (!ok) {
            const DWORD code = ::GetLastError();
            file.Reset();
            ::DeleteFileA(scratch.c_str());
            *error = FormatString("cannot write %s: %s[%lu]", scratch.c_str(), SystemErrorText(code).c_str(), code);
            return false;
        }
    }
    if (!::MoveFileExA(scratch.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD code = ::GetLastError();
        ::DeleteFileA(scratch.c_str());
        *error = FormatString("cannot move %s to %s: %s[%lu]", scratch.c_str(), path.c_str(),
                              SystemErrorText(code).c_str(), code);
        return false;
    }
    return true;
}

COffCycleJournal::ReadResult COffCycleJournal::Read(std::vector<Entry>& entries, std::string* error,
                                                    bool* applyStarted) const {
    std::string ignored;
    if (!error) error = &ignored;
    entries.clear();
    if (applyStarted) *applyStarted = false;
    if (!IsEnabled()) return ReadResult::kNone;
    const std::string path = Path();
    FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return ReadResult::kNone;
        *error = FormatString("cannot open it: %s[%lu]", SystemErrorText(code).c_str(), code);
        return ReadResult::kUnreadable;
    }
    // A journal that is a link is not one this program wrote (it writes a new file each time).
    std::string why;
    if (!CLinkSafeFile::IsPlainFileAt(file.Get(), path, &why)) {
        *error = "it is not a plain file: " + why;
        return ReadResult::kUnreadable;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0 ||
        static_cast<uint64_t>(size.QuadPart) > kMaxJournalBytes) {
        *error = "its size cannot be read or is too large";
        return ReadResult::kUnreadable;
    }
    std::string text(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!text.empty() &&
        (!::ReadFile(file.Get(), &text[0], static_cast<DWORD>(text.size()), &got, nullptr) || got != text.size())) {
        *error = "it cannot be read to its end";
        return ReadResult::kUnreadable;
    }
    return Parse(text, entries, error, applyStarted) ? ReadResult::kRead : ReadResult::kUnreadable;
}

bool COffCycleJournal::Remove() const {
    if (!IsEnabled()) return true;
    const std::string path = Path();
    if (::DeleteFileA(path.c_str())) return true;
    const DWORD code = ::GetLastError();
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

std::string COffCycleJournal::SetAside(const char* reason) const {
    if (!IsEnabled()) return std::string();
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    const std::string path = Path();
    const std::string base = path.substr(0, path.size() - 4);  // without ".txt"
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        std::string aside = FormatString("%s-%s-%04u%02u%02u%02u%02u%02u", base.c_str(), reason ? reason : "kept",
                                         now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
        if (attempt > 0) aside += FormatString("-%u", attempt);
        aside += ".txt";
        if (::MoveFileExA(path.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH)) return aside;
        const DWORD code = ::GetLastError();
        if (code != ERROR_ALREADY_EXISTS && code != ERROR_FILE_EXISTS) break;
    }
    return std::string();
}

COffCycleJournal::Observation COffCycleJournal::Observe(const Entry& entry) {
    Observation seen;
    uint64_t size = 0;
    std::string hash;
    seen.copyExists = FileExists(entry.copy);
    if (seen.copyExists) {
        seen.copyReadable = HashFile(entry.copy, &size, &hash, &seen.copyError);
        seen.copyAsSaved = seen.copyReadable && size == entry.size && hash == entry.hash;
    }
    seen.sourceAsSaved = HashFile(entry.source, &size, &hash, nullptr) && size == entry.size && hash == entry.hash;
    return seen;
}

std::vector<COffCycleJournal::Step> COffCycleJournal::PlanReplay(const std::vector<Entry>& entries,
                                                                 const std::vector<Observation>& observed,
                                                                 bool applyStarted) {
    std::vector<Step> plan;
    plan.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry& entry = entries[i];
        const Observation seen = i < observed.size() ? observed[i] : Observation();
        Step step;
        step.entry = entry;
        const char* source = entry.source.c_str();
        const char* copy = entry.copy.c_str();
        if (seen.copyExists && !seen.copyReadable) {
            step.action = Action::kLeaveAlone;
            step.logLine =
                FormatString("In COffCycleJournal::Replay, cannot read the copy %s of %s: %s[%lu], left alone", copy,
                             source, SystemErrorText(seen.copyError).c_str(), seen.copyError);
        } else if (seen.copyExists && seen.copyAsSaved && applyStarted) {
            step.action = Action::kRestore;
            step.logLine = FormatString("In COffCycleJournal::Replay, restored %s from %s", source, copy);
        } else if (seen.copyExists && seen.copyAsSaved) {
            // The run ended before Windows Installer was called: the file was never patched,
            // and whatever changed it since is not for the copy to undo.
            step.action = Action::kDeleteUnusedCopy;
            step.logLine = FormatString(
                "In COffCycleJournal::Replay, the interrupted run ended before the patch was applied: %s is left as "
                "it is, its copy %s was deleted",
                source, copy);
        } else if (seen.copyExists && seen.sourceAsSaved) {
            // A copy cut short by the interruption is of no use once the file itself is
            // still what was saved.
            step.action = Action::kDeleteIncompleteCopy;
            step.logLine = FormatString(
                "In COffCycleJournal::Replay, %s is as it was saved, its incomplete copy %s was deleted", source, copy);
        } else if (seen.copyExists) {
            step.action = Action::kLeaveAlone;
            step.logLine = FormatString(
                "In COffCycleJournal::Replay, the copy %s is not what was saved of %s (%llu bytes, %s expected), left "
                "alone",
                copy, source, static_cast<unsigned long long>(entry.size), entry.hash.c_str());
        } else if (seen.sourceAsSaved) {
            // No copy: the file was put back before the run ended, or never copied.
            step.action = Action::kNothing;
            step.logLine =
                FormatString("In COffCycleJournal::Replay, %s is as it was saved, no copy to restore", source);
        } else {
            step.action = Action::kLeaveAlone;
            step.logLine = FormatString(
                "In COffCycleJournal::Replay, the copy %s of %s is missing and the file is not what was saved, left "
                "alone",
                copy, source);
        }
        plan.push_back(std::move(step));
    }
    return plan;
}

void COffCycleJournal::ReportUnreadable(const std::string& why, ReplayOutcome& outcome, Logger logger) const {
    outcome.unreadable = true;
    outcome.keptAs = SetAside("unreadable");
    const std::string text = FormatString(
        "Patch: In COffCycleJournal::Replay, the off-cycle journal %s left by an interrupted run cannot be read "
        "(%s); nothing was restored from it, it was set aside as %s",
        Path().c_str(), why.c_str(), outcome.keptAs.empty() ? "(could not be moved)" : outcome.keptAs.c_str());
    Log(logger, text);
    InstallTracker::Instance().SendTrackingMessage(1, text.c_str(), true);
}

std::string COffCycleJournal::SetAsideUntrusted(const std::string& folder, Logger logger) {
    const COffCycleJournal untrusted(folder);
    if (!untrusted.IsEnabled() || !FileExists(untrusted.Path())) return std::string();
    const std::string keptAs = untrusted.SetAside("untrusted");
    const std::string text = FormatString(
        "Patch: In COffCycleJournal::Replay, an off-cycle journal %s lies in a folder that standard users can "
        "change; nothing was done from it, it was set aside as %s",
        untrusted.Path().c_str(), keptAs.empty() ? "(could not be moved)" : keptAs.c_str());
    Log(logger, text);
    InstallTracker::Instance().SendTrackingMessage(1, text.c_str(), true);
    return keptAs;
}

bool COffCycleJournal::CarryOut(const Step& step, ReplayOutcome& outcome, Logger logger) {
    const char* source = step.entry.source.c_str();
    const char* copy = step.entry.copy.c_str();
    switch (step.action) {
        case Action::kRestore:
            if (!::MoveFileExA(copy, source, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
                const DWORD code = ::GetLastError();
                ++outcome.leftAlone;
                Log(logger, FormatString("In COffCycleJournal::Replay, cannot move the copy %s over %s: %s[%lu], left "
                                         "alone",
                                         copy, source, SystemErrorText(code).c_str(), code));
                return false;
            }
            ++outcome.restored;
            return true;
        case Action::kDeleteIncompleteCopy:
        case Action::kDeleteUnusedCopy:
            if (!::DeleteFileA(copy)) {
                const DWORD code = ::GetLastError();
                ++outcome.leftAlone;
                Log(logger, FormatString("In COffCycleJournal::Replay, cannot delete the copy %s of %s: %s[%lu], left "
                                         "alone",
                                         copy, source, SystemErrorText(code).c_str(), code));
                return false;
            }
            if (step.action == Action::kDeleteUnusedCopy)
                ++outcome.unusedCopiesDeleted;
            else
                ++outcome.alreadyInPlace;
            return true;
        case Action::kNothing:
            ++outcome.alreadyInPlace;
            return true;
        case Action::kLeaveAlone:
            ++outcome.leftAlone;
            return true;
    }
    return true;
}

void COffCycleJournal::Finish(ReplayOutcome& outcome, Logger logger) const {
    if (outcome.leftAlone == 0) {
        if (!Remove()) {
            const DWORD code = ::GetLastError();
            Log(logger, FormatString("In COffCycleJournal::Replay, cannot delete the journal %s: %s[%lu]",
                                     Path().c_str(), SystemErrorText(code).c_str(), code));
        }
    } else {
        outcome.keptAs = SetAside("kept");
    }
    std::string text = FormatString(
        "Patch: In COffCycleJournal::Replay, an interrupted run left off-cycle copies: %d restored, %d already in "
        "place, %d left alone",
        outcome.restored, outcome.alreadyInPlace, outcome.leftAlone);
    if (outcome.unusedCopiesDeleted > 0)
        text += FormatString(", %d deleted (the patch had not been applied)", outcome.unusedCopiesDeleted);
    if (outcome.leftAlone > 0)
        text += FormatString("; the journal was set aside as %s",
                             outcome.keptAs.empty() ? "(could not be moved)" : outcome.keptAs.c_str());
    Log(logger, text);
    InstallTracker::Instance().SendTrackingMessage(1, text.c_str(), true);
}

COffCycleJournal::ReplayOutcome COffCycleJournal::Replay(Logger logger) const {
    ReplayOutcome outcome;
    std::vector<Entry> entries;
    std::string error;
    bool applyStarted = false;
    const ReadResult read = Read(entries, &error, &applyStarted);
    if (read == ReadResult::kNone) return outcome;
    outcome.found = true;
    const std::string path = Path();
    if (read == ReadResult::kUnreadable || !IsTrusted(entries, &error)) {
        ReportUnreadable(error, outcome, logger);
        return outcome;
    }

    Log(logger, FormatString("In COffCycleJournal::Replay, an interrupted run left the off-cycle journal %s naming %u "
                             "file(s)",
                             path.c_str(), static_cast<unsigned>(entries.size())));
    std::vector<Observation> observed;
    observed.reserve(entries.size());
    for (const Entry& entry : entries) observed.push_back(Observe(entry));

    for (const Step& step : PlanReplay(entries, observed, applyStarted))
        if (CarryOut(step, outcome, logger)) Log(logger, step.logLine);
    Finish(outcome, logger);
    return outcome;
}

}  // namespace tw
