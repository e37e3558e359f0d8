#include "check/UpdateFolderCheck.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>

#include "app/DiskSpaceCheck.h"
#include "app/InstallerTexts.h"
#include "app/PatchPackageCheck.h"
#include "check/FolderContentsCheck.h"
#include "check/RunSettingsCheck.h"
#include "common/TextUtil.h"
#include "config/DeltaPatchInfo.h"
#include "config/GeneralUtil.h"
#include "config/PatchIniMgr.h"

namespace twcheck {
namespace {

using SectionKind = tw::CConfigMgr::SectionKind;
using tw::GeneralUtil;

std::string Lower(const std::string& text) { return GeneralUtil::ToLower(text); }
bool Has(const std::string& lowerText, const char* word) { return lowerText.find(word) != std::string::npos; }
std::string Bracket(const std::string& section) { return CheckFinding::SectionSubject(section); }
std::string KeySubject(const std::string& section, const std::string& key) {
    return CheckFinding::KeySubject(section, key);
}
std::string OneLine(const std::string& text) { return CheckFinding::OneLine(text); }

std::string Join(const std::vector<std::string>& texts, const char* separator) {
    std::string out;
    for (const std::string& text : texts) {
        if (!out.empty()) out += separator;
        out += text;
    }
    return out;
}

CheckFinding Make(const char* code, const std::string& subject, const std::string& reason,
                  const std::string& userMessage = std::string(), bool stopsUpdate = false) {
    return CheckFinding::Make(code, subject, reason, userMessage, stopsUpdate);
}

void AddUnique(std::vector<CheckFinding>& findings, const CheckFinding& finding) {
    if (std::find(findings.begin(), findings.end(), finding) == findings.end()) findings.push_back(finding);
}

const char* const kMsiWords[] = {
    "reinstallmode",         "reinstall",   "cmdoptions",    "loginfomsg",  "logprogressmsg", "productcodestandard",
    "productcodeenterprise", "productcode", "savetempfiles", "loggingmode", "loggingenable"};

// The MSI key the installer takes a key for, in its order of tests; null when none.
const char* MsiWordOf(const std::string& lowerKey) {
    for (const char* word : kMsiWords)
        if (Has(lowerKey, word)) return word;
    return nullptr;
}

// twversion too short to read: everything measured against it is moot.
bool TwVersionUnreadable(const UpdateFolderSnapshot& snapshot) { return snapshot.twVersion.size() < 9; }

// What a pass that stopped has to say: its box texts and the parser's error, or else the
// last line it logged.
std::vector<std::string> StopTexts(const PassOutcome& pass) {
    std::vector<std::string> texts = pass.messages;
    if (!pass.error.empty()) texts.push_back(pass.error);
    if (texts.empty() && !pass.logLines.empty()) texts.push_back(pass.logLines.back());
    return texts;
}

// Refusals of the passes whose texts no finding carries yet: each becomes a finding of its
// own, the second pass's grouped by the text with the revisions it refuses.
void AddUncoveredRefusals(const UpdateFolderSnapshot& snapshot, std::vector<CheckFinding>& findings) {
    auto covered = [&findings](const std::string& text) {
        const std::string line = OneLine(text);
        return std::any_of(findings.begin(), findings.end(), [&line](const CheckFinding& f) {
            return !line.empty() && f.userMessage.find(line) != std::string::npos;
        });
    };
    auto uncovered = [&covered](const PassOutcome& pass) {
        std::vector<std::string> left;
        for (const std::string& text : StopTexts(pass))
            if (!covered(text)) left.push_back(OneLine(text));
        return Join(left, " ");
    };
    if (!snapshot.firstPass.ok) {
        const std::string left = uncovered(snapshot.firstPass);
        if (!left.empty())
            AddUnique(findings, Make("update-refused", "patch.ini", "the installer stops while reading its settings",
                                     left, true));
    }
    std::map<std::string, std::vector<std::string>> refusals;  // message -> revisions
    for (const SimulatedRun& run : snapshot.runs) {
        if (run.pass.ok) continue;
        const std::string left = uncovered(run.pass);
        if (!left.empty()) refusals[left].push_back(tw::FormatString("%u", static_cast<unsigned>(run.startRevision)));
    }
    for (const auto& [message, revisions] : refusals)
        findings.push_back(Make("update-refused", "patch.ini",
                                "the installer refuses the update of revision(s) " + Join(revisions, ", "), message,
                                true));
}

void CheckMsiSection(const IniSection& section, std::vector<CheckFinding>& findings) {
    for (const auto& pair : section.pairs) {
        const char* word = MsiWordOf(Lower(pair.first));
        const std::string subject = KeySubject(section.name, pair.first);
        if (!word) {
            findings.push_back(
                Make("ignored-key", subject, "not a Windows Installer setting; the installer ignores it"));
        } else if (pair.second.empty() && std::string(word) != "cmdoptions" && std::string(word) != "productcode") {
            findings.push_back(Make("ignored-key", subject, "empty value; the installer keeps its default"));
        }
    }
}

void CheckPatchSection(const IniSection& section, const UpdateFolderSnapshot& snapshot,
                       std::vector<CheckFinding>& findings) {
    const bool illFormed =
        section.fromRevision == 0 || section.toRevision == 0 || section.fromRevision > section.toRevision;
    if (section.kind == SectionKind::DeltaPatch && !section.nameVerdict.ok &&
        (illFormed || !TwVersionUnreadable(snapshot))) {
        findings.push_back(Make("bad-section-name", Bracket(section.name),
                                "the installer refuses this delta-patch section name",
                                Join(section.nameVerdict.messages, " "), true));
        return;
    }
    for (const auto& pair : section.pairs) {
        const std::string key = Lower(pair.first);
        const std::string subject = KeySubject(section.name, pair.first);
        auto verdict = section.keyVerdicts.find(pair.first);
        const Verdict none;
        const Verdict& v = verdict == section.keyVerdicts.end() ? none : verdict->second;
        const bool namesFile = tw::CDeltaPatchInfo::NamesPatchFile(pair.first, pair.second);
        if (namesFile) {
            auto package = snapshot.packages.find(Lower(pair.second));
            const bool missing = package != snapshot.packages.end() && !package->second.exists;
            if (missing && !tw::CDeltaPatchInfo::IsRefusedPatchName(key, pair.second))
                continue;  // reported with the packages
            if (!v.ok)
                findings.push_back(Make("refused-key", subject, "the installer refuses this patch entry",
                                        Join(v.messages, " "), true));
        } else if (key == "reinstall" || key == "reinstallmode" || key == "cmdoptions") {
            findings.push_back(
                Make("ignored-key", subject,
                     "kept with the patch entry before it, but the apply call uses the MSI section's value"));
        } else {
            findings.push_back(Make("refused-key", subject,
                                    "unknown key in a patch section; the installer shows an error and goes on",
                                    Join(v.messages, " "), !v.ok));
        }
    }
}

}  // namespace

std::vector<CheckFinding> CUpdateFolderCheck::CheckSections(const UpdateFolderSnapshot& snapshot) {
    std::vector<CheckFinding> findings;
    for (const IniSection& section : snapshot.sections) {
        if (!section.error.empty()) {
            findings.push_back(Make("empty-section", Bracket(section.name),
                                    "section without keys; the installer stops reading patch.ini", section.error,
                                    true));
            continue;
        }
        switch (section.kind) {
            case SectionKind::Title:
                for (const auto& pair : section.pairs)
                    if (Lower(pair.first) != "product")
                        findings.push_back(Make("ignored-key", KeySubject(section.name, pair.first),
                                                "only Product is read from this section"));
                break;
            case SectionKind::QaTest:
            case SectionKind::RelatedApps:
            case SectionKind::AgentData:
                break;
            case SectionKind::Msi:
                CheckMsiSection(section, findings);
                break;
            case SectionKind::DeltaPatch:
            case SectionKind::HistoryPatch:
                CheckPatchSection(section, snapshot, findings);
                break;
            case SectionKind::AutoPatch:
                for (const auto& pair : section.pairs) {
                    const std::string key = Lower(pair.first);
                    if (!Has(key, "twversion") && !Has(key, "lastschemachangereleasenum") && !Has(key, "country") &&
                        !Has(key, "server"))
                        findings.push_back(
                            Make("refused-key", KeySubject(section.name, pair.first),
                                 "invalid key of the version section; the installer shows an error and goes on",
                                 GeneralUtil::kProgramErrorText));
                }
                break;
            case SectionKind::PatchConfig:
                for (const auto& pair : section.pairs) {
                    const std::string key = Lower(pair.first);
                    if (!Has(key, "twname") && !Has(key, "twfileversion"))
                        findings.push_back(Make("refused-key", KeySubject(section.name, pair.first),
                                                "invalid key of the patch configuration; the installer stops",
                                                GeneralUtil::kProgramErrorText, true));
                }
                break;
            case SectionKind::Unknown:
                if (Lower(section.name) == "enable") {
                    for (const auto& pair : section.pairs) {
                        const std::string key = Lower(pair.first);
                        if (key != "isnetenabled" && key != "isfeatureenabled")
                            findings.push_back(
                                Make("ignored-key", KeySubject(section.name, pair.first),
                                     "only IsNetEnabled and IsFeatureEnabled are read from this section"));
                    }
                } else {
                    findings.push_back(Make("unknown-section", Bracket(section.name),
                                            "the installer logs the section as unknown and skips it"));
                }
                break;
        }
    }
    return findings;
}

Route CUpdateFolderCheck::RouteOf(const UpdateFolderSnapshot& snapshot, const SimulatedRun& run) {
    Route route;
    route.startRevision = run.startRevision;
    route.accepted = run.pass.ok;
    route.sections = run.appliedSections;
    route.finalRevision = run.startRevision;
    for (const RouteEntry& entry : run.entries) {
        std::string name = entry.patchFile;
        const std::string prefix = snapshot.folder + "\\";
        if (name.size() > prefix.size() && _strnicmp(name.c_str(), prefix.c_str(), prefix.size()) == 0)
            name = name.substr(prefix.size());
        route.patches.push_back(RoutePatch{name, entry.size});
        route.totalSize += entry.size;
    }
    for (const std::string& name : run.appliedSections)
        for (const IniSection& section : snapshot.sections)
            if (section.name == name && section.kind == SectionKind::DeltaPatch)
                route.finalRevision = section.toRevision;
    if (!run.pass.ok) route.stopMessage = OneLine(Join(StopTexts(run.pass), " "));
    return route;
}

std::vector<CheckFinding> CUpdateFolderCheck::CheckChain(const UpdateFolderSnapshot& snapshot) {
    std::vector<CheckFinding> findings;
    std::map<std::string, const IniSection*> byName;
    for (const IniSection& section : snapshot.sections)
        if (section.kind == SectionKind::DeltaPatch && section.nameVerdict.ok) byName.emplace(section.name, &section);

    // Two sections that start at one revision lead to different places. The chain through
    // them is not judged again.
    std::map<uint32_t, const IniSection*> byStart;
    std::set<std::string> conflicting;
    for (const IniSection& section : snapshot.sections) {
        if (section.kind != SectionKind::DeltaPatch || !section.nameVerdict.ok) continue;
        auto [it, inserted] = byStart.emplace(section.fromRevision, &section);
        if (inserted || (it->second->toRevision == section.toRevision && it->second->pairs == section.pairs)) continue;
        findings.push_back(Make("chain-conflict", Bracket(it->second->name) + " " + Bracket(section.name),
                                tw::FormatString("both start at revision %u but lead to different results",
                                                 static_cast<unsigned>(section.fromRevision))));
        conflicting.insert(it->second->name);
        conflicting.insert(section.name);
    }

    for (const SimulatedRun& run : snapshot.runs) {
        if (!run.pass.ok) continue;
        uint32_t current = run.startRevision;
        for (const std::string& name : run.appliedSections) {
            auto found = byName.find(name);
            if (found == byName.end()) continue;  // history patches do not move the revision
            const IniSection& section = *found->second;
            if (conflicting.count(section.name)) {
                current = std::max(current, section.toRevision);
                continue;
            }
            const std::string subject = Bracket(section.name);
            if (section.fromRevision == section.toRevision) {
                AddUnique(findings, Make("chain-loop", subject, "leads from a revision back to itself"));
            } else if (section.fromRevision > current) {
                AddUnique(findings,
                          Make("chain-hole", subject,
                               tw::FormatString(
                                   "from revision %u the chain reaches %u, but this section "
                                   "starts at %u; nothing updates %u",
                                   static_cast<unsigned>(run.startRevision), static_cast<unsigned>(current),
                                   static_cast<unsigned>(section.fromRevision), static_cast<unsigned>(current))));
            } else if (section.fromRevision < current) {
                AddUnique(findings, Make("chain-loop", subject,
                                         tw::FormatString("from revision %u it is applied to revision %u, which is "
                                                          "already past its start %u",
                                                          static_cast<unsigned>(run.startRevision),
                                                          static_cast<unsigned>(current),
                                                          static_cast<unsigned>(section.fromRevision))));
            }
            current = std::max(current, section.toRevision);
        }
        if (current != snapshot.patchRevision)
            AddUnique(findings,
                      Make("chain-hole", "twversion " + snapshot.twVersion,
                           tw::FormatString("from revision %u the chain ends at revision %u, but twversion "
                                            "states revision %u",
                                            static_cast<unsigned>(run.startRevision), static_cast<unsigned>(current),
                                            static_cast<unsigned>(snapshot.patchRevision))));
    }
    return findings;
}

namespace {

// The revision part of a product version A.B.C.D (C is level * 1000 + revision); -1 when
// the version has not that form.
long RevisionPart(const std::string& version) {
    size_t first = version.find('.');
    size_t second = first == std::string::npos ? first : version.find('.', first + 1);
    return second == std::string::npos ? -1 : std::atol(version.c_str() + second + 1);
}

// Every transform of a package made for the folder's product must move the product between
// the versions its delta-patch section states: Windows Installer applies whichever fits the
// installed product. A transform the list names that cannot be read applies nothing.
void JudgeTransforms(const UpdateFolderSnapshot& snapshot, const IniSection& section, const PatchPackageInfo& package,
                     const std::string& named, std::map<int, std::string>& targetMajors,
                     std::vector<CheckFinding>& findings) {
    std::vector<std::string> unreadable;
    std::vector<const TransformInfo*> ours;
    for (const TransformInfo& transform : package.transforms) {
        if (!transform.readable)
            unreadable.push_back(transform.name);
        else if (_stricmp(transform.productCode.c_str(), snapshot.productCode.c_str()) == 0)
            ours.push_back(&transform);
    }
    if (!unreadable.empty())
        AddUnique(findings, Make("patch-transform-missing", package.fileName,
                                 named + " but its transform(s) " + Join(unreadable, ", ") +
                                     " cannot be read; Windows Installer applies nothing of them"));
    for (const TransformInfo* transform : ours)
        targetMajors.emplace(std::atoi(transform->toVersion.c_str()), package.fileName);
    if (section.kind != SectionKind::DeltaPatch || !section.nameVerdict.ok) return;
    if (ours.empty()) {
        if (unreadable.empty())
            AddUnique(findings,
                      Make("patch-version-range", package.fileName,
                           named + " but none of its transforms is made for the product code " + snapshot.productCode));
        return;
    }
    const long claimedFrom = snapshot.level * 1000L + static_cast<long>(section.fromRevision);
    const long claimedTo = snapshot.level * 1000L + static_cast<long>(section.toRevision);
    for (const TransformInfo* transform : ours) {
        if (RevisionPart(transform->fromVersion) == claimedFrom && RevisionPart(transform->toVersion) == claimedTo)
            continue;
        std::string reason = named + " (" + tw::FormatString("%ld", claimedFrom) + " to " +
                             tw::FormatString("%ld", claimedTo) + ") but ";
        reason += ours.size() > 1 ? "its transform " + transform->name + " moves" : "it moves";
        reason += " the product from " + transform->fromVersion + " to " + transform->toVersion;
        AddUnique(findings, Make("patch-version-range", package.fileName, reason));
    }
}

}  // namespace

std::vector<CheckFinding> CUpdateFolderCheck::CheckPackages(const UpdateFolderSnapshot& snapshot) {
    std::vector<CheckFinding> findings;
    std::map<int, std::string> targetMajors;  // major version -> a patch that targets it
    for (const IniSection& section : snapshot.sections) {
        if (section.kind != SectionKind::DeltaPatch && section.kind != SectionKind::HistoryPatch) continue;
        for (const auto& pair : section.pairs) {
            if (pair.second.empty() || !tw::CDeltaPatchInfo::NamesPatchFile(pair.first, pair.second)) continue;
            if (tw::CDeltaPatchInfo::IsRefusedPatchName(pair.first, pair.second)) continue;  // a key finding
            auto found = snapshot.packages.find(Lower(pair.second));
            if (found == snapshot.packages.end()) continue;
            const PatchPackageInfo& package = found->second;
            const std::string named = "named by " + Bracket(section.name);
            if (!package.exists) {
                auto verdict = section.keyVerdicts.find(pair.first);
                std::string message =
                    verdict == section.keyVerdicts.end() ? std::string() : Join(verdict->second.messages, " ");
                AddUnique(findings,
                          Make("patch-missing", package.fileName, named + " but not in the folder", message, true));
                continue;
            }
            // The installer's own verdict on the package, for this folder's product code.
            const tw::CPatchPackageCheck::Verdict verdict =
                tw::CPatchPackageCheck::Judge(package.facts, snapshot.productCode);
            const std::string userSees = tw::PatchIniMgr::FilesMissingText(
                tw::PatchIniMgr::kFilesMissingError, (snapshot.folder + "\\" + package.fileName).c_str());
            if (verdict.refusal == tw::CPatchPackageCheck::Refusal::OtherProduct) {
                AddUnique(findings, Make("patch-other-product", package.fileName,
                                         named + " but it targets " + Join(package.targetProducts, ";") +
                                             ", not the product code " + snapshot.productCode,
                                         userSees, true));
                continue;
            }
            if (verdict.refusal != tw::CPatchPackageCheck::Refusal::None) {
                AddUnique(findings, Make("patch-not-msp", package.fileName,
                                         named + " but the installer refuses it: " + verdict.reason, userSees, true));
                continue;
            }
            JudgeTransforms(snapshot, section, package, named, targetMajors, findings);
        }
    }
    for (const auto& [major, file] : targetMajors)
        if (major != snapshot.majorVersion) {
            std::string message;
            if (!snapshot.runs.empty() && !snapshot.runs.front().pass.ok)
                message = Join(snapshot.runs.front().pass.messages, " ");
            AddUnique(findings, Make("twversion-major", "twversion " + snapshot.twVersion,
                                     tw::FormatString("states major version %d, but %s targets major version %d",
                                                      static_cast<int>(snapshot.majorVersion), file.c_str(), major),
                                     message, !message.empty()));
        }
    return findings;
}

CheckReport CUpdateFolderCheck::Evaluate(const UpdateFolderSnapshot& snapshot) {
    CheckReport report;
    report.folder = snapshot.folder;
    report.productCode = snapshot.productCode;
    report.twVersion = snapshot.twVersion;
    report.installerProperties = snapshot.installerProperties;
    report.requiredFreeBytes = tw::CDiskSpaceCheck::kRequiredBytes;

    if (!snapshot.iniError.empty()) {
        report.findings.push_back(
            Make("ini-unreadable", "patch.ini", "the installer finds no sections in it", snapshot.iniError, true));
        return report;
    }
    for (const SimulatedRun& run : snapshot.runs) report.routes.push_back(RouteOf(snapshot, run));
    if (!snapshot.firstPass.ok) report.settingsStopMessage = OneLine(Join(StopTexts(snapshot.firstPass), " "));

    std::vector<CheckFinding> findings = CheckSections(snapshot);
    if (TwVersionUnreadable(snapshot)) {
        // The gate reads defaults instead; what it then says is part of this one finding.
        std::string message = GeneralUtil::kProgramErrorText;
        for (const SimulatedRun& run : snapshot.runs)
            if (!run.pass.ok) {
                message = Join(run.pass.messages, " ");
                break;
            }
        findings.push_back(Make("bad-twversion", "twversion " + snapshot.twVersion,
                                "the installer needs nine digits (major, level, revision, build)", message, true));
        for (const CheckFinding& f : CheckPackages(snapshot))
            if (f.code == "patch-missing" || f.code == "patch-not-msp" || f.code == "patch-other-product")
                AddUnique(findings, f);
    } else {
        for (const CheckFinding& f : CheckPackages(snapshot)) AddUnique(findings, f);
        // A chain is judged only where the installer accepts the folder at all.
        for (const CheckFinding& f : CheckChain(snapshot)) AddUnique(findings, f);
    }

    if (snapshot.productCode.empty())
        AddUnique(findings,
                  Make("no-product-code", "[MSI] ProductCode",
                       "patch.ini names no product code: the installer finds no installed product to update and "
                       "stops (18002)",
                       tw::texts::kProductMissing, true));

    AddUncoveredRefusals(snapshot, findings);

    report.companions = CRunSettingsCheck::Companions(snapshot);
    for (const std::vector<CheckFinding>& more :
         {CFolderContentsCheck::CheckProgram(snapshot, CFolderContentsCheck::CheckerVersion()),
          CFolderContentsCheck::CheckUnnamedPackages(snapshot), CFolderContentsCheck::CheckNamedTwice(snapshot),
          CRunSettingsCheck::CheckCmdOptions(snapshot), CRunSettingsCheck::CheckTracking(snapshot),
          CRunSettingsCheck::CheckMsiLog(snapshot), CRunSettingsCheck::CheckCompanions(report.companions)})
        for (const CheckFinding& f : more) AddUnique(findings, f);
    report.findings = std::move(findings);
    return report;
}

}  // namespace twcheck
