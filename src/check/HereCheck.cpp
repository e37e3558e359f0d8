#include "check/HereCheck.h"

#include <cstring>

#include "app/DiskSpaceCheck.h"
#include "app/PatchInstallerBase.h"
#include "app/PatchPackageCheck.h"
#include "check/FolderContentsCheck.h"
#include "check/RunSettingsCheck.h"
#include "check/UpdateFolderCheck.h"
#include "common/TextUtil.h"
#include "config/GeneralUtil.h"
#include "config/PatchIniMgr.h"

namespace twcheck {
namespace {

using tw::CPatchInstallerBase;
using tw::CProductFolderCheck;
using Outcome = HereReport::Outcome;

std::string Revision(uint32_t revision) { return tw::FormatString("R%u", static_cast<unsigned>(revision)); }

// The first package of the route that the installer's package check refuses, with its
// reason; false when every package passes.
bool RefusedPackage(const UpdateFolderSnapshot& snapshot, const Route& route, std::string& file, std::string& reason) {
    for (const RoutePatch& patch : route.patches) {
        auto package = snapshot.packages.find(tw::GeneralUtil::ToLower(patch.fileName));
        if (package == snapshot.packages.end()) continue;
        const tw::CPatchPackageCheck::Verdict verdict =
            tw::CPatchPackageCheck::Judge(package->second.facts, snapshot.productCode);
        if (verdict.refusal == tw::CPatchPackageCheck::Refusal::None) continue;
        file = patch.fileName;
        reason = verdict.reason;
        return true;
    }
    return false;
}

void Stop(HereReport& report, int32_t exitCode, const std::string& why) {
    report.outcome = Outcome::kWouldStop;
    report.exitCode = exitCode;
    report.verdict = "would not update: " + why;
}

// The product folder of /P and its drive, checked before anything else.
bool StopsAtProductFolder(const MachineFacts& facts, HereReport& report) {
    const CProductFolderCheck::Verdict verdict = CProductFolderCheck::Judge(facts.folder);
    report.productFolderAccepted = verdict.outcome == CProductFolderCheck::Outcome::kAccepted;
    report.productFolderReason = verdict.reason;
    if (report.productFolderAccepted) return false;
    // Without /P an unknown folder is the admin's to give; the product's state says more.
    if (!facts.folderFromCommandLine && verdict.outcome == CProductFolderCheck::Outcome::kNotGiven) return false;
    const bool lowSpace = verdict.outcome == CProductFolderCheck::Outcome::kLowDiskSpace;
    const int32_t code = lowSpace ? CPatchInstallerBase::kExitLowDiskSpace : CPatchInstallerBase::kExitNoProductDir;
    Stop(report, code,
         verdict.reason + tw::FormatString(" (the run records %d and ends with exit code 0)", static_cast<int>(code)));
    report.processExitZero = true;
    return true;
}

// Why the second read of patch.ini refuses the update, in the admin's words where the
// version gate compared revisions.
std::string SecondPassRefusal(const UpdateFolderSnapshot& snapshot, const HereReport& report) {
    tw::PatchIniMgr::InstalledVersion installed;
    if (tw::PatchIniMgr::ParseVersionString(report.installedVersion.c_str(), installed) &&
        installed.major == static_cast<uint32_t>(snapshot.majorVersion) && installed.revision > snapshot.patchRevision)
        return report.productName + " is at " + Revision(installed.revision) + ", newer than the update's " +
               Revision(snapshot.patchRevision);
    return "the installer refuses it: " + report.route.stopMessage;
}

}  // namespace

std::string CHereCheck::RunningReason(const MachineFacts& facts) {
    if (!facts.running) return std::string();
    switch (facts.runningVerdict.reason) {
        case tw::RunningProductVerdict::kFrameWindow:
            return "a Tallyworks window is open";
        case tw::RunningProductVerdict::kLocalMutex:
            return "Tallyworks is running (it holds its mutex)";
        case tw::RunningProductVerdict::kExecutableLocked:
            return "tww.exe is in use";
        case tw::RunningProductVerdict::kProcessAlive:
            return "tww.exe is running";
        default:
            return facts.runningCompanion.empty() ? std::string("a program the update waits for is running")
                                                  : facts.runningCompanion + " is running";
    }
}

HereReport CHereCheck::Judge(const UpdateFolderSnapshot& snapshot, const CheckReport& folderReport,
                             const MachineFacts& facts) {
    HereReport report;
    report.productName = snapshot.productName.empty() ? std::string("Tallyworks") : snapshot.productName;
    report.productCode = snapshot.productCode;
    report.installed = facts.installed;
    report.installedVersion = facts.versionString;
    report.targetRevision = snapshot.patchRevision;
    report.productFolder = facts.folder.folder;
    report.productFolderFromCommandLine = facts.folderFromCommandLine;
    report.installedFolder = facts.installedFolder;
    report.freeBytes = facts.folder.freeBytes;
    report.requiredFreeBytes = tw::CDiskSpaceCheck::kRequiredBytes;
    report.enoughSpace = facts.folder.given && facts.folder.enoughSpace;
    report.running = facts.running;
    report.runningReason = RunningReason(facts);
    for (const CheckFinding& f : folderReport.findings) (f.stopsUpdate ? report.stoppingFindings : report.advisories)++;
    if (facts.haveRun) {
        report.route = CUpdateFolderCheck::RouteOf(snapshot, facts.run);
        report.revisionKnown = true;
        report.installedRevision = facts.run.startRevision;
    }

    // In the order of the run: the product folder before anything is read.
    if (StopsAtProductFolder(facts, report)) return report;
    if (!snapshot.iniError.empty() || !snapshot.firstPass.ok) {
        const std::string why = !snapshot.iniError.empty() ? snapshot.iniError : folderReport.settingsStopMessage;
        Stop(report, CPatchInstallerBase::kExitConfigUnreadable, "the installer cannot read patch.ini: " + why);
        return report;
    }
    if (!facts.installed) {
        Stop(report, CPatchInstallerBase::kExitProductNotInstalled,
             report.productName + " (product code " + snapshot.productCode + ") is not installed here");
        return report;
    }
    if (!facts.haveRun) {
        Stop(report, CPatchInstallerBase::kExitConfigUnreadable,
             "Windows Installer reports no readable version of " + report.productName);
        return report;
    }
    if (!report.route.accepted) {
        Stop(report, CPatchInstallerBase::kExitConfigUnreadable, SecondPassRefusal(snapshot, report));
        return report;
    }
    // Findings that stop every run, whatever is installed: nothing runs the update, or
    // the run ends itself.
    for (const CheckFinding& f : folderReport.findings)
        if (f.code == CFolderContentsCheck::kProgramMissing || f.code == CRunSettingsCheck::kCompanionIsInstaller) {
            Stop(report, CPatchInstallerBase::kExitSuccess, f.subject + " " + f.reason);
            report.noRecord = true;
            return report;
        }
    std::string file, reason;
    if (RefusedPackage(snapshot, report.route, file, reason)) {
        Stop(report, CPatchInstallerBase::kExitConfigUnreadable, file + " cannot be applied: " + reason);
        return report;
    }

    report.exitCode = CPatchInstallerBase::kExitSuccess;
    const std::string change = report.route.patches.empty()
                                   ? report.productName + " is at " + Revision(report.installedRevision) + " already"
                                   : "update " + report.productName + " from " + Revision(report.installedRevision) +
                                         " to " + Revision(report.route.finalRevision);
    if (facts.running) {
        report.outcome = Outcome::kWouldWait;
        report.verdict = "would wait until it is closed (" + report.runningReason + "), then " +
                         (report.route.patches.empty() ? "change nothing: " + change : change) +
                         tw::FormatString("; cancelling the wait records %d",
                                          static_cast<int>(CPatchInstallerBase::kExitProductStillRunning));
        return report;
    }
    if (report.route.patches.empty()) {
        report.outcome = Outcome::kUpToDate;
        report.verdict = "would change nothing: " + change;
        return report;
    }
    report.outcome = Outcome::kWouldUpdate;
    report.verdict = "would " + change;
    return report;
}

}  // namespace twcheck
