#include "logging/TWPatchLogUtil.h"

#include <windows.h>
#include <shlobj.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/Handles.h"
#include "common/LinkSafeFile.h"
#include "common/PathUtil.h"
#include "common/PlatformSeams.h"
#include "common/ProcessState.h"
#include "common/ProductConstants.h"
#include "common/RunState.h"
#include "common/TextUtil.h"
#include "common/ModuleVersion.h"
#include "sysinfo/OSInfo.h"

namespace tw {

namespace {

std::string& ProductPath() {
    static std::string path;
    return path;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A string value of an open key; false when it is missing or not a string.
bool ReadStringValue(HKEY key, const char* name, std::string& out) {
    char buffer[1040] = {};
    DWORD size = sizeof(buffer) - 1;
    DWORD type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
        return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    buffer[size < sizeof(buffer) ? size : sizeof(buffer) - 1] = '\0';
    out = buffer;
    return true;
}

// Names of the subkeys of an open key, in enumeration order.
std::vector<std::string> SubkeyNames(HKEY key) {
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD length = sizeof(name);
        LONG rc = RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA) continue;
        if (rc != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    return names;
}

}  // namespace

void TWPatchLogUtil::SetProductPath(const char* productDir) { ProductPath() = productDir ? productDir : ""; }

namespace {
[[maybe_unused]] const bool g_resetRegistered =
    RegisterProcessStateReset(ProcessLayer::Logging, [] { ProductPath().clear(); });
}  // namespace

const std::string& TWPatchLogUtil::GetProductPath() { return ProductPath(); }

TWPatchLogUtil::TWPatchLogUtil() {
    m_logFolder = BuildLogFolder();
    m_osFlag = COSInfo::GetMajorVersion() > 5;
    ReadProductVersion();
    FindProductFlavor();
    ChooseChannel(CRunState::Get().commandLineGiven);
}

TWPatchLogUtil::~TWPatchLogUtil() = default;

std::string TWPatchLogUtil::BuildLogFolder() {
    char base[MAX_PATH] = "";
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base)))
        return std::string();
    std::string folder = base;
    bool available = false;
    // "Common Files" is created as a level of its own: on a machine without it the folder
    // would otherwise never become available and every record would be lost.
    for (const char* level : {"\\Common Files", "\\Veltra", "\\Tallyworks", "\\twupdate", "\\Log"}) {
        folder += level;
        available = CreateDirectoryA(folder.c_str(), nullptr) || GetLastError() != ERROR_PATH_NOT_FOUND;
    }
    return available ? folder : std::string();
}

void TWPatchLogUtil::SplitFileVersion(const std::string& fileVersion, std::string& major, std::string& slipStream) {
    size_t blank = fileVersion.find(' ');
    major = fileVersion.substr(0, blank);
    size_t d = major.find_first_of("dD");
    if (d != std::string::npos) major.erase(d);
    slipStream = blank == std::string::npos ? std::string() : fileVersion.substr(blank + 1);
    size_t w = slipStream.find_first_of("wW");
    if (w != std::string::npos) slipStream.erase(w, 1);
}

bool TWPatchLogUtil::ReadVersionOf(const std::string& exePath) {
    CModuleVersion version;
    if (!version.GetFileVersionInfo(exePath.c_str())) return false;
    SplitFileVersion(version.GetValue("FileVersion"), m_productMajor, m_slipStream);
    return true;
}

void TWPatchLogUtil::ReadProductVersion() {
    const std::string dir = ProductPath();
    if (!dir.empty() && ReadVersionOf(JoinPath(dir, m_productExe))) return;
    if (ReadVersionThroughPatchIni()) return;
    m_productMajor.clear();
    m_slipStream.clear();
}

// Without a readable product executable: "Patch.ini" of the current folder names the
// product title and version, and the product's registry branch of that version names the
// executable through a flavor's "Path" value.
bool TWPatchLogUtil::ReadVersionThroughPatchIni() {
    char current[MAX_PATH] = "";
    DWORD n = GetCurrentDirectoryA(sizeof(current), current);
    if (n == 0 || n >= sizeof(current)) return false;
    const std::string ini = JoinPath(current, "Patch.ini");

    char title[99] = "";
    char fileVersion[99] = "";
    GetPrivateProfileStringA("Title", "Product", "", title, sizeof(title), ini.c_str());
    GetPrivateProfileStringA("PatchConfig", "TWFileVersion", "", fileVersion, sizeof(fileVersion), ini.c_str());
    if (fileVersion[0] == '\0') return false;
    bool topEdition = Lower(title).find("enterprise") != std::string::npos;

    RegKey branch;
    std::string branchPath = std::string(product::kRegistryBranch) + "\\" + fileVersion;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, branchPath.c_str(), 0, KEY_READ, branch.Put()) != ERROR_SUCCESS) return false;
    for (const std::string& name : SubkeyNames(branch.Get())) {
        if (topEdition && name.compare(0, m_editionCode.size(), m_editionCode) != 0) continue;
        RegKey flavor;
        if (RegOpenKeyExA(branch.Get(), name.c_str(), 0, KEY_READ, flavor.Put()) != ERROR_SUCCESS) continue;
        std::string path;
        if (!ReadStringValue(flavor.Get(), "Path", path)) continue;
        if (Lower(path).find("tww32.exe") == std::string::npos) continue;
        if (ReadVersionOf(path)) return true;
    }
    return false;
}

void TWPatchLogUtil::FindProductFlavor() {
    m_flavor = m_defaultFlavor;
    const std::string dir = ProductPath();
    if (dir.empty()) return;
    const std::string wanted = Lower(JoinPath(dir, m_productExe));

    RegKey branch;
    std::string branchPath = std::string(product::kRegistryBranch) + "\\" + m_productMajor;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, branchPath.c_str(), 0, KEY_READ, branch.Put()) != ERROR_SUCCESS) return;
    for (const std::string& name : SubkeyNames(branch.Get())) {
        RegKey flavor;
        if (RegOpenKeyExA(branch.Get(), name.c_str(), 0, KEY_READ, flavor.Put()) != ERROR_SUCCESS) continue;
        std::string path;
        if (ReadStringValue(flavor.Get(), "Path", path) && Lower(path) == wanted) {
            m_flavor = name;
            return;
        }
    }
}

void TWPatchLogUtil::ChooseChannel(bool commandLineGiven) {
    bool topEdition = m_flavor.find(m_editionCode) != std::string::npos;
    if (topEdition)
        m_channel = commandLineGiven ? m_channelNames[1] : m_channelNames[3];
    else
        m_channel = commandLineGiven ? m_channelNames[0] : m_channelNames[2];
}

std::string TWPatchLogUtil::GetVersionText() const {
    std::string text = "TWUpdate/";
    if (!m_productMajor.empty()) text += m_productMajor + "/" + m_slipStream + "/" + m_flavor;
    return text;
}

uint32_t TWPatchLogUtil::ReadRunNumber(const std::string& versionText) const {
    if (m_logFolder.empty()) return 1;
    CFile file(std::fopen((m_logFolder + "\\" + m_recordLogName).c_str(), "r"));
    if (!file) return 1;
    uint32_t count = 0;
    std::vector<char> line(m_lineBufferSize);
    while (count < 6 && std::fgets(line.data(), static_cast<int>(line.size()), file.Get())) {
        // The version follows the first ";" and its "ver-" key, up to the next ";".
        const char* semicolon = std::strchr(line.data(), ';');
        if (!semicolon || std::strlen(semicolon + 1) < 4) continue;
        std::string rest = semicolon + 1 + 4;
        size_t end = rest.find(';');
        if (end != std::string::npos) rest.erase(end);
        char word[41] = "";
        if (std::sscanf(rest.c_str(), "%40s", word) != 1) continue;
        if (versionText == word) ++count;
    }
    return count + 1;
}

std::unique_ptr<PatchStatusRecord> TWPatchLogUtil::CreateStatusRecord(bool commandLineGiven) {
    auto record = std::make_unique<PatchStatusRecord>();
    record->StampStartTime();
    record->SetVersionText(GetVersionText());
    record->SetOsFlag(m_osFlag ? 1 : 0);
    record->SetBackground(commandLineGiven ? 1 : 0);
    record->SetChannel(m_channel);
    record->SetRunNumber(ReadRunNumber(record->GetVersionText()));
    record->SetErrorCode(0);
    return record;
}

void TWPatchLogUtil::FinishStatusRecord(PatchStatusRecord& record, uint32_t exitCode) {
    record.StampEndTime();
    record.SetErrorCode(exitCode);
    WriteStatusRecord(record);
}

void TWPatchLogUtil::WriteStatusRecord(PatchStatusRecord& record) const {
    // Without the update log folder there is nowhere to write (a bare "\Patch.log" would
    // land in the root of the current drive).
    if (m_logFolder.empty()) return;
    // Record files that are links to other files are replaced, not followed.
    CFile temp(CLinkSafeFile::OpenForAppend(m_logFolder + "\\" + m_tempRecordLogName, "a"));
    CFile patch(CLinkSafeFile::OpenForAppend(m_logFolder + "\\" + m_recordLogName, "a"));
    if (!temp || !patch || record.GetRunNumber() > kMaxRecordsPerVersion) return;
    const std::string& text = record.FormatRecordText();
    std::fprintf(patch.Get(), "%s\n", text.c_str());
    std::fputs(text.c_str(), temp.Get());
}

}  // namespace tw
