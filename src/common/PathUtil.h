#pragma once
// Joining folder and file names. Folders come from the command line, the registry and
// patch.ini, with or without a closing backslash (some with a forward slash).

#include <string>

namespace tw {

inline bool EndsWithSeparator(const std::string& path) {
    return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

// folder + "\" + name, without doubling a separator the folder already ends with. An empty
// folder gives the name alone.
inline std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return EndsWithSeparator(folder) ? folder + name : folder + '\\' + name;
}

// The folder of a file path with its trailing backslash; empty when there is none.
inline std::string FolderOf(const char* path) {
    const std::string text(path ? path : "");
    const size_t cut = text.find_last_of('\\');
    return cut == std::string::npos ? std::string() : text.substr(0, cut + 1);
}

}  // namespace tw
