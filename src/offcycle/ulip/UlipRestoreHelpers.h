#pragma once
// Limits and small helpers shared by the source files of the ULIP restore.

#include <windows.h>
#include <shlobj.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "common/ProductConstants.h"

namespace tw {
namespace ulip {

// Fixed buffer sizes of the restore: a file text, a path built from folders and names.
constexpr size_t kFileTextLimit = 259;
constexpr size_t kPathLimit = 519;
// How deep a folder being emptied is descended into.
constexpr int kMaxFolderDepth = 32;
// How often a module snapshot is retried while the process is still starting.
constexpr int kSnapshotAttempts = 5;
// Upper bound of a value read from ULIP.ini.
constexpr DWORD kProfileValueLimit = 1u << 20;

inline const char kUlipIniSection[] = "ULIPApplicability";

// A value of an INI file in a buffer that starts at 512 bytes and grows by 512 while the value
// may have been cut.
inline std::string ReadGrowingProfileString(const char* section, const char* key, const char* path) {
    std::vector<char> buffer;
    for (DWORD size = 512; size <= kProfileValueLimit; size += 512) {
        buffer.assign(size, '\0');
        DWORD length = ::GetPrivateProfileStringA(section, key, "", buffer.data(), size, path);
        if (length < size - 2) return std::string(buffer.data(), length);
    }
    return std::string(buffer.data());
}

inline std::vector<std::string> SplitAtCommas(const std::string& text) {
    std::vector<std::string> pieces;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        pieces.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) return pieces;
        start = comma + 1;
    }
}

inline std::string WithBackslash(const std::string& folder) {
    return !folder.empty() && folder.back() == '\\' ? folder : folder + '\\';
}

// The system's common program folder of the given kind followed by the product's folder;
// empty when the shell does not know it.
inline std::string CommonProgramFolder(int csidl) {
    char folder[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder)) || folder[0] == '\0')
        return std::string();
    return WithBackslash(folder) + product::kMakerName + "\\" + product::kProductName + "\\";
}

inline const char* const kAcceptedBases[] = {"INSTALLDIR", "INSTALLDIR32BIT", "CommonAppDataFolder32Bit",
                                             "CommonAppDataFolder"};

inline bool IsOneOf(const std::wstring& text, std::initializer_list<const wchar_t*> values) {
    for (const wchar_t* value : values)
        if (text == value) return true;
    return false;
}

}  // namespace ulip
}  // namespace tw
