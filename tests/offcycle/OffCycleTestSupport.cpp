#include "OffCycleTestSupport.h"

#include <windows.h>

#include <fstream>
#include <iterator>

#include "common/Handles.h"

namespace octest {

std::vector<std::string>& Lines() {
    static std::vector<std::string> lines;
    return lines;
}

void RecordLine(const char* line) { Lines().push_back(line ? line : "(null)"); }

size_t CountLines(const std::string& text) {
    size_t n = 0;
    for (const auto& line : Lines())
        if (line.find(text) != std::string::npos) ++n;
    return n;
}

std::vector<std::string> LinesStartingWith(const std::string& text) {
    std::vector<std::string> out;
    for (const auto& line : Lines())
        if (line.compare(0, text.size(), text) == 0) out.push_back(line);
    return out;
}

std::string OffCycleManifest(const std::string& items, const std::string& type, int version) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<manifest>\r\n  <identity>\r\n    <type>" + type +
           "</type>\r\n    <version>" + std::to_string(version) +
           "</version>\r\n    <channel>release</channel>\r\n  </identity>\r\n" + items + "</manifest>\r\n";
}

std::string Item(const std::string& feature, const std::string& file, const std::string& base) {
    return "  <item>\r\n    <file base=\"" + base + "\">" + file + "</file>\r\n    <feature>" + feature +
           "</feature>\r\n    <action from=\"\">modify</action>\r\n  </item>\r\n";
}

bool WriteBinaryFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::string ReadBinaryFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    tw::FindHandle find(FindFirstFileA((folder + "\\*").c_str(), &data));
    if (!find) return names;
    do {
        std::string name = data.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(find.Get(), &data));
    return names;
}

}  // namespace octest
