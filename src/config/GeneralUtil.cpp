#include "config/GeneralUtil.h"

#include <cstring>

#include "common/PathRules.h"
#include "common/PathUtil.h"
#include "common/PlatformSeams.h"
#include "common/RunState.h"
#include "common/TextUtil.h"
#include "config/ConfigNotes.h"
#include "logging/StatusLogMgr.h"
#include "common/Resource.h"
#include "common/StringTable.h"

namespace tw {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

void TrimRight(std::string& text) {
    size_t end = text.size();
    while (end > 0 && IsBlank(text[end - 1])) --end;
    text.erase(end);
}

void TrimLeft(std::string& text) {
    size_t start = 0;
    while (start < text.size() && IsBlank(text[start])) ++start;
    text.erase(0, start);
}

}  // namespace

constexpr const char GeneralUtil::kProgramErrorText[];
constexpr const char GeneralUtil::kSevereErrorTitle[];

char* GeneralUtil::GetFullFilePathName(const char* folder, const char* fileName, char* out, size_t cap) {
    CConfigNotes notes;
    char* result = GetFullFilePathName(folder, fileName, out, cap, notes);
    notes.Announce();
    return result;
}

char* GeneralUtil::GetFullFilePathName(const char* folder, const char* fileName, char* out, size_t cap,
                                       CConfigNotes& notes) {
    if (!folder) folder = "";
    if (!fileName) fileName = "";
    if (!out || cap == 0 || (*folder == '\0' && *fileName == '\0')) {
        notes.Log(
            "In GeneralUtil::GetFullFilePathName, directory and file name not given or full file path name not "
            "allocated memory!");
        return nullptr;
    }
    out[0] = '\0';
    if (!SafeCopy(out, cap, JoinPath(folder, fileName).c_str())) {
        notes.LogF("In GeneralUtil::GetFullFilePathName, the full file path name is longer than %u characters.",
                   static_cast<unsigned>(cap - 1));
        out[0] = '\0';
        return nullptr;
    }
    return out;
}

char* GeneralUtil::GetDirNameForGivenPathFileName(char* path) {
    if (!path || *path == '\0') {
        StatusLogMgr::LogStatus("In GeneralUtil::GetDirNameForGivenPathFileName, the full path file name not given!");
        return nullptr;
    }
    char* last = std::strrchr(path, '\\');
    if (!last) return nullptr;
    *last = '\0';
    return path;
}

std::string GeneralUtil::NormalisePath(const char* path) { return CPathRules::Normalise(path ? path : ""); }

bool GeneralUtil::IsSamePath(const char* first, const char* second) {
    return CPathRules::IsSamePath(first ? first : "", second ? second : "");
}

bool GeneralUtil::IsNameInsideFolder(const char* folder, const char* fileName) {
    if (!folder || !fileName) return false;
    // Names in patch.ini are written by hand, with either separator; Windows reads both alike.
    std::string name = fileName;
    for (char& c : name)
        if (c == '/') c = '\\';
    return CPathRules::IsNameInsideFolder(folder, name);
}

void GeneralUtil::StripEnclosingQuotes(char* text) {
    if (!text) return;
    const size_t length = std::strlen(text);
    if (length < 2 || text[0] != '"' || text[length - 1] != '"') return;
    std::memmove(text, text + 1, length - 2);
    text[length - 2] = '\0';
}

void GeneralUtil::TrimBlanks(char* text) {
    if (!text) return;
    size_t start = 0;
    while (IsBlank(text[start])) ++start;
    size_t length = std::strlen(text + start);
    if (start > 0) std::memmove(text, text + start, length + 1);
    while (length > 0 && IsBlank(text[length - 1])) text[--length] = '\0';
}

void GeneralUtil::TrimBlanks(std::string& text) {
    TrimLeft(text);
    TrimRight(text);
}

AgentInfo GeneralUtil::SplitAgentValue(const char* value) {
    AgentInfo agent;
    if (!value) return agent;
    std::string rest = value;
    std::optional<std::string>* fields[3] = {&agent.windowClass, &agent.windowTitle, &agent.processName};
    for (int i = 0; i < 3; ++i) {
        size_t comma = rest.find(',');
        if (comma == std::string::npos) {
            *fields[i] = rest;  // no comma left: this field as it stands, the later ones missing
            return agent;
        }
        std::string field = rest.substr(0, comma);
        TrimRight(field);
        *fields[i] = field;
        rest.erase(0, comma + 1);
        TrimLeft(rest);
    }
    agent.displayName = rest;
    return agent;
}

std::string GeneralUtil::ToLower(const std::string& text) {
    std::string lower = text;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

bool GeneralUtil::ContainsNoCase(const std::string& text, const char* lowerWord) {
    return ToLower(text).find(lowerWord) != std::string::npos;
}

void GeneralUtil::ShowSevereError(const char* text) {
    if (!text) return;
    CConfigNotes notes;
    notes.ShowSevereError(text);
    notes.Announce();
}

void GeneralUtil::ShowLowDiskSpaceWarning(unsigned long long freeBytes, const char* installFolder, HWND owner) {
    HINSTANCE module = ResourceModule();
    char title[256] = {};
    char format[512] = {};
    if (::LoadStringA(module, IDS_MSGBOX_TITLE, title, sizeof(title)) == 0) SafeCopy(title, "Tallyworks Update");
    if (::LoadStringA(module, IDS_LOW_DISK_SPACE, format, sizeof(format)) == 0)
        SafeCopy(format,
                 "You have only %ld MBs of free disk space left on drive %c:\nYou need at least %ld MBs of free disk "
                 "space to run the update program.");
    const std::string productDir = CRunState::Get().ProductDir();
    if (!installFolder) installFolder = productDir.c_str();
    char drive = *installFolder ? installFolder[0] : '?';
    long freeMB = static_cast<long>(freeBytes / kDiskSpaceUnitBytes);
    char text[2048];
    // The format comes from the program's own string table.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
    SafeFormat(text, sizeof(text), format, freeMB, drive, kRequiredDiskSpaceMB);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    Platform().ShowMessageBox(owner, text, title, MB_OK | MB_ICONERROR, 0);
    StatusLogMgr::LogStatus(text);
}

}  // namespace tw
