#include "common/PathRules.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace tw {
namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsDeviceDigit(unsigned char c) {
    // 0-9, and the superscript one, two and three of the ANSI code page, which Windows reads
    // as the same digits in device names.
    return (c >= '0' && c <= '9') || c == 0xB9 || c == 0xB2 || c == 0xB3;
}

bool IsDriveRoot(const std::string& text) { return text.size() == 3 && text[1] == ':' && text[2] == '\\'; }

}  // namespace

bool CPathRules::IsDeviceName(const std::string& name) {
    // The device is named by the part before the first dot, dots and spaces at its end dropped.
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && (stem.back() == ' ' || stem.back() == '.')) stem.pop_back();
    for (char& c : stem) c = Upper(c);
    static const char* const kNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    for (const char* device : kNames)
        if (stem == device) return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
           IsDeviceDigit(static_cast<unsigned char>(stem[3]));
}

bool CPathRules::IsSafeName(const std::string& name) {
    if (name.empty() || name.back() == '.' || name.back() == ' ') return false;
    for (char ch : name) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x20 || std::strchr("\\/:*?\"<>|", c)) return false;
    }
    return !IsDeviceName(name);
}

bool CPathRules::IsSafeRelativePath(const std::string& text) {
    if (text.empty()) return false;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find('\\', start);
        if (!IsSafeName(text.substr(start, end == std::string::npos ? std::string::npos : end - start))) return false;
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}

std::string CPathRules::Normalise(const std::string& path) {
    if (path.empty()) return std::string();
    std::string text = path;
    for (char& c : text)
        if (c == '/') c = '\\';
    const DWORD size = ::GetFullPathNameA(text.c_str(), 0, nullptr, nullptr);
    if (size > 0) {
        std::vector<char> buffer(size + 1);
        const DWORD written =
            ::GetFullPathNameA(text.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        if (written > 0 && written < buffer.size()) text.assign(buffer.data(), written);
    }
    // "C:\" stays as it is: without its backslash it would name the drive's current folder.
    while (text.size() > 1 && text.back() == '\\' && !IsDriveRoot(text)) text.pop_back();
    return text;
}

bool CPathRules::IsSamePath(const std::string& first, const std::string& second) {
    const std::string a = Normalise(first);
    const std::string b = Normalise(second);
    return !a.empty() && ::_stricmp(a.c_str(), b.c_str()) == 0;
}

bool CPathRules::IsInsideFolder(const std::string& folder, const std::string& path) {
    const std::string base = Normalise(folder);
    const std::string full = Normalise(path);
    if (base.empty() || full.size() <= base.size()) return false;
    if (::_strnicmp(full.c_str(), base.c_str(), base.size()) != 0) return false;
    return base.back() == '\\' || full[base.size()] == '\\';
}

bool CPathRules::IsNameInsideFolder(const std::string& folder, const std::string& name) {
    if (folder.empty() || !IsSafeRelativePath(name)) return false;
    const bool separated = folder.back() == '\\' || folder.back() == '/';
    return IsInsideFolder(folder, separated ? folder + name : folder + '\\' + name);
}

bool CPathRules::HasNoReparsePointOnTheWay(const std::string& path, std::string* where) {
    const std::string full = Normalise(path);
    if (full.empty()) return true;
    // The levels below the root: "C:\a", "C:\a\b", ...; for "\\server\share\..." the share
    // is the root.
    size_t position = 0;
    if (full.size() >= 3 && full[1] == ':' && full[2] == '\\') {
        position = 3;
    } else if (full.compare(0, 2, "\\\\") == 0) {
        position = full.find('\\', 2);
        position = position == std::string::npos ? full.size() : full.find('\\', position + 1);
        if (position == std::string::npos) position = full.size();
    }
    while (position < full.size()) {
        size_t end = full.find('\\', position);
        if (end == std::string::npos) end = full.size();
        const std::string level = full.substr(0, end);
        const DWORD attributes = ::GetFileAttributesA(level.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return true;  // nothing deeper exists either
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            if (where) *where = level;
            return false;
        }
        position = end + 1;
    }
    return true;
}

unsigned long CPathRules::EntryAttributes(const std::string& path) {
    // With a closing backslash the query may answer for the folder a link points to.
    std::string entry = path;
    while (entry.size() > 1 && entry.back() == '\\' && entry[entry.size() - 2] != ':') entry.pop_back();
    return ::GetFileAttributesA(entry.c_str());
}

bool CPathRules::IsReparsePoint(const std::string& path) {
    const DWORD attributes = EntryAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace tw
