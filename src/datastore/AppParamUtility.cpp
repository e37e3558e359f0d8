#include "datastore/AppParamUtility.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <vector>

#include "common/Handles.h"
#include "common/PathUtil.h"
#include "common/ProcessState.h"
#include "common/TextUtil.h"
#include "common/ModuleVersion.h"
#include "datastore/NodeFactory.h"
#include "datastore/TWAppParameterNode.h"
#include "datastore/TWBranchNode.h"
#include "datastore/FlavorWalk.h"
#include "datastore/TWFlavorNode.h"
#include "datastore/TWVersionNode.h"
#include "datastore/ProductInfoReader.h"

namespace tw {

namespace {

constexpr int kFirstEditionExeVersion = 15;  // one product executable per edition
constexpr int kLastSelectableVersion = 999;
constexpr int kVersionBound = 1000;
constexpr size_t kFlavorTextSize = 30;
constexpr char kFlavorDataFile[] = "twf5a86r.dat";

const CAppParamUtility::Edition kEditions[] = {
    {"tw_ember", "ember"},
    {"tw_ember_plus", "emberplus"},
    {"tw_slate", "slate"},
    {"tw_slate_pro", "slatepro"},
    {"tw_harbor", "harbor"},
    {"tw_harbor_net", "harbornet"},
    {"tw_summit", "summit"},
    {"tw_summit_ent", "summitent"},
    {"tw_meadow", "meadow"},
    {"tw_meadow_farm", "meadowfarm"},
    {"tw_cobalt", "cobalt"},
    {"tw_cobalt_mfg", "cobaltmfg"},
    {"tw_quarry", "quarry"},
    {"tw_quarry_con", "quarrycon"},
    {"tw_atlas", "atlas"},
    {"tw_atlas_np", "atlasnp"},
    {"tw_beacon", "beacon"},
    {"tw_beacon_rtl", "beaconrtl"},
    {"tw_cedar", "cedar"},
    {"tw_cedar_pro", "cedarpro"},
    {"tw_delta", "delta"},
    {"tw_delta_acc", "deltaacc"},
    {"tw_kyv", "kyv"},
    {"tw_kyv_pro", "kyvpro"},
    {"tw_orchard", "orchard"},
    {"tw_orchard_wh", "orchardwh"},
    {"tw_pioneer", "pioneer"},
    {"tw_pioneer_svc", "pioneersvc"},
    {"tw_ridge", "ridge"},
    {"tw_ridge_pay", "ridgepay"},
    {"tw_tundra", "tundra"},
    {"tw_tundra_ent", "tundraent"},
    {"tw_vista_gov_fed", "vistagovfed"},
    {"acct_hub_pro", "accthub"},
};
static_assert(sizeof(kEditions) / sizeof(kEditions[0]) == 34, "the edition table has 34 rows");

// Catalogue loading happens once per process once a "CommonFilesPath" value was read.
bool g_catalogueTried = false;

// Outcome of reading the product version text of a file.
enum class VersionRead { Ok, NoInfo, ReadFailed, OutOfMemory, QueryFailed };

VersionRead ReadProductVersion(const char* path, std::string& text) {
    if (!path || !*path) return VersionRead::NoInfo;
    try {
        std::string copy(path);
        DWORD handle = 0;
        if (::GetFileVersionInfoSizeA(copy.c_str(), &handle) == 0) return VersionRead::NoInfo;
        CModuleVersion version;
        if (!version.GetFileVersionInfo(copy.c_str())) return VersionRead::ReadFailed;
        // Only the US English string table in code page 1252 is read, whichever translation
        // the file lists first and even when it lists none.
        text = version.GetValue("ProductVersion", 0x0409, 1252);
        return text.empty() ? VersionRead::QueryFailed : VersionRead::Ok;
    } catch (const std::bad_alloc&) {
        return VersionRead::OutOfMemory;
    }
}

std::vector<std::string> SplitAtSpaces(const std::string& text) {
    std::vector<std::string> tokens;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t start = text.find_first_not_of(' ', pos);
        if (start == std::string::npos) break;
        size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        tokens.push_back(text.substr(start, end - start));
        pos = end;
    }
    return tokens;
}

bool FileFound(const std::string& pattern) {
    WIN32_FIND_DATAA data;
    FindHandle find(::FindFirstFileA(pattern.c_str(), &data));
    return find.IsValid();
}

// Reads "CommonFilesPath" in one registry view; false when the branch or value is missing.
bool ReadCommonFilesPath(TWAccessMode view, std::string& folder) {
    std::unique_ptr<CTWAppParameterNode> common(NodeFactory::OpenBranchNode(TWDataBranch::Common, view, nullptr));
    if (!common) return false;
    const char* value = nullptr;
    if (common->ReadValueData("CommonFilesPath", &value) != kTWDataSuccess || !value) return false;
    folder = value;
    return true;
}

}  // namespace

CAppParamUtility::CAppParamUtility() = default;
CAppParamUtility::~CAppParamUtility() = default;

const CAppParamUtility::Edition* CAppParamUtility::Editions(size_t* count) {
    if (count) *count = sizeof(kEditions) / sizeof(kEditions[0]);
    return kEditions;
}

const char* CAppParamUtility::FindProductCode(const char* flavor) {
    if (!flavor || !*flavor) return nullptr;
    for (const Edition& edition : kEditions)
        if (_stricmp(edition.flavorCode, flavor) == 0) return edition.productCode;
    return nullptr;
}

bool CAppParamUtility::GetExecutableSuffix(const char* flavor, std::string& suffix) {
    suffix.clear();
    const char* code = FindProductCode(flavor);
    if (!code) return false;
    if (code[0] == 't' && code[1] == 'w') code += 2;
    bool upper = false;
    for (const char* p = code; *p; ++p) {
        if (*p == '_') {
            upper = true;
            continue;
        }
        suffix += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(*p))) : *p;
        upper = false;
    }
    return true;
}

bool CAppParamUtility::LoadProductCatalogue() {
    IProductInfoReader& reader = ProductInfoReader();
    if (reader.IsCatalogueLoaded()) return true;
    if (g_catalogueTried) return false;
    std::string folder;
    if (!ReadCommonFilesPath(TWAccessMode::Read, folder) && !ReadCommonFilesPath(TWAccessMode::Read32, folder))
        return false;  // no value read: tried again on the next need
    g_catalogueTried = true;
    return reader.LoadCatalogue(folder.c_str());
}

// A new process has not tried the catalogue yet.
[[maybe_unused]] const bool g_catalogueResetRegistered = RegisterProcessStateReset(ProcessLayer::DataStore, [] {
    g_catalogueTried = false;
    ProductInfoReader().UnloadCatalogue();
});

int CAppParamUtility::GetMajorVersion(const char* path) {
    std::string text;
    switch (ReadProductVersion(path, text)) {
        case VersionRead::Ok:
            break;
        case VersionRead::ReadFailed:
            return -2;
        case VersionRead::OutOfMemory:
            return -3;
        default:
            return -1;
    }
    std::vector<std::string> tokens = SplitAtSpaces(text);
    if (tokens.empty()) return -1;
    std::string first = tokens[0].substr(0, tokens[0].find('.'));
    return std::atoi(first.c_str());
}

int CAppParamUtility::GetProductLevel(const char* path, char* buffer, DWORD capacity) {
    if (!path || !*path || !buffer || capacity < 10) return -1;
    std::string text;
    switch (ReadProductVersion(path, text)) {
        case VersionRead::Ok:
            break;
        case VersionRead::QueryFailed:
            return 0;
        case VersionRead::OutOfMemory:
            return -3;
        default:
            return -1;
    }
    std::vector<std::string> tokens = SplitAtSpaces(text);
    if (tokens.size() < 2) return 0;
    SafeCopy(buffer, capacity, tokens[1].c_str());
    return 0;
}

long CAppParamUtility::ParseTimeStamp(const char* text) {
    if (!text) return -1;
    size_t length = std::strlen(text);
    auto at = [&](size_t i) { return i < length ? text[i] : '\0'; };
    if (at(2) != '/') return -104;
    if (at(5) != '/') return -105;
    if (at(10) != ' ') return -106;
    if (at(13) != ':') return -107;
    if (at(16) != ':') return -108;
    if (at(19) != ' ') return -109;

    std::tm fields = {};
    fields.tm_mon = std::atoi(text) - 1;
    fields.tm_mday = std::atoi(text + 3);
    fields.tm_year = std::atoi(text + 6) - 1900;
    fields.tm_hour = std::atoi(text + 11);
    fields.tm_min = std::atoi(text + 14);
    fields.tm_sec = std::atoi(text + 17);
    if (fields.tm_hour == 12) fields.tm_hour = 0;
    if (_stricmp(text + 20, "PM") == 0) fields.tm_hour = (fields.tm_hour + 12) % 24;

    std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    fields.tm_isdst = local ? local->tm_isdst : -1;
    return static_cast<long>(static_cast<int32_t>(std::mktime(&fields)));
}

bool CAppParamUtility::IsValidInstall(CTWFlavorNode* node, TWAccessMode view) {
    if (!node) return false;
    const char* value = nullptr;
    if (node->ReadValueData("Path", &value) != kTWDataSuccess || !value || !*value) return false;
    std::string path(value);
    int major = static_cast<int>(node->GetMajorVersion());
    if (GetMajorVersion(path.c_str()) != major) return false;

    std::string folder = FolderOf(path.c_str());
    if (major >= kFirstEditionExeVersion) {
        if (!LoadProductCatalogue()) return false;
        std::string suffix;
        if (!GetExecutableSuffix(node->GetFlavor(), suffix)) return false;
        std::string exe = folder + (view == TWAccessMode::Read32 ? "tww32" : "tww") + suffix + ".exe";
        return FileFound(exe);
    }
    if (major >= kFirstFlavorMajorVersion) {
        char flavor[kFlavorTextSize] = {};
        std::string dataFile = folder + kFlavorDataFile;
        if (!ProductInfoReader().ReadFlavorData(dataFile.c_str(), true, flavor, sizeof(flavor))) return false;
        const char* expected = node->GetFlavor();
        return expected && _stricmp(flavor, expected) == 0;
    }
    return false;
}

long CAppParamUtility::WalkValidInstalls(int selector, CTWNameList* list, DWORD limit, DWORD* counted,
                                         DWORD* longestPlusOne) {
    *counted = 0;
    std::unique_ptr<CTWAppParameterNode> root(
        NodeFactory::OpenBranchNode(TWDataBranch::Product, TWAccessMode::Read, nullptr));
    auto* branch = dynamic_cast<CTWBranchNode*>(root.get());
    if (!branch) return -1;

    std::vector<int> versions;
    int bound = kVersionBound;
    try {
        if (selector >= 0) {
            versions.push_back(selector);
        } else {
            if (selector != -1) bound = -selector;
            char** names = nullptr;
            DWORD count = 0;
            if (branch->GetChildNodeNames(&names, &count) != kTWDataSuccess) return -2;
            for (DWORD i = 0; names && i < count; ++i) versions.push_back(std::atoi(names[i]));
        }
    } catch (const std::bad_alloc&) {
        return -3;
    }

    for (int major : versions) {
        if (major < kFirstFlavorMajorVersion || major >= bound) continue;
        CTWVersionNode* opened = nullptr;
        if (branch->GetVersionNode(static_cast<unsigned>(major), TWAccessMode::Read, &opened) != kTWDataSuccess)
            continue;
        std::unique_ptr<CTWVersionNode> version(opened);
        bool outOfMemory = false;
        CFlavorWalk::Visit(*version, TWAccessMode::Read, nullptr,
                           [&](const std::string& name, CTWFlavorNode* flavor, long /*openResult*/) {
                               if (!flavor || !IsValidInstall(flavor, TWAccessMode::Read)) return true;
                               if (!list) {
                                   ++*counted;
                                   return true;
                               }
                               if (list->Count() >= limit) return true;
                               std::string entry = FormatString("%d.0-%s", major, name.c_str());
                               if (!list->Add(entry.c_str(), entry.size())) {
                                   outOfMemory = true;
                                   return false;
                               }
                               ++*counted;
                               if (longestPlusOne && entry.size() + 1 > *longestPlusOne)
                                   *longestPlusOne = static_cast<DWORD>(entry.size() + 1);
                               return true;
                           });
        if (outOfMemory) return -3;
    }
    return 0;
}

long CAppParamUtility::GetValidInstalls(char*** installs, DWORD* count, DWORD* longestPlusOne, int selector) {
    if (installs) *installs = nullptr;
    if (count) *count = 0;
    if (longestPlusOne) *longestPlusOne = 0;
    m_installs.Clear();
    m_installCount = 0;
    if (selector >= 0 && (selector < kFirstFlavorMajorVersion || selector > kLastSelectableVersion)) return -1;

    DWORD counted = 0;
    long result = WalkValidInstalls(selector, nullptr, 0, &counted, nullptr);
    if (result < 0) return result;
    if (counted == 0) return ERROR_FILE_NOT_FOUND;
    if (!m_installs.Reserve(counted)) return -3;

    DWORD stored = 0, longest = 0;
    result = WalkValidInstalls(selector, &m_installs, counted, &stored, &longest);
    if (result < 0) {
        m_installs.Clear();
        return result;
    }
    if (m_installs.Count() == 0) return -2;
    m_installCount = m_installs.Count();
    if (installs) *installs = m_installs.Data();
    if (count) *count = m_installCount;
    if (longestPlusOne) *longestPlusOne = longest;
    return 0;
}

long CAppParamUtility::GetTWVersionFlavor(const char* path, int* majorVersion, const char** flavor, bool reread) {
    m_scratch.reset();
    if (flavor) *flavor = nullptr;
    int major = GetMajorVersion(path);
    if (majorVersion) *majorVersion = major;
    if (major < 1) return major < 0 ? major : -1;

    char text[kFlavorTextSize] = {};
    long result = 0;
    if (major < kFirstEditionExeVersion) {
        std::string dataFile = FolderOf(path) + kFlavorDataFile;
        if (!ProductInfoReader().ReadFlavorData(dataFile.c_str(), reread, text, sizeof(text))) return -4;
        result = major < kFirstFlavorMajorVersion ? ERROR_FILE_NOT_FOUND : 0;
    }
    m_scratch.reset(new (std::nothrow) char[kFlavorTextSize]);
    if (!m_scratch) return -3;
    SafeCopy(m_scratch.get(), kFlavorTextSize, text);
    if (flavor) *flavor = m_scratch.get();
    return result;
}

}  // namespace tw
