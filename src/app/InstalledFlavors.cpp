#include "app/InstalledFlavors.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "common/RunState.h"
#include "common/TextUtil.h"
#include "config/GeneralUtil.h"
#include "datastore/AppParamUtility.h"
#include "datastore/NodeFactory.h"
#include "datastore/FlavorWalk.h"
#include "datastore/TWFlavorNode.h"
#include "datastore/TWVersionNode.h"
#include "logging/StatusLogMgr.h"

namespace tw {
namespace {

// From this major version on the valid installs list the flavors; before it the executable
// names its one flavor.
constexpr unsigned kFirstValidInstallsVersion = 15;

// The data node that holds "TWVersion": the flavor key from the first flavor version on,
// the version key before.
std::unique_ptr<ITWDataNode> OpenRevisionNode(unsigned major, const std::string& flavor, TWAccessMode mode,
                                              long* error) {
    if (major >= kFirstFlavorMajorVersion)
        return std::unique_ptr<ITWDataNode>(
            NodeFactory::OpenFlavorNode(TWDataBranch::Product, major, flavor.c_str(), mode, error));
    return std::unique_ptr<ITWDataNode>(NodeFactory::OpenVersionNode(TWDataBranch::Product, major, mode, error));
}

}  // namespace

CInstalledFlavors::CInstalledFlavors(std::function<void(const char*)> reportFailure)
    : m_reportFailure(std::move(reportFailure)) {}

std::set<std::string> CInstalledFlavors::ValidFlavorNames(char** installs, DWORD count) {
    std::set<std::string> names;
    for (DWORD i = 0; installs && i < count; ++i) {
        if (!installs[i]) continue;
        const char* hyphen = std::strchr(installs[i], '-');
        if (hyphen) names.insert(hyphen + 1);
    }
    return names;
}

FlavorMatch CInstalledFlavors::MatchFlavors(const std::vector<FlavorRecord>& records, const std::string& lastFlavor) {
    FlavorMatch match;
    match.current = lastFlavor;
    bool haveTimeStamp = false;
    long newest = 0;
    for (const FlavorRecord& record : records) {
        if (!record.pathMatches) continue;
        match.installed.push_back(record.name);
        if (!lastFlavor.empty() || !record.haveTimeStamp) continue;
        if (!haveTimeStamp || record.timeStamp > newest) {
            haveTimeStamp = true;
            newest = record.timeStamp;
            match.current = record.name;
        }
    }
    return match;
}

bool CInstalledFlavors::Find() {
    const CRunState& state = CRunState::Get();
    if (state.alternateComponent) return false;

    m_installed.clear();
    m_current.clear();
    const std::string exePath = state.productExePath;
    if (exePath.empty()) return true;
    if (m_majorVersion < kFirstValidInstallsVersion) return FindBeforeValidInstalls(exePath);
    FindAmongValidInstalls(exePath);
    return true;
}

bool CInstalledFlavors::FindBeforeValidInstalls(const std::string& exePath) {
    CAppParamUtility utility;
    int major = 0;
    const char* flavor = nullptr;
    long result = utility.GetTWVersionFlavor(exePath.c_str(), &major, &flavor, true);
    if (result < 0) {
        m_reportFailure(FormatString("Patch: In CPatchInstallerBase::GetInstalledFlavors, failed to call "
                                     "CAppParamUtility::GetTWVersionFlavor, TW path file name: %s, errorCode : %d",
                                     exePath.c_str(), static_cast<int>(result))
                            .c_str());
        return true;
    }
    m_majorVersion = static_cast<uint32_t>(major);
    m_installed.push_back(major >= kFirstFlavorMajorVersion && flavor ? flavor : "");
    return true;
}

void CInstalledFlavors::FindAmongValidInstalls(const std::string& exePath) {
    const int major = static_cast<int>(m_majorVersion);
    CAppParamUtility utility;
    char** installs = nullptr;
    DWORD count = 0, longest = 0;
    long result = utility.GetValidInstalls(&installs, &count, &longest, major);
    if (result < 0) {
        m_reportFailure(FormatString("Patch: In CPatchInstallerBase::GetInstalledFlavors, failed to call "
                                     "CAppParamUtility::GetValidInstalls, TW major version: %d, errorCode : %d",
                                     major, static_cast<int>(result))
                            .c_str());
        return;
    }
    const std::set<std::string> validFlavors = ValidFlavorNames(installs, count);

    // The flavor the product used last wins when it is a valid install.
    char lastFlavor[260] = {};
    const std::string iniPath = CRunState::Get().ProductDir() + "\\TWW.INI";
    ::GetPrivateProfileStringA("FLAVOR", "LastFlavorID", "", lastFlavor, sizeof(lastFlavor), iniPath.c_str());
    const std::string chosen = lastFlavor[0] != '\0' && validFlavors.count(lastFlavor) != 0 ? lastFlavor : "";
    m_current = chosen;

    FlavorMatch match = MatchFlavors(ReadFlavorRecords(validFlavors, exePath, chosen.empty()), chosen);
    m_installed = std::move(match.installed);
    m_current = std::move(match.current);
}

// Reads "Path" of each valid flavor key of the version, and "InstallTimeStamp" of those at
// the executable when the current flavor is still to be chosen. What cannot be read is
// reported and left out.
std::vector<FlavorRecord> CInstalledFlavors::ReadFlavorRecords(const std::set<std::string>& validFlavors,
                                                               const std::string& exePath, bool needTimeStamps) {
    std::vector<FlavorRecord> records;
    long error = 0;
    std::unique_ptr<CTWVersionNode> versionNode(NodeFactory::CreateVersionNode(
        TWDataBranch::Product, m_majorVersion, TWAccessMode::Read, nullptr, nullptr, &error));
    if (!versionNode) {
        m_reportFailure(FormatString("Patch: In CPatchInstallerBase::GetInstalledFlavors, failed to call "
                                     "NodeFactory::CreateVersionNode, TW major version: %d, errorCode : %d",
                                     static_cast<int>(m_majorVersion), static_cast<int>(error))
                            .c_str());
        return records;
    }
    auto report = [this](const char* call, const std::string& flavor, long code) {
        m_reportFailure(FormatString("Patch: In CPatchInstallerBase::GetInstalledFlavors, failed to call %s, TW "
                                     "flavor: %s, errorCode : %d",
                                     call, flavor.c_str(), static_cast<int>(code))
                            .c_str());
    };
    const auto valid = [&validFlavors](const std::string& name) { return validFlavors.count(name) != 0; };
    CFlavorWalk::Visit(*versionNode, TWAccessMode::Read, valid,
                       [&](const std::string& flavor, CTWFlavorNode* flavorNode, long nodeResult) {
                           if (!flavorNode) {
                               report("CTWVersionNode::GetChildNode", flavor, nodeResult);
                               return true;
                           }
                           const char* path = nullptr;
                           long pathResult = flavorNode->ReadValueData("Path", &path);
                           if (pathResult != kTWDataSuccess || !path) {
                               report("CTWFlavorNode::ReadValueData(Path)", flavor, pathResult);
                               return true;
                           }
                           FlavorRecord record;
                           record.name = flavor;
                           // Both sides may be written differently: relative, with slashes, in another case.
                           record.pathMatches = GeneralUtil::IsSamePath(path, exePath.c_str());
                           if (record.pathMatches && needTimeStamps) {
                               const char* stamp = nullptr;
                               long stampResult = flavorNode->ReadValueData("InstallTimeStamp", &stamp);
                               if (stampResult != kTWDataSuccess || !stamp) {
                                   report("CTWFlavorNode::ReadValueData(InstallTimeStamp)", flavor, stampResult);
                               } else {
                                   record.haveTimeStamp = true;
                                   record.timeStamp = CAppParamUtility::ParseTimeStamp(stamp);
                               }
                           }
                           records.push_back(std::move(record));
                           return true;
                       });
    return records;
}

void CInstalledFlavors::RaiseRevision(long patchNumber) {
    // The value read last stays remembered for a flavor without one of its own. A flavor
    // whose key cannot be opened ends the walk.
    long remembered = 0;
    for (const std::string& flavor : m_installed)
        if (!RaiseRevisionOf(flavor, patchNumber, &remembered)) return;
}

bool CInstalledFlavors::RaiseRevisionOf(const std::string& flavor, long patchNumber, long* remembered) {
    const int major = static_cast<int>(m_majorVersion);
    auto open = [&](TWAccessMode mode) {
        long error = 0;
        std::unique_ptr<ITWDataNode> node = OpenRevisionNode(m_majorVersion, flavor, mode, &error);
        if (!node)
            m_reportFailure(FormatString("Patch: In CPatchInstallerBase::NotifyTWOnSuccess, failed to get node "
                                         "object for version : %d and flavor : %s, error code : %d",
                                         major, flavor.c_str(), static_cast<int>(error))
                                .c_str());
        return node;
    };

    std::unique_ptr<ITWDataNode> node = open(TWAccessMode::Read);
    if (!node) return false;
    const char* stored = nullptr;
    long readResult = node->ReadValueData("TWVersion", &stored);
    if (readResult == kTWDataSuccess && stored) {
        *remembered = std::atol(stored);
    } else if (readResult != ERROR_FILE_NOT_FOUND && readResult != kTWDataValueNotFound) {
        m_reportFailure(FormatString("Patch: In CPatchInstallerBase::NotifyTWOnSuccess, failed to read TWVersion "
                                     "from registry for version : %d and flavor : %s, error code : %d",
                                     major, flavor.c_str(), static_cast<int>(readResult))
                            .c_str());
    }

    node = open(TWAccessMode::ReadWrite);
    if (!node) return false;
    if (patchNumber <= *remembered) return true;
    const std::string text = std::to_string(patchNumber);
    long writeResult = node->WriteValueData("TWVersion", text.c_str());
    if (writeResult != kTWDataSuccess)
        m_reportFailure(FormatString("Patch: In CPatchInstallerBase::NotifyTWOnSuccess, failed to write "
                                     "TWVersion=%d to registry for version : %d and flavor : %s, error code : %d",
                                     static_cast<int>(patchNumber), major, flavor.c_str(),
                                     static_cast<int>(writeResult))
                            .c_str());
    else
        LogStatusF(
            "In CPatchInstallerBase::NotifyTWOnSuccess, successfully updated TWVersion:%d in registry for "
            "version : %d and flavor : %s",
            static_cast<int>(patchNumber), major, flavor.c_str());
    return true;
}

}  // namespace tw
