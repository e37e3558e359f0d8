#include "check/MachineReader.h"

#include <windows.h>
#include <msi.h>

#include "app/CompanionCloser.h"
#include "app/DiskSpaceCheck.h"
#include "app/PatchCmdInfo.h"
#include "check/UpdateFolderReader.h"
#include "common/FileSystem.h"
#include "common/PlatformSeams.h"
#include "common/ProductConstants.h"
#include "common/RunState.h"
#include "common/TextUtil.h"
#include "config/ConfigMgr.h"
#include "config/ConfigNotes.h"
#include "config/GeneralUtil.h"
#include "config/PatchIniMgr.h"

namespace twcheck {
namespace {

constexpr char kProductProgram[] = "tww.exe";
constexpr DWORD kPathSize = 1040;

std::string ProductInfo(const std::string& productCode, const char* attribute) {
    char value[260] = {};
    DWORD size = sizeof(value);
    if (tw::Platform().Msi.GetProductInfo(productCode.c_str(), attribute, value, &size) != ERROR_SUCCESS)
        return std::string();
    value[sizeof(value) - 1] = '\0';
    return value;
}

// The folder of the product program's component, the main one or else the alternate one.
std::string InstalledFolder(const std::string& productCode) {
    for (const char* component : {tw::product::kMainComponent, tw::product::kAlternateComponent}) {
        char path[kPathSize] = {};
        DWORD size = sizeof(path);
        tw::Platform().Msi.GetComponentPath(productCode.c_str(), component, path, &size);
        path[sizeof(path) - 1] = '\0';
        std::string folder = path;
        const size_t slash = folder.find_last_of('\\');
        if (slash != std::string::npos) return folder.substr(0, slash);
    }
    return std::string();
}

// The product folder and what lies there, as the run's checks before patching see it.
tw::CProductFolderCheck::Facts LookAtFolder(bool given, const std::string& folder, const std::string& installed) {
    tw::CProductFolderCheck::Facts facts;
    facts.given = given;
    facts.folder = folder;
    facts.installedFolder = installed;
    if (!given) return facts;
    facts.exists = !folder.empty() && tw::FolderExists(folder);
    facts.holdsProgram = facts.exists && tw::FileExists(folder + "\\" + kProductProgram);
    facts.enoughSpace = tw::CDiskSpaceCheck::Check(folder.c_str(), &facts.freeBytes) != tw::CDiskSpaceCheck::kNotEnough;
    return facts;
}

// Whether the run would find the product or a program it waits for running, asked the way
// its shutdown wait asks, without asking anything to close.
void LookForRunningProduct(const UpdateFolderSnapshot& snapshot, const std::string& folder, MachineFacts& facts) {
    tw::CConfigMgr config;
    tw::CConfigNotes unused;  // the folder check has said what the first read has to say
    try {
        if (!config.ReadConfInfoFromFile(snapshot.folder.c_str(), unused)) return;
    } catch (const std::exception&) {
        return;
    }
    // The check looks for the product program where the run would: in the product folder.
    tw::CRunState::Get().productExePath = folder.empty() ? std::string() : folder + "\\" + kProductProgram;
    tw::CCompanionCloser companions(config);
    tw::CRunningProductCheck check(config, companions, [](const char*) {});
    facts.running = check.IsRunningNow(&facts.runningVerdict, &facts.runningCompanion);
}

}  // namespace

bool CMachineReader::TakeProductFolder(const std::string& text, std::string& folder) {
    char given[tw::PatchCmdInfo::kProductDirSize];
    if (!tw::SafeCopy(given, text.c_str())) return false;
    tw::GeneralUtil::StripEnclosingQuotes(given);
    folder = given;
    if (folder.empty()) return true;
    const std::string full = tw::GeneralUtil::NormalisePath(given);
    if (full.size() < sizeof(given)) folder = full;
    return true;
}

MachineFacts CMachineReader::Read(const UpdateFolderSnapshot& snapshot, bool folderGiven,
                                  const std::string& folderText) {
    MachineFacts facts;
    const std::string& productCode = snapshot.productCode;
    facts.installed =
        !productCode.empty() && tw::Platform().Msi.QueryProductState(productCode.c_str()) == INSTALLSTATE_DEFAULT;
    if (facts.installed) {
        facts.versionString = ProductInfo(productCode, "VersionString");
        facts.installedFolder = InstalledFolder(productCode);
    }

    facts.folderFromCommandLine = folderGiven;
    facts.folderText = folderText;
    std::string folder = facts.installedFolder;
    bool haveFolder = !folder.empty();
    if (folderGiven) haveFolder = TakeProductFolder(folderText, folder);
    facts.folder = LookAtFolder(haveFolder, folder, facts.installedFolder);

    LookForRunningProduct(snapshot, haveFolder ? folder : std::string(), facts);

    tw::PatchIniMgr::InstalledVersion installed;
    if (snapshot.firstPass.ok && tw::PatchIniMgr::ParseVersionString(facts.versionString.c_str(), installed)) {
        UpdateFolderSnapshot scratch = snapshot;
        scratch.runs.clear();
        CUpdateFolderReader::SimulateRun(scratch, installed.revision, facts.versionString);
        facts.haveRun = true;
        facts.run = scratch.runs.front();
    }
    return facts;
}

}  // namespace twcheck
