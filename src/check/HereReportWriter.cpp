#include "check/HereReportWriter.h"

#include "check/CheckReportWriter.h"
#include "common/TextUtil.h"
#include "config/GeneralUtil.h"

namespace twcheck {
namespace {

using W = CCheckReportWriter;

std::string Number(unsigned long long value) { return tw::FormatString("%llu", value); }
std::string Bool(bool value) { return value ? "true" : "false"; }
std::string Mb(unsigned long long bytes) { return Number(bytes / tw::GeneralUtil::kDiskSpaceUnitBytes) + " MB"; }

constexpr size_t kLabelWidth = 23;

std::string Line(const std::string& label, const std::string& text) {
    const size_t pad = label.size() < kLabelWidth ? kLabelWidth - label.size() : 1;
    return "  " + label + std::string(pad, ' ') + text + "\n";
}

}  // namespace

const char* CHereReportWriter::OutcomeName(HereReport::Outcome outcome) {
    switch (outcome) {
        case HereReport::Outcome::kWouldUpdate:
            return "would-update";
        case HereReport::Outcome::kUpToDate:
            return "up-to-date";
        case HereReport::Outcome::kWouldWait:
            return "would-wait";
        case HereReport::Outcome::kWouldStop:
            break;
    }
    return "would-stop";
}

std::string CHereReportWriter::FormatText(const HereReport& r, const std::string& updateFolder) {
    std::string out = r.verdict + "\n\n";
    out += Line("Product:", r.productName + ", product code " + (r.productCode.empty() ? "(none)" : r.productCode));
    if (!r.installed)
        out += Line("Installed:", "no");
    else
        out += Line("Installed:", "version " +
                                      (r.installedVersion.empty() ? std::string("(unknown)") : r.installedVersion) +
                                      (r.revisionKnown ? tw::FormatString(", revision R%u", r.installedRevision) : ""));
    out += Line("Update to:", tw::FormatString("revision R%u", r.targetRevision));
    if (r.revisionKnown) {
        std::string chain;
        for (const RoutePatch& patch : r.route.patches)
            chain += (chain.empty() ? "" : ", ") + patch.fileName + " (" + Number(patch.size) + " bytes)";
        if (!r.route.accepted)
            chain = "none: the installer refuses the update (" + r.route.stopMessage + ")";
        else if (chain.empty())
            chain = "none: nothing to apply";
        else
            chain += tw::FormatString("; final revision R%u", r.route.finalRevision);
        out += Line(tw::FormatString("Chain from R%u:", r.installedRevision), chain);
    }
    out += Line("Product folder:",
                (r.productFolder.empty() ? std::string("(none)") : r.productFolder) + " (" +
                    (r.productFolderFromCommandLine ? "given with /P" : "as Windows Installer knows it") + ")");
    if (!r.installedFolder.empty() && r.productFolderFromCommandLine)
        out += Line("Installed folder:", r.installedFolder);
    out += Line(r.productFolderFromCommandLine ? "/P accepted:" : "/P would be accepted:",
                r.productFolderAccepted ? std::string("yes") : "no: " + r.productFolderReason);
    if (!r.productFolder.empty())
        out += Line("Free space:", Mb(r.freeBytes) + " on its drive; the update asks for " + Mb(r.requiredFreeBytes));
    out += Line("Running:", r.running ? "yes: " + r.runningReason : std::string("no"));
    if (r.noRecord)
        out += Line("Exit code:", "none recorded");
    else
        out += Line("Exit code:", tw::FormatString("%d recorded", static_cast<int>(r.exitCode)) +
                                      (r.processExitZero ? ", process exit code 0" : ""));
    if (r.stoppingFindings + r.advisories == 0)
        out += Line("Update folder:", "no findings");
    else
        out +=
            Line("Update folder:", tw::FormatString("%u finding(s) stop the update, %u advisory (twpatchcheck \"%s\")",
                                                    r.stoppingFindings, r.advisories, updateFolder.c_str()));
    return out;
}

std::string CHereReportWriter::FormatJson(const HereReport& r) {
    std::string out = "{\n";
    out += "  \"verdict\": " + W::JsonString(r.verdict) + ",\n";
    out += "  \"outcome\": " + W::JsonString(OutcomeName(r.outcome)) + ",\n";
    out +=
        "  \"exitCode\": " + (r.noRecord ? std::string("null") : tw::FormatString("%d", static_cast<int>(r.exitCode))) +
        ",\n";
    out += "  \"processExitCodeZero\": " + Bool(r.processExitZero) + ",\n";
    out += "  \"productName\": " + W::JsonString(r.productName) + ",\n";
    out += "  \"productCode\": " + W::JsonString(r.productCode) + ",\n";
    out += "  \"installed\": " + Bool(r.installed) + ",\n";
    out += "  \"installedVersion\": " + W::JsonString(r.installedVersion) + ",\n";
    out += "  \"installedRevision\": " + (r.revisionKnown ? Number(r.installedRevision) : std::string("null")) + ",\n";
    out += "  \"targetRevision\": " + Number(r.targetRevision) + ",\n";
    out += "  \"route\": " + (r.revisionKnown ? W::RouteJson(r.route) : std::string("null")) + ",\n";
    out += "  \"productFolder\": " + W::JsonString(r.productFolder) + ",\n";
    out += "  \"productFolderSource\": " + W::JsonString(r.productFolderFromCommandLine ? "/P" : "Windows Installer") +
           ",\n";
    out += "  \"installedFolder\": " + W::JsonString(r.installedFolder) + ",\n";
    out += "  \"productFolderAccepted\": " + Bool(r.productFolderAccepted) + ",\n";
    out += "  \"productFolderReason\": " + W::JsonString(r.productFolderReason) + ",\n";
    out += "  \"freeBytes\": " + Number(r.freeBytes) + ",\n";
    out += "  \"requiredFreeBytes\": " + Number(r.requiredFreeBytes) + ",\n";
    out += "  \"enoughSpace\": " + Bool(r.enoughSpace) + ",\n";
    out += "  \"running\": " + Bool(r.running) + ",\n";
    out += "  \"runningReason\": " + W::JsonString(r.runningReason) + ",\n";
    out += "  \"folderFindings\": {\"stopsUpdate\": " + Number(r.stoppingFindings) +
           ", \"advisory\": " + Number(r.advisories) + "}\n";
    return out + "}\n";
}

}  // namespace twcheck
