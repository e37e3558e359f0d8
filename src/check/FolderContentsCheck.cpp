#include "check/FolderContentsCheck.h"

#include <algorithm>
#include <map>
#include <set>

#include "TwBuildVersion.h"
#include "check/UpdateFolderReader.h"
#include "common/TextUtil.h"
#include "config/DeltaPatchInfo.h"
#include "config/GeneralUtil.h"

namespace twcheck {
namespace {

using SectionKind = tw::CConfigMgr::SectionKind;

bool IsPatchSection(const IniSection& section) {
    return section.kind == SectionKind::DeltaPatch || section.kind == SectionKind::HistoryPatch;
}

// A file name of patch.ini as the folder knows it: letter case ignored, either separator.
std::string FileKey(const std::string& name) {
    std::string key = tw::GeneralUtil::ToLower(name);
    std::replace(key.begin(), key.end(), '/', '\\');
    return key;
}

struct Naming {
    std::string section;
    std::string key;
    std::string value;  // the file name as written
};

// Every key of a patch section that names a file, by file.
std::map<std::string, std::vector<Naming>> NamedFiles(const UpdateFolderSnapshot& snapshot) {
    std::map<std::string, std::vector<Naming>> named;
    for (const IniSection& section : snapshot.sections) {
        if (!IsPatchSection(section)) continue;
        for (const auto& pair : section.pairs)
            if (!pair.second.empty() && tw::CDeltaPatchInfo::NamesPatchFile(pair.first, pair.second))
                named[FileKey(pair.second)].push_back(Naming{section.name, pair.first, pair.second});
    }
    return named;
}

}  // namespace

constexpr const char CFolderContentsCheck::kProgramMissing[];

const char* CFolderContentsCheck::CheckerVersion() { return TW_VERSION_TEXT; }

std::vector<CheckFinding> CFolderContentsCheck::CheckProgram(const UpdateFolderSnapshot& snapshot,
                                                             const std::string& checkerVersion) {
    const std::string name = CUpdateFolderReader::kInstallerProgram;
    if (!snapshot.program.found)
        return {CheckFinding::Make(kProgramMissing, name, "not in the update folder: nothing there runs the update",
                                   std::string(), true)};
    if (!snapshot.program.hasVersion)
        return {CheckFinding::Make(
            "program-version", name,
            "has no version resource; this checker predicts what twpatch.exe " + checkerVersion + " does")};
    if (snapshot.program.version != checkerVersion)
        return {CheckFinding::Make("program-version", name,
                                   "is version " + snapshot.program.version +
                                       "; this checker predicts what twpatch.exe " + checkerVersion + " does")};
    return {};
}

std::vector<CheckFinding> CFolderContentsCheck::CheckUnnamedPackages(const UpdateFolderSnapshot& snapshot) {
    const std::map<std::string, std::vector<Naming>> named = NamedFiles(snapshot);
    std::vector<CheckFinding> findings;
    for (const std::string& file : snapshot.folderPackages)
        if (!named.count(FileKey(file)))
            findings.push_back(CheckFinding::Make("patch-unnamed", file,
                                                  "lies in the folder, but no section of patch.ini names it; the "
                                                  "installer never applies it"));
    return findings;
}

std::vector<CheckFinding> CFolderContentsCheck::CheckNamedTwice(const UpdateFolderSnapshot& snapshot) {
    std::vector<CheckFinding> findings;
    for (const auto& named : NamedFiles(snapshot)) {
        const std::vector<Naming>& namings = named.second;
        if (namings.size() < 2) continue;
        std::string reason = "named by";
        for (size_t i = 0; i < namings.size(); ++i)
            reason += (i == 0 ? " " : (i + 1 == namings.size() ? " and " : ", ")) +
                      CheckFinding::KeySubject(namings[i].section, namings[i].key);
        // The routes on which more than one of those keys is read.
        std::vector<std::string> twice;
        for (const SimulatedRun& run : snapshot.runs) {
            if (!run.pass.ok) continue;
            size_t reached = 0;
            for (const Naming& naming : namings)
                reached += static_cast<size_t>(
                    std::count(run.appliedSections.begin(), run.appliedSections.end(), naming.section));
            if (reached > 1) twice.push_back(tw::FormatString("%u", static_cast<unsigned>(run.startRevision)));
        }
        reason += "; the installer lists it once";
        if (!twice.empty()) {
            reason += ", so from revision";
            for (size_t i = 0; i < twice.size(); ++i) reason += (i ? ", " : " ") + twice[i];
            reason += " it is applied once where the chain reaches it twice";
        }
        findings.push_back(CheckFinding::Make("patch-named-twice", namings.front().value, reason));
    }
    return findings;
}

}  // namespace twcheck
