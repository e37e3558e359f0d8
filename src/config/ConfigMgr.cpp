#include "config/ConfigMgr.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "common/RunState.h"
#include "common/TextUtil.h"
#include "config/ConfigNotes.h"
#include "config/DeltaPatchInfo.h"
#include "config/GeneralUtil.h"
#include "config/INIParser.h"
#include "config/PatchIniMgr.h"

namespace tw {
namespace {

constexpr const char kConfigFileName[] = "patch.ini";

bool Has(const std::string& lowerText, const char* word) { return lowerText.find(word) != std::string::npos; }

}  // namespace

CConfigMgr::CConfigMgr()
    : m_versionInfo(std::make_unique<TWVersionInfo>()),
      m_agentList(std::make_unique<std::vector<AgentInfo>>()),
      m_relatedAppsList(std::make_unique<std::vector<AgentInfo>>()),
      m_deltaPatchList(std::make_unique<CDeltaPatchList>()),
      m_msiSettings(std::make_unique<MsiSettings>()) {}

CConfigMgr::~CConfigMgr() = default;

CConfigMgr::SectionKind CConfigMgr::ClassifySection(const std::string& sectionName) {
    const std::string name = GeneralUtil::ToLower(sectionName);
    if (Has(name, "title")) return SectionKind::Title;
    if (Has(name, "qatest")) return SectionKind::QaTest;
    if (Has(name, "historypatch")) return SectionKind::HistoryPatch;
    if (Has(name, "msi")) return SectionKind::Msi;
    if (Has(name, "->")) return SectionKind::DeltaPatch;
    if (Has(name, "autopatch")) return SectionKind::AutoPatch;
    if (Has(name, "twrelatedapps")) return SectionKind::RelatedApps;
    if (Has(name, "agentdata")) return SectionKind::AgentData;
    if (Has(name, "patchconfig")) return SectionKind::PatchConfig;
    return SectionKind::Unknown;
}

long CConfigMgr::GetTWVersionAsLong() const { return std::strtol(m_versionInfo->targetVersion, nullptr, 10); }

void CConfigMgr::LogUnknownSection(const std::string& sectionName, CConfigNotes& notes) {
    notes.LogF("CConfigMgr::ReadPatchIniFile: Section name \"%s\" is unknown", sectionName.c_str());
}

bool CConfigMgr::BeginPass(const char* patchFolder, CConfigNotes& notes) {
    if (!patchFolder || *patchFolder == '\0') {
        notes.Log("In CConfigMgr::ReadConfInfoFromFile, directory name of the configuration file not given.");
        return false;
    }
    char path[kPatchFolderSize];
    if (std::strlen(patchFolder) >= kPatchFolderSize ||
        !GeneralUtil::GetFullFilePathName(patchFolder, kConfigFileName, path, sizeof(path), notes)) {
        notes.Log("In CConfigMgr::ReadConfInfoFromFile, could not get the full file path name.");
        return false;
    }
    m_configFilePath = path;
    SafeCopy(m_patchFolder, patchFolder);
    return true;
}

bool CConfigMgr::ReadConfInfoFromFile(const char* patchFolder) {
    CConfigNotes notes;
    return notes.AnnounceAfter([&] { return ReadConfInfoFromFile(patchFolder, notes); });
}

bool CConfigMgr::ReadConfInfoFromFile(const char* patchFolder, CConfigNotes& notes) {
    if (!BeginPass(patchFolder, notes)) return false;
    // A repeated read gives the same lists, not twice as many entries.
    m_agentList->clear();
    m_relatedAppsList->clear();

    CINIParser parser(m_configFilePath);
    const SectionNameList sections = parser.GetSectionNames();
    for (const std::string& section : sections) {
        const SectionKind kind = ClassifySection(section);
        const KeyValueMap pairs = parser.GetKeyValuePairs(section);
        switch (kind) {
            case SectionKind::Title:
            case SectionKind::QaTest:
            case SectionKind::DeltaPatch:
                break;
            case SectionKind::HistoryPatch:
            case SectionKind::Unknown:
                LogUnknownSection(section, notes);
                break;
            case SectionKind::Msi:
                ProcessMsiSection(pairs);
                break;
            case SectionKind::AutoPatch:
                ProcessAutoPatchSection(pairs);
                break;
            case SectionKind::RelatedApps:
                if (!ProcessAgentListSection(pairs, *m_relatedAppsList, "onetwrelatedapp", notes)) return false;
                break;
            case SectionKind::AgentData:
                if (!ProcessAgentListSection(pairs, *m_agentList, "oneagentdata", notes)) return false;
                break;
            case SectionKind::PatchConfig:
                if (!ProcessKeyValuePairsInOneSection(pairs, notes)) return false;
                break;
        }
    }
    return true;
}

bool CConfigMgr::ReadPatchIniFile(const char* patchFolder) {
    const std::string installFolder = CRunState::Get().ProductDir();
    return ReadPatchIniFile(patchFolder, installFolder.c_str(), m_msiSettings->productCode.c_str());
}

bool CConfigMgr::ReadPatchIniFile(const char* patchFolder, const char* installFolder, const char* productCode) {
    const std::string product = productCode ? productCode : "";
    CConfigNotes notes;
    return notes.AnnounceAfter([&] {
        return ReadPatchIniFile(
            patchFolder, installFolder,
            [&product](PatchIniMgr::InstalledVersion& version) {
                return PatchIniMgr::GetInstalledVersion(product.c_str(), version);
            },
            notes);
    });
}

bool CConfigMgr::ReadPatchIniFile(const char* patchFolder, const char* installFolder,
                                  const PatchIniMgr::InstalledVersionSource& readInstalled, CConfigNotes& notes) {
    if (!BeginPass(patchFolder, notes)) return false;
    if (!installFolder) installFolder = "";
    // The list describes this read only.
    m_deltaPatchList->Clear();

    uint32_t patchRevision = 0;
    uint32_t installedRevision = 0;
    bool skip = false;

    CINIParser parser(m_configFilePath);
    const SectionNameList sections = parser.GetSectionNames();
    for (const std::string& section : sections) {
        const SectionKind kind = ClassifySection(section);
        const KeyValueMap pairs = parser.GetKeyValuePairs(section);
        switch (kind) {
            case SectionKind::AutoPatch:
                if (!PatchIniMgr::ProcessOneKeyValuePairInTWVersionSection(*m_versionInfo, pairs, installFolder,
                                                                           readInstalled, notes))
                    return false;
                patchRevision = m_versionInfo->patchRevision;
                installedRevision = m_versionInfo->installedRevision;
                break;
            case SectionKind::DeltaPatch:
                if (!PatchIniMgr::ProcessNewDeltaPatchSection(*m_deltaPatchList, section.c_str(), installedRevision,
                                                              patchRevision, skip, m_versionInfo->deltaSectionLevel,
                                                              notes))
                    return false;
                if (skip) break;
                if (!CDeltaPatchInfo::Initialize(*m_deltaPatchList, pairs, m_patchFolder, installFolder, notes))
                    return false;
                break;
            case SectionKind::HistoryPatch:
                if (skip) break;  // left by the last delta-patch section before it
                if (!CDeltaPatchInfo::Initialize(*m_deltaPatchList, pairs, m_patchFolder, installFolder, notes))
                    return false;
                break;
            case SectionKind::Unknown:
                LogUnknownSection(section, notes);
                break;
            default:
                break;
        }
    }
    return true;
}

bool CConfigMgr::ProcessKeyValuePairsInOneSection(const KeyValueMap& pairs, CConfigNotes& notes) {
    for (const auto& pair : pairs) {
        const std::string key = GeneralUtil::ToLower(pair.first);
        if (Has(key, "twname")) {
            SafeCopy(m_versionInfo->productName, pair.second.c_str());
        } else if (Has(key, "twfileversion")) {
            SafeCopy(m_versionInfo->productFileVersion, pair.second.c_str());
        } else {
            notes.LogF(
                "CConfigMgr::ProcessKeyValuePairsInOneSection: %s,  key and value pair skipped, the pair is %s = %s",
                "in the TWName and TWFileVersion section", pair.first.c_str(), pair.second.c_str());
            notes.ShowSevereError(GeneralUtil::kProgramErrorText);
            return false;
        }
    }
    return true;
}

bool CConfigMgr::ProcessAgentListSection(const KeyValueMap& pairs, std::vector<AgentInfo>& list, const char* keyWord,
                                         CConfigNotes& notes) {
    for (const auto& pair : pairs) {
        if (!Has(GeneralUtil::ToLower(pair.first), keyWord) || list.size() >= kMaxAgents) {
            notes.LogF(
                "CConfigMgr::ProcessAgentListSection: In the agent data section, key value pair skipped: %s = %s",
                pair.first.c_str(), pair.second.c_str());
            return false;
        }
        list.push_back(GeneralUtil::SplitAgentValue(pair.second.c_str()));
    }
    return true;
}

void CConfigMgr::ProcessAutoPatchSection(const KeyValueMap& pairs) {
    for (const auto& pair : pairs) {
        const std::string key = GeneralUtil::ToLower(pair.first);
        // Independent tests: one key can set more than one field.
        if (Has(key, "twversion")) SafeCopy(m_versionInfo->targetVersion, pair.second.c_str());
        if (Has(key, "country")) m_country = pair.second;
        if (Has(key, "server")) m_server = pair.second;
    }
    const std::string target = m_versionInfo->targetVersion;
    if (!target.empty()) m_twVersionDigits = target.size() > 4 ? target.substr(4, 2) : std::string();
}

void CConfigMgr::ProcessMsiSection(const KeyValueMap& pairs) {
    MsiSettings& msi = *m_msiSettings;
    auto setUnlessEmpty = [](std::string& field, const std::string& value) {
        if (!value.empty()) field = value;
    };
    for (const auto& pair : pairs) {
        const std::string key = GeneralUtil::ToLower(pair.first);
        const std::string& value = pair.second;
        // Longer words first, so "reinstallmode" is never taken for "reinstall" nor
        // "productcodestandard" for "productcode".
        if (Has(key, "reinstallmode"))
            setUnlessEmpty(msi.reinstallMode, value);
        else if (Has(key, "reinstall"))
            setUnlessEmpty(msi.reinstall, value);
        else if (Has(key, "cmdoptions"))
            msi.cmdOptions = value;
        else if (Has(key, "loginfomsg"))
            msi.logInfoMsg = std::atoi(value.c_str());
        else if (Has(key, "logprogressmsg"))
            msi.logProgressMsg = std::atoi(value.c_str());
        else if (Has(key, "productcodestandard"))
            setUnlessEmpty(msi.productCodeStandard, value);
        else if (Has(key, "productcodeenterprise"))
            setUnlessEmpty(msi.productCodeEnterprise, value);
        else if (Has(key, "productcode"))
            setUnlessEmpty(msi.productCode, value);
        else if (Has(key, "savetempfiles"))
            msi.saveTempFiles = std::atoi(value.c_str()) != 0;
        else if (Has(key, "loggingmode"))
            msi.loggingMode = std::atoi(value.c_str());
        else if (Has(key, "loggingenable"))
            msi.loggingEnable = std::atoi(value.c_str()) != 0;
    }
}

const char* CConfigMgr::ReadTitleValue(const char* section, const char* key, char* buffer) {
    buffer[0] = '\0';
    // Without a configuration path the profile functions would read win.ini instead.
    if (m_configFilePath.empty()) return buffer;
    ::GetPrivateProfileStringA(section, key, "", buffer, static_cast<DWORD>(kTitleSize), m_configFilePath.c_str());
    buffer[kTitleSize - 1] = '\0';
    return buffer;
}

const char* CConfigMgr::GetProductTitle() { return ReadTitleValue("Title", "Product", m_productTitle); }
const char* CConfigMgr::GetIsNetEnabled() { return ReadTitleValue("Enable", "IsNetEnabled", m_netEnabled); }
const char* CConfigMgr::GetIsFeatureEnabled() { return ReadTitleValue("Enable", "IsFeatureEnabled", m_featureEnabled); }

}  // namespace tw
