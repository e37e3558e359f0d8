#include "common/UpdateLogFolderGuard.h"

#include <windows.h>
#include <shlobj.h>

#include "common/TestSupport.h"
#include "common/TextUtil.h"

namespace twtest {

UpdateLogFolderGuard::UpdateLogFolderGuard() {
    char base[MAX_PATH] = "";
    ::SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base);
    std::string path = base;
    for (const char* level : {"\\Common Files", "\\Veltra", "\\Tallyworks", "\\twupdate", "\\Log"}) {
        path += level;
        m_levels.push_back({path, FileExists(path)});
    }
    folder = path;
    for (const char* name : {"Patch.log", "Temp.log"}) {
        std::string file = folder + "\\" + name;
        m_files.push_back({file, FileExists(file), ReadTextFile(file)});
        ::DeleteFileA(file.c_str());
    }
}

UpdateLogFolderGuard::~UpdateLogFolderGuard() {
    for (const File& f : m_files) {
        if (f.existed)
            WriteTextFile(f.path, f.content);
        else
            ::DeleteFileA(f.path.c_str());
    }
    for (auto it = m_levels.rbegin(); it != m_levels.rend(); ++it)
        if (!it->existed) ::RemoveDirectoryA(it->path.c_str());
}

std::vector<std::string> UpdateLogFolderGuard::Records() const {
    const std::string text = ReadTextFile(folder + "\\Patch.log");
    std::vector<std::string> lines;
    for (std::string& line : tw::SplitLines(text))
        if (!line.empty()) lines.push_back(std::move(line));
    return lines;
}

}  // namespace twtest
