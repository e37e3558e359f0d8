#include "offcycle/ulip/UlipPathRules.h"

#include <windows.h>

#include <cctype>
#include <cstring>
#include <vector>

namespace tw {

namespace {

bool IsDeviceName(const std::string& name) {
    // The device is named by the part before the first dot, trailing spaces ignored.
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (stem == "CON" || stem == "NUL" || stem == "AUX" || stem == "PRN") return true;
    if (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0)) {
        const unsigned char digit = static_cast<unsigned char>(stem[3]);
        // 1-9, and the superscript digits one to three of the ANSI code page.
        return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    }
    return false;
}

// GetFullPathNameA into a string; empty on failure.
std::string FullPath(const std::string& path) {
    DWORD size = ::GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return std::string();
    std::vector<char> buffer(size + 1);
    DWORD written = ::GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (written == 0 || written >= buffer.size()) return std::string();
    return std::string(buffer.data(), written);
}

}  // namespace

bool CUlipPathRules::IsSafeName(const std::string& name) {
    if (name.empty()) return false;
    bool onlyDotsAndSpaces = true;
    for (char ch : name) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 32 || std::strchr("\\/:*?\"<>|", c)) return false;
        if (c != '.' && c != ' ') onlyDotsAndSpaces = false;
    }
    return !onlyDotsAndSpaces && !IsDeviceName(name);
}

bool CUlipPathRules::IsSafeRelativePath(const std::string& text) {
    if (text.empty()) return false;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find('\\', start);
        if (!IsSafeName(text.substr(start, end == std::string::npos ? std::string::npos : end - start))) return false;
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}

bool CUlipPathRules::IsInsideFolder(const std::string& folder, const std::string& path) {
    std::string base = FullPath(folder);
    const std::string full = FullPath(path);
    if (base.empty() || full.empty()) return false;
    if (base.back() != '\\') base += '\\';
    return full.size() > base.size() && ::_strnicmp(full.c_str(), base.c_str(), base.size()) == 0;
}

std::string CUlipPathRules::NameOf(const std::string& path) {
    const size_t cut = path.find_last_of('\\');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool CUlipPathRules::CutExtension(std::string& text) {
    const size_t slash = text.find_last_of('\\');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = text.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart) return false;
    text.resize(dot);
    return true;
}

unsigned long CUlipPathRules::EntryAttributes(const std::string& path) {
    // With a closing backslash the query may answer for the folder a link points to.
    std::string entry = path;
    while (entry.size() > 1 && entry.back() == '\\' && entry[entry.size() - 2] != ':') entry.pop_back();
    return ::GetFileAttributesA(entry.c_str());
}

bool CUlipPathRules::IsReparsePoint(const std::string& path) {
    const DWORD attributes = EntryAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace tw
