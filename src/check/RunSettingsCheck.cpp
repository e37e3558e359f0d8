#include "check/RunSettingsCheck.h"

#include "check/UpdateFolderReader.h"
#include "config/ConfigMgr.h"
#include "config/GeneralUtil.h"
#include "config/InstallerProperties.h"
#include "logging/InstallTracker.h"

namespace twcheck {
namespace {

using SectionKind = tw::CConfigMgr::SectionKind;
using tw::CInstallerProperties;
using tw::GeneralUtil;

// Processes of Windows itself: ending one disturbs the session, and Windows starts most of
// them again, so the run keeps waiting for them.
const char* const kWindowsProcesses[] = {"explorer.exe", "svchost.exe", "csrss.exe",     "winlogon.exe", "wininit.exe",
                                         "services.exe", "lsass.exe",   "smss.exe",      "dwm.exe",      "spoolsv.exe",
                                         "msiexec.exe",  "conhost.exe", "taskhostw.exe", "sihost.exe",   "ctfmon.exe"};

bool IsWindowsProcess(const std::string& name) {
    for (const char* process : kWindowsProcesses)
        if (_stricmp(name.c_str(), process) == 0) return true;
    return false;
}

// "[section] key" of the last key of a section of that kind whose name holds the word: the
// one whose value the configuration keeps. Without such a key, the key as the reference
// names it, in the first section of that kind (or in the section the reference names).
std::string SubjectOf(const UpdateFolderSnapshot& snapshot, SectionKind kind, const char* word,
                      const char* fallbackSection, const char* fallbackKey) {
    std::string section = fallbackSection;
    std::string key;
    bool sectionSeen = false;
    for (const IniSection& candidate : snapshot.sections) {
        if (candidate.kind != kind) continue;
        if (!sectionSeen) section = candidate.name;
        sectionSeen = true;
        for (const auto& pair : candidate.pairs)
            if (GeneralUtil::ContainsNoCase(pair.first, word)) {
                section = candidate.name;
                key = pair.first;
            }
    }
    return CheckFinding::KeySubject(section, key.empty() ? fallbackKey : key);
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

constexpr const char CRunSettingsCheck::kCompanionIsInstaller[];

std::vector<CheckFinding> CRunSettingsCheck::CheckCmdOptions(const UpdateFolderSnapshot& snapshot) {
    std::vector<CheckFinding> findings;
    const std::string& options = snapshot.msi.cmdOptions;
    if (options.empty()) return findings;
    const std::string subject = SubjectOf(snapshot, SectionKind::Msi, "cmdoptions", "MSI", "CmdOptions");
    std::vector<CInstallerProperties::Property> properties;
    std::string problem;
    if (!CInstallerProperties::Parse(options, properties, &problem)) {
        findings.push_back(CheckFinding::Make(
            "cmdoptions-malformed", subject,
            "\"" + problem + "\" is not NAME=value; Windows Installer may refuse the whole property list"));
        return findings;
    }
    for (const CInstallerProperties::Property& property : properties) {
        const std::string set = property.name + "=" + property.value;
        switch (CInstallerProperties::EffectOf(property.name)) {
            case CInstallerProperties::Effect::Restart:
                findings.push_back(CheckFinding::Make(
                    "cmdoptions-restart", subject,
                    set + " overrides the program's REBOOT=ReallySuppress: Windows Installer may restart Windows "
                          "before the run has put back the off-cycle files and raised the installed revision"));
                break;
            case CInstallerProperties::Effect::Installs:
                findings.push_back(CheckFinding::Make(
                    "cmdoptions-install", subject,
                    set + " changes what Windows Installer installs, removes or keeps, beyond the packages"));
                break;
            case CInstallerProperties::Effect::Overridden:
                findings.push_back(CheckFinding::Make("cmdoptions-ignored", subject,
                                                      set + " has no effect: the program sets " + property.name +
                                                          " after CmdOptions from the Enable section"));
                break;
            case CInstallerProperties::Effect::None:
                break;
        }
    }
    return findings;
}

std::vector<CheckFinding> CRunSettingsCheck::CheckTracking(const UpdateFolderSnapshot& snapshot) {
    if (tw::InstallTracker::IsTrackingAllowed(snapshot.country.c_str(), snapshot.server.c_str())) return {};
    const std::string country = GeneralUtil::ToLower(snapshot.country);
    if (country != "us" && country != "ca")
        return {CheckFinding::Make(
            "tracking-off", SubjectOf(snapshot, SectionKind::AutoPatch, "country", "AutoPatch", "Country"),
            "the country " + Quoted(snapshot.country) + " is not US or CA: the run sends no tracking message")};
    return {CheckFinding::Make(
        "tracking-off", SubjectOf(snapshot, SectionKind::AutoPatch, "server", "AutoPatch", "Server"),
        "the server " + Quoted(snapshot.server) + " is not empty, PROD or PDS: the run sends no tracking message")};
}

std::vector<CheckFinding> CRunSettingsCheck::CheckMsiLog(const UpdateFolderSnapshot& snapshot) {
    if (snapshot.msi.loggingEnable) return {};
    return {CheckFinding::Make(
        "msi-log-off", SubjectOf(snapshot, SectionKind::Msi, "loggingenable", "MSI", "LoggingEnable"),
        "Windows Installer's log is off: a failed update leaves no MsiPatchlog.txt (LoggingEnable=1 writes it)")};
}

std::vector<Companion> CRunSettingsCheck::Companions(const UpdateFolderSnapshot& snapshot) {
    std::vector<Companion> companions;
    if (!snapshot.firstPass.ok) return companions;
    // Agents first, then related applications, as the run closes them.
    for (bool related : {false, true}) {
        const SectionKind kind = related ? SectionKind::RelatedApps : SectionKind::AgentData;
        for (const IniSection& section : snapshot.sections) {
            if (section.kind != kind) continue;
            for (const auto& pair : section.pairs)
                companions.push_back(
                    Companion{CheckFinding::KeySubject(section.name, pair.first), related,
                              tw::CCompanionPlan::Of(GeneralUtil::SplitAgentValue(pair.second.c_str()))});
        }
    }
    return companions;
}

std::vector<CheckFinding> CRunSettingsCheck::CheckCompanions(const std::vector<Companion>& companions) {
    std::vector<CheckFinding> findings;
    for (const Companion& companion : companions) {
        const tw::CompanionAction& action = companion.action;
        const std::string& process = action.processName;
        if (!process.empty() && _stricmp(process.c_str(), CUpdateFolderReader::kInstallerProgram) == 0) {
            findings.push_back(CheckFinding::Make(kCompanionIsInstaller, companion.subject,
                                                  "names " + process +
                                                      ": the run ends the first process of that name, normally "
                                                      "itself, before it patches",
                                                  std::string(), true));
        } else if (!process.empty() && IsWindowsProcess(process)) {
            findings.push_back(CheckFinding::Make("companion-windows-process", companion.subject,
                                                  "names " + process +
                                                      ", a process of Windows: the run ends it and then waits for "
                                                      "it to be gone"));
        } else if (!action.looksForWindow && !process.empty()) {
            findings.push_back(CheckFinding::Make("companion-ended", companion.subject,
                                                  "names no window: the run ends " + process +
                                                      " without asking it to close; unsaved work in it is lost"));
        } else if (!action.looksForWindow) {
            findings.push_back(CheckFinding::Make("companion-names-nothing", companion.subject,
                                                  "names neither a window nor a process; the run does nothing "
                                                  "with it"));
        }
    }
    return findings;
}

}  // namespace twcheck
