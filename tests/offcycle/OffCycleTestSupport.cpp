#include "OffCycleTestSupport.h"

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "common/Handles.h"
#include "logging/InstallTracker.h"

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

void LetErrorMessagesThrough() {
    tw::InstallTracker::Instance().SetCountry("US");
    tw::InstallTracker::Instance().SetServer("");
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

namespace {
const char kSession[] = "System\\CurrentControlSet\\Control\\Session Manager";
const char kPending[] = "PendingFileRenameOperations";
}  // namespace

PendingRenamesGuard::PendingRenamesGuard() { m_existed = Read(m_before); }

PendingRenamesGuard::~PendingRenamesGuard() {
    tw::RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSession, 0, KEY_SET_VALUE, key.Put()) != ERROR_SUCCESS) return;
    if (m_existed)
        RegSetValueExA(key.Get(), kPending, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(m_before.data()),
                       static_cast<DWORD>(m_before.size()));
    else
        RegDeleteValueA(key.Get(), kPending);
}

std::string PendingRenamesGuard::Current() {
    std::string raw;
    if (!Read(raw)) return "";
    std::replace(raw.begin(), raw.end(), '\0', '|');
    return raw;
}

bool PendingRenamesGuard::Read(std::string& out) {
    tw::RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSession, 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS) return false;
    DWORD size = 0, type = 0;
    if (RegQueryValueExA(key.Get(), kPending, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    out.assign(size, '\0');
    if (size &&
        RegQueryValueExA(key.Get(), kPending, nullptr, &type, reinterpret_cast<BYTE*>(&out[0]), &size) != ERROR_SUCCESS)
        return false;
    out.resize(size);
    return true;
}

}  // namespace octest
