#pragma once
// The loaded patch.ini. A first pass during initialisation collects the settings (version
// record, agent lists, Windows Installer settings); a second pass at the start of patch
// application runs the version gate and builds the delta-patch list. Both passes walk the
// sections in file order and dispatch each by the kind its name reveals.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "config/AgentInfo.h"
#include "config/DeltaPatchList.h"
#include "config/MsiSettings.h"
#include "config/PatchIniMgr.h"
#include "config/ParserBase.h"
#include "config/TWVersionInfo.h"

namespace tw {

class CConfigNotes;

class CConfigMgr {
public:
    static constexpr size_t kPatchFolderSize = 520;
    static constexpr size_t kTitleSize = 260;
    static constexpr size_t kMaxAgents = 50;

    // Kinds of sections, in the order in which names are tested.
    enum class SectionKind {
        Title,
        QaTest,
        HistoryPatch,
        Msi,
        DeltaPatch,
        AutoPatch,
        RelatedApps,
        AgentData,
        PatchConfig,
        Unknown
    };

    CConfigMgr();
    virtual ~CConfigMgr();
    CConfigMgr(const CConfigMgr&) = delete;
    CConfigMgr& operator=(const CConfigMgr&) = delete;

    // First pass over patch.ini in the folder. The parser's std::runtime_error (a file
    // without sections, a section without keys) propagates to the caller.
    bool ReadConfInfoFromFile(const char* patchFolder);

    // Second pass: the version gate and the delta-patch list. The installation folder is
    // the product directory of the run state and the product code the one the first pass
    // read; the second overload names both. Throws as the first pass.
    bool ReadPatchIniFile(const char* patchFolder);
    bool ReadPatchIniFile(const char* patchFolder, const char* installFolder, const char* productCode);

    // The same passes with what they have to say (patch-log lines and box texts) recorded
    // in notes instead of written and shown; the second pass reads the installed version
    // from readInstalled. The forms above record, then announce.
    bool ReadConfInfoFromFile(const char* patchFolder, CConfigNotes& notes);
    bool ReadPatchIniFile(const char* patchFolder, const char* installFolder,
                          const PatchIniMgr::InstalledVersionSource& readInstalled, CConfigNotes& notes);

    static SectionKind ClassifySection(const std::string& sectionName);

    // Values of the auto-patch section.
    const std::string& GetTWVersionDigits() const { return m_twVersionDigits; }
    const std::string& GetCountry() const { return m_country; }
    const std::string& GetServer() const { return m_server; }

    const char* GetPatchFolder() const { return m_patchFolder; }
    const std::string& GetConfigFilePath() const { return m_configFilePath; }

    // The version record.
    const char* GetTWName() const { return m_versionInfo->productName; }
    const char* GetTWFileVersion() const { return m_versionInfo->productFileVersion; }
    const char* GetTWVersion() const { return m_versionInfo->targetVersion; }
    long GetTWVersionAsLong() const;
    const TWVersionInfo& GetVersionInfo() const { return *m_versionInfo; }
    uint32_t GetPatchRevision() const { return m_versionInfo->patchRevision; }
    uint32_t GetInstalledRevision() const { return m_versionInfo->installedRevision; }

    // Copies of the watched-program lists.
    std::vector<AgentInfo> GetAgentList() const { return *m_agentList; }
    std::vector<AgentInfo> GetRelatedAppsList() const { return *m_relatedAppsList; }

    // The ordered patch list (iterate from Head(), or TakeFirst()).
    CDeltaPatchList& GetDeltaPatchList() { return *m_deltaPatchList; }
    const CDeltaPatchList& GetDeltaPatchList() const { return *m_deltaPatchList; }
    unsigned GetDeltaPatchCount() const { return m_deltaPatchList->Count(); }
    unsigned long long GetDeltaPatchTotalSize() const { return m_deltaPatchList->TotalSize(); }

    // Windows Installer settings.
    const MsiSettings& GetMsiSettings() const { return *m_msiSettings; }
    const std::string& GetProductCodeStandard() const { return m_msiSettings->productCodeStandard; }
    const std::string& GetProductCodeEnterprise() const { return m_msiSettings->productCodeEnterprise; }
    const std::string& GetProductCode() const { return m_msiSettings->productCode; }
    const std::string& GetReinstall() const { return m_msiSettings->reinstall; }
    const std::string& GetReinstallMode() const { return m_msiSettings->reinstallMode; }
    const std::string& GetCmdOptions() const { return m_msiSettings->cmdOptions; }
    int GetLogInfoMsg() const { return m_msiSettings->logInfoMsg; }
    int GetLogProgressMsg() const { return m_msiSettings->logProgressMsg; }
    bool GetSaveTempFiles() const { return m_msiSettings->saveTempFiles; }
    int GetLoggingMode() const { return m_msiSettings->loggingMode; }
    bool GetLoggingEnable() const { return m_msiSettings->loggingEnable; }

    // Read on demand from the configuration file (empty default, 260 characters) into the
    // object's own buffers: section "Title" key "Product"; section "Enable" keys
    // "IsNetEnabled" and "IsFeatureEnabled".
    const char* GetProductTitle();
    const char* GetIsNetEnabled();
    const char* GetIsFeatureEnabled();

private:
    bool BeginPass(const char* patchFolder, CConfigNotes& notes);
    bool ProcessKeyValuePairsInOneSection(const KeyValueMap& pairs, CConfigNotes& notes);  // patch configuration
    bool ProcessAgentListSection(const KeyValueMap& pairs, std::vector<AgentInfo>& list, const char* keyWord,
                                 CConfigNotes& notes);
    void ProcessAutoPatchSection(const KeyValueMap& pairs);
    void ProcessMsiSection(const KeyValueMap& pairs);
    const char* ReadTitleValue(const char* section, const char* key, char* buffer);
    static void LogUnknownSection(const std::string& sectionName, CConfigNotes& notes);

    std::string m_twVersionDigits;
    std::string m_country;
    std::string m_server;
    char m_patchFolder[kPatchFolderSize] = {};
    std::unique_ptr<TWVersionInfo> m_versionInfo;
    std::unique_ptr<std::vector<AgentInfo>> m_agentList;
    std::unique_ptr<std::vector<AgentInfo>> m_relatedAppsList;
    std::unique_ptr<CDeltaPatchList> m_deltaPatchList;
    std::unique_ptr<MsiSettings> m_msiSettings;
    std::string m_configFilePath;
    char m_productTitle[kTitleSize] = {};
    char m_netEnabled[kTitleSize] = {};
    char m_featureEnabled[kTitleSize] = {};
};

}  // namespace tw
