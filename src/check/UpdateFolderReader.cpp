#include "check/UpdateFolderReader.h"

#include <windows.h>

#include <functional>
#include <set>
#include <stdexcept>

#include "app/PatchInstallerBase.h"
#include "check/PatchPackageReader.h"
#include "common/FileSystem.h"
#include "common/Handles.h"
#include "common/ModuleVersion.h"
#include "common/TextUtil.h"
#include "config/ConfigNotes.h"
#include "config/DeltaPatchInfo.h"
#include "config/GeneralUtil.h"
#include "config/INIParser.h"
#include "config/PatchIniMgr.h"

namespace twcheck {
namespace {

using tw::CConfigMgr;
using SectionKind = tw::CConfigMgr::SectionKind;

constexpr size_t kPathSize = 1040;

// Runs one pass of the installer's configuration code with what it has to say recorded
// into outcome; the parser's error ends the pass as it ends the installer's.
template <typename Pass>
void RunPass(PassOutcome& outcome, Pass pass) {
    tw::CConfigNotes notes;
    try {
        outcome.ok = pass(notes);
    } catch (const std::exception& e) {
        outcome.ok = false;
        outcome.error = e.what();
    }
    outcome.messages = notes.ShownTexts();
    outcome.logLines = notes.LoggedTexts();
}

void ReadSections(const std::string& iniPath, UpdateFolderSnapshot& snapshot) {
    tw::CINIParser parser(iniPath);
    tw::SectionNameList names;
    try {
        names = parser.GetSectionNames();
    } catch (const std::exception& e) {
        snapshot.iniError = e.what();
        return;
    }
    for (const std::string& name : names) {
        IniSection section;
        section.name = name;
        section.kind = CConfigMgr::ClassifySection(name);
        try {
            section.pairs = parser.GetKeyValuePairs(name);
        } catch (const std::exception& e) {
            section.error = e.what();
        }
        if (section.kind == SectionKind::DeltaPatch)
            tw::PatchIniMgr::ParseDeltaSectionName(name.c_str(), section.fromRevision, section.toRevision);
        snapshot.sections.push_back(std::move(section));
    }
}

Verdict Judge(const std::function<bool(tw::CConfigNotes&)>& step) {
    PassOutcome outcome;
    RunPass(outcome, step);
    Verdict verdict;
    verdict.ok = outcome.ok;
    verdict.messages = outcome.messages;
    if (!outcome.error.empty()) verdict.messages.push_back(outcome.error);
    return verdict;
}

// Each delta-patch section name and each key of the patch sections, checked on its own by
// the installer's functions against the revision that twversion states.
void JudgeSections(UpdateFolderSnapshot& snapshot) {
    for (IniSection& section : snapshot.sections) {
        if (section.kind != SectionKind::DeltaPatch && section.kind != SectionKind::HistoryPatch) continue;
        tw::CDeltaPatchList scratch;
        if (section.kind == SectionKind::DeltaPatch) {
            bool skip = false;
            section.nameVerdict = Judge([&](tw::CConfigNotes& notes) {
                return tw::PatchIniMgr::ProcessNewDeltaPatchSection(scratch, section.name.c_str(), 0,
                                                                    snapshot.patchRevision, skip, 0, notes);
            });
        }
        for (const auto& pair : section.pairs)
            section.keyVerdicts[pair.first] = Judge([&](tw::CConfigNotes& notes) {
                return tw::CDeltaPatchInfo::ProcessOneKeyValuePair(scratch, pair.first, pair.second,
                                                                   snapshot.folder.c_str(),
                                                                   CUpdateFolderReader::kInstallFolder, notes);
            });
    }
}

void ReadPackages(UpdateFolderSnapshot& snapshot) {
    for (const IniSection& section : snapshot.sections) {
        if (section.kind != SectionKind::DeltaPatch && section.kind != SectionKind::HistoryPatch) continue;
        for (const auto& pair : section.pairs) {
            if (pair.second.empty() || !tw::CDeltaPatchInfo::NamesPatchFile(pair.first, pair.second)) continue;
            const std::string id = tw::GeneralUtil::ToLower(pair.second);
            if (snapshot.packages.count(id)) continue;
            char path[kPathSize];
            tw::CConfigNotes unused;  // a name too long for a path is a key finding already
            if (!tw::GeneralUtil::GetFullFilePathName(snapshot.folder.c_str(), pair.second.c_str(), path, sizeof(path),
                                                      unused))
                continue;
            snapshot.packages[id] = CPatchPackageReader::Read(path, pair.second);
        }
    }
}

// The installed revisions the folder offers an update from: the start of every delta-patch
// section whose name the installer accepts.
std::set<uint32_t> StartRevisions(const UpdateFolderSnapshot& snapshot) {
    std::set<uint32_t> starts;
    for (const IniSection& section : snapshot.sections)
        if (section.kind == SectionKind::DeltaPatch && section.fromRevision != 0 && section.toRevision != 0 &&
            section.fromRevision <= section.toRevision)
            starts.insert(section.fromRevision);
    return starts;
}

// The sections the second pass uses for an installed revision, decided by the installer's
// own section check.
std::vector<std::string> AppliedSections(const UpdateFolderSnapshot& snapshot, const tw::TWVersionInfo& info) {
    std::vector<std::string> applied;
    tw::CDeltaPatchList scratch;
    tw::CConfigNotes unused;  // the run's own pass has said it already
    bool skip = false;
    for (const IniSection& section : snapshot.sections) {
        if (section.kind == SectionKind::DeltaPatch) {
            if (!tw::PatchIniMgr::ProcessNewDeltaPatchSection(scratch, section.name.c_str(), info.installedRevision,
                                                              info.patchRevision, skip, info.deltaSectionLevel, unused))
                break;
            if (!skip) applied.push_back(section.name);
        } else if (section.kind == SectionKind::HistoryPatch && !skip) {
            applied.push_back(section.name);
        }
    }
    return applied;
}

// The installer program beside patch.ini and the version of its version resource.
ProgramInfo ReadProgram(const std::string& folder) {
    ProgramInfo program;
    const std::string path = folder + "\\" + CUpdateFolderReader::kInstallerProgram;
    program.found = tw::FileExists(path);
    tw::CModuleVersion version;
    if (program.found && version.GetFileVersionInfo(path.c_str())) {
        program.hasVersion = true;
        program.version =
            tw::FormatString("%lu.%lu.%lu.%lu", static_cast<unsigned long>(HIWORD(version.dwFileVersionMS)),
                             static_cast<unsigned long>(LOWORD(version.dwFileVersionMS)),
                             static_cast<unsigned long>(HIWORD(version.dwFileVersionLS)),
                             static_cast<unsigned long>(LOWORD(version.dwFileVersionLS)));
    }
    return program;
}

// The patch packages lying in the folder itself, whether patch.ini names them or not.
std::vector<std::string> ListPackages(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    tw::FindHandle find(::FindFirstFileA((folder + "\\*.msp").c_str(), &data));
    if (!find) return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
    } while (::FindNextFileA(find.Get(), &data));
    return names;
}

}  // namespace

void CUpdateFolderReader::SimulateRun(UpdateFolderSnapshot& snapshot, uint32_t revision) {
    SimulateRun(snapshot, revision,
                tw::FormatString("%d.0.%u.0", static_cast<int>(snapshot.majorVersion),
                                 static_cast<unsigned>(snapshot.level) * 1000u + revision));
}

void CUpdateFolderReader::SimulateRun(UpdateFolderSnapshot& snapshot, uint32_t revision,
                                      const std::string& versionString) {
    SimulatedRun run;
    run.startRevision = revision;
    run.installedVersion = versionString;
    CConfigMgr config;
    // What Windows Installer would answer for the product that patch.ini names: nothing
    // without a product code, else the given "VersionString".
    const auto readInstalled = [&config, &versionString](tw::PatchIniMgr::InstalledVersion& version) {
        return !config.GetProductCode().empty() && tw::PatchIniMgr::ParseVersionString(versionString.c_str(), version);
    };

    // A run reads patch.ini twice with one configuration object, as the installer does.
    PassOutcome first;
    RunPass(first,
            [&](tw::CConfigNotes& notes) { return config.ReadConfInfoFromFile(snapshot.folder.c_str(), notes); });
    RunPass(run.pass, [&](tw::CConfigNotes& notes) {
        return config.ReadPatchIniFile(snapshot.folder.c_str(), kInstallFolder, readInstalled, notes);
    });
    for (const auto* e = config.GetDeltaPatchList().Head(); e; e = e->next.get())
        run.entries.push_back(RouteEntry{e->patchFile, e->size});
    run.appliedSections = AppliedSections(snapshot, config.GetVersionInfo());
    snapshot.runs.push_back(std::move(run));
}

bool CUpdateFolderReader::Read(const std::string& folder, UpdateFolderSnapshot& snapshot, std::string& error) {
    snapshot = UpdateFolderSnapshot();
    std::string base = folder;
    while (base.size() > 3 && (base.back() == '\\' || base.back() == '/')) base.pop_back();
    if (!tw::FolderExists(base)) {
        error = tw::FormatString("the update folder %s cannot be read (not a folder)", folder.c_str());
        return false;
    }
    char iniPath[kPathSize];
    tw::CConfigNotes unused;  // the error below says it
    if (base.size() >= CConfigMgr::kPatchFolderSize ||
        !tw::GeneralUtil::GetFullFilePathName(base.c_str(), "patch.ini", iniPath, sizeof(iniPath), unused)) {
        error = tw::FormatString("the path of the update folder %s is too long", folder.c_str());
        return false;
    }
    if (!tw::FileExists(iniPath)) {
        error = tw::FormatString("%s: there is no patch.ini", folder.c_str());
        return false;
    }
    {
        tw::FileHandle probe(::CreateFileA(iniPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!probe) {
            error = tw::FormatString("%s cannot be opened (error %lu)", iniPath, ::GetLastError());
            return false;
        }
    }
    snapshot.folder = base;
    snapshot.program = ReadProgram(base);
    snapshot.folderPackages = ListPackages(base);

    ReadSections(iniPath, snapshot);
    if (!snapshot.iniError.empty()) return true;

    CConfigMgr config;
    RunPass(snapshot.firstPass,
            [&](tw::CConfigNotes& notes) { return config.ReadConfInfoFromFile(base.c_str(), notes); });
    snapshot.productCode = config.GetProductCode();
    snapshot.twVersion = config.GetTWVersion();
    snapshot.fileVersion = config.GetTWFileVersion();
    snapshot.productName = config.GetTWName();
    snapshot.installerProperties = tw::CPatchInstallerBase::BuildInstallerProperties(config);
    snapshot.msi = config.GetMsiSettings();
    snapshot.country = config.GetCountry();
    snapshot.server = config.GetServer();
    tw::TWVersionInfo version = config.GetVersionInfo();
    tw::CConfigNotes parse;  // the second pass reports a malformed target version in its own verdict
    tw::PatchIniMgr::AssignVersionInfo(version, parse);
    snapshot.majorVersion = version.majorVersion;
    snapshot.level = version.level;
    snapshot.patchRevision = static_cast<uint32_t>(version.revision);

    ReadPackages(snapshot);
    JudgeSections(snapshot);
    // A run that stops in its first pass never reaches the delta patches.
    if (snapshot.firstPass.ok)
        for (uint32_t revision : StartRevisions(snapshot)) SimulateRun(snapshot, revision);
    return true;
}

}  // namespace twcheck
