#include "check/UpdateFolderReader.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <set>
#include <stdexcept>

#include "app/PatchInstallerBase.h"
#include "check/PatchPackageReader.h"
#include "check/ReaderIsolation.h"
#include "common/Handles.h"
#include "common/PlatformSeams.h"
#include "common/TextUtil.h"
#include "config/DeltaPatchInfo.h"
#include "config/GeneralUtil.h"
#include "config/INIParser.h"
#include "config/PatchIniMgr.h"
#include "logging/StatusLogMgr.h"

namespace twcheck {
namespace {

using tw::CConfigMgr;
using SectionKind = tw::CConfigMgr::SectionKind;

constexpr size_t kPathSize = 1040;

// Where the message-box seam writes while a pass runs.
std::vector<std::string>* g_messages = nullptr;

std::string LogPath() {
    char path[kPathSize] = {};
    tw::StatusLogMgr::GetLogPath(path, sizeof(path));
    return path;
}

// The lines the last pass logged; the log is emptied for the next one.
std::vector<std::string> TakeLogLines() {
    std::vector<std::string> lines;
    const std::string path = LogPath();
    tw::CFile file(std::fopen(path.c_str(), "rb"));
    if (file) {
        std::string content;
        char block[4096];
        size_t got;
        while ((got = std::fread(block, 1, sizeof(block), file.Get())) > 0) content.append(block, got);
        file.Reset();
        for (std::string& line : tw::SplitLines(content))
            if (!line.empty()) lines.push_back(std::move(line));
    }
    ::DeleteFileA(path.c_str());
    return lines;
}

// Runs one pass with its messages and log lines recorded into outcome; the parser's error
// ends the pass as it ends the installer's.
template <typename Pass>
void RunPass(PassOutcome& outcome, Pass pass) {
    g_messages = &outcome.messages;
    try {
        outcome.ok = pass();
    } catch (const std::exception& e) {
        outcome.ok = false;
        outcome.error = e.what();
    }
    g_messages = nullptr;
    outcome.logLines = TakeLogLines();
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

Verdict Judge(const std::function<bool()>& step) {
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
            section.nameVerdict = Judge([&] {
                return tw::PatchIniMgr::ProcessNewDeltaPatchSection(scratch, section.name.c_str(), 0,
                                                                    snapshot.patchRevision, skip, 0);
            });
        }
        for (const auto& pair : section.pairs)
            section.keyVerdicts[pair.first] = Judge([&] {
                return tw::CDeltaPatchInfo::ProcessOneKeyValuePair(
                    scratch, pair.first, pair.second, snapshot.folder.c_str(), CUpdateFolderReader::kInstallFolder);
            });
    }
}

void ReadPackages(UpdateFolderSnapshot& snapshot) {
    for (const IniSection& section : snapshot.sections) {
        if (section.kind != SectionKind::DeltaPatch && section.kind != SectionKind::HistoryPatch) continue;
        for (const auto& pair : section.pairs) {
            const std::string key = tw::GeneralUtil::ToLower(pair.first);
            if (pair.second.empty() ||
                (key.find("deltapatch") == std::string::npos && key.find("historypatch") == std::string::npos))
                continue;
            const std::string id = tw::GeneralUtil::ToLower(pair.second);
            if (snapshot.packages.count(id)) continue;
            char path[kPathSize];
            if (!tw::GeneralUtil::GetFullFilePathName(snapshot.folder.c_str(), pair.second.c_str(), path, sizeof(path)))
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
    bool skip = false;
    for (const IniSection& section : snapshot.sections) {
        if (section.kind == SectionKind::DeltaPatch) {
            if (!tw::PatchIniMgr::ProcessNewDeltaPatchSection(scratch, section.name.c_str(), info.installedRevision,
                                                              info.patchRevision, skip, info.deltaSectionLevel))
                break;
            if (!skip) applied.push_back(section.name);
        } else if (section.kind == SectionKind::HistoryPatch && !skip) {
            applied.push_back(section.name);
        }
    }
    return applied;
}

void SimulateRun(UpdateFolderSnapshot& snapshot, uint32_t revision) {
    SimulatedRun run;
    run.startRevision = revision;
    run.installedVersion = tw::FormatString("%d.0.%u.0", static_cast<int>(snapshot.majorVersion),
                                            static_cast<unsigned>(snapshot.level) * 1000u + revision);
    const std::string version = run.installedVersion;
    tw::Platform().Msi.GetProductInfo = [version](LPCSTR, LPCSTR attribute, LPSTR buffer, LPDWORD size) -> UINT {
        if (!attribute || !size) return ERROR_INVALID_PARAMETER;
        std::string answer;
        if (std::strcmp(attribute, "VersionString") == 0)
            answer = version;
        else if (std::strcmp(attribute, "VersionMajor") == 0)
            answer = version.substr(0, version.find('.'));
        else
            return ERROR_UNKNOWN_PROPERTY;
        if (!buffer || answer.size() + 1 > *size) {
            *size = static_cast<DWORD>(answer.size());
            return ERROR_MORE_DATA;
        }
        std::memcpy(buffer, answer.c_str(), answer.size() + 1);
        *size = static_cast<DWORD>(answer.size());
        return ERROR_SUCCESS;
    };

    // A run reads patch.ini twice with one configuration object, as the installer does.
    CConfigMgr config;
    PassOutcome first;
    RunPass(first, [&] { return config.ReadConfInfoFromFile(snapshot.folder.c_str()); });
    const std::string productCode = config.GetProductCode();
    RunPass(run.pass, [&] {
        return config.ReadPatchIniFile(snapshot.folder.c_str(), CUpdateFolderReader::kInstallFolder,
                                       productCode.c_str());
    });
    for (const auto* e = config.GetDeltaPatchList().Head(); e; e = e->next.get())
        run.entries.push_back(RouteEntry{e->patchFile, e->size});
    PassOutcome scratch;
    RunPass(scratch, [&] {
        run.appliedSections = AppliedSections(snapshot, config.GetVersionInfo());
        return true;
    });
    snapshot.runs.push_back(std::move(run));
}

}  // namespace

bool CUpdateFolderReader::Read(const std::string& folder, UpdateFolderSnapshot& snapshot, std::string& error) {
    snapshot = UpdateFolderSnapshot();
    std::string base = folder;
    while (base.size() > 3 && (base.back() == '\\' || base.back() == '/')) base.pop_back();
    const DWORD attributes = ::GetFileAttributesA(base.c_str());
    if (base.empty() || attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = tw::FormatString("the update folder %s cannot be read (not a folder)", folder.c_str());
        return false;
    }
    char iniPath[kPathSize];
    if (base.size() >= CConfigMgr::kPatchFolderSize ||
        !tw::GeneralUtil::GetFullFilePathName(base.c_str(), "patch.ini", iniPath, sizeof(iniPath))) {
        error = tw::FormatString("the path of the update folder %s is too long", folder.c_str());
        return false;
    }
    const DWORD iniAttributes = ::GetFileAttributesA(iniPath);
    if (iniAttributes == INVALID_FILE_ATTRIBUTES || (iniAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
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

    CReaderIsolation isolation;
    // The checker never shows a box: every text becomes part of the findings.
    tw::Platform().ShowMessageBox = [](HWND, LPCSTR text, LPCSTR, UINT, WORD) {
        if (g_messages) g_messages->push_back(text ? text : "");
        return IDOK;
    };
    // The first line of a process's log is a date header; write it out of the way.
    tw::StatusLogMgr::LogStatus("twpatchcheck");
    TakeLogLines();

    ReadSections(iniPath, snapshot);
    if (!snapshot.iniError.empty()) return true;

    CConfigMgr config;
    RunPass(snapshot.firstPass, [&] { return config.ReadConfInfoFromFile(base.c_str()); });
    snapshot.productCode = config.GetProductCode();
    snapshot.twVersion = config.GetTWVersion();
    snapshot.fileVersion = config.GetTWFileVersion();
    snapshot.installerProperties = tw::CPatchInstallerBase::BuildInstallerProperties(config);
    tw::TWVersionInfo version = config.GetVersionInfo();
    PassOutcome parse;
    RunPass(parse, [&] {
        tw::PatchIniMgr::AssignVersionInfo(version);
        return true;
    });
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
