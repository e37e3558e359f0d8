#include "check/CheckReportWriter.h"

#include <optional>

#include "common/TextUtil.h"
#include "config/GeneralUtil.h"

namespace twcheck {
namespace {

std::string Number(unsigned long long value) { return tw::FormatString("%llu", value); }

std::string Padded(const std::string& text, size_t width) {
    return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

constexpr size_t kSeverityWidth = 18;
constexpr size_t kCodeWidth = 27;

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string JsonOptional(const std::optional<std::string>& text) {
    return text ? CCheckReportWriter::JsonString(*text) : std::string("null");
}

}  // namespace

const char* CCheckReportWriter::SeverityText(const CheckFinding& finding) {
    return finding.stopsUpdate ? "stops the update" : "advisory";
}

std::string CCheckReportWriter::DescribeAction(const tw::CompanionAction& action) {
    std::string text;
    if (action.looksForWindow) {
        text = "asks the window";
        if (action.windowClass) text += " of class " + Quoted(*action.windowClass);
        if (action.windowTitle) text += " titled " + Quoted(*action.windowTitle);
        text += " to close";
        if (!action.processName.empty()) text += "; without that window it ends " + action.processName;
    } else if (!action.processName.empty()) {
        text = "ends " + action.processName + " without asking it to close";
    } else {
        text = "does nothing (the entry names no window and no process)";
    }
    return text;
}

std::string CCheckReportWriter::JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                // Control characters escaped; bytes of the system code page above 127 as
                // their Latin-1 code points, so the output stays valid UTF-8 JSON.
                if (c < 0x20 || c >= 0x7F)
                    out += tw::FormatString("\\u%04x", static_cast<unsigned>(c));
                else
                    out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string CCheckReportWriter::FormatTable(const CheckReport& report) {
    std::string out;
    out += "Update folder: " + report.folder + "\n";
    out += "Product code:  " + (report.productCode.empty() ? std::string("(none)") : report.productCode) + "\n";
    out += "twversion:     " + (report.twVersion.empty() ? std::string("(none)") : report.twVersion) + "\n";
    out += "Free space the run asks for: " + Number(report.requiredFreeBytes / tw::GeneralUtil::kDiskSpaceUnitBytes) +
           " MB (" + Number(report.requiredFreeBytes) + " bytes) on the product's drive\n";
    out += "Properties of the apply call: " + report.installerProperties + "\n\n";

    if (!report.settingsStopMessage.empty())
        out += "The installer stops while reading its settings: " + report.settingsStopMessage + "\n\n";
    else if (report.routes.empty())
        out += "No installed revision gets an update from this folder.\n\n";
    for (const Route& route : report.routes) {
        out += tw::FormatString("From revision %u:", static_cast<unsigned>(route.startRevision));
        if (!route.accepted) {
            out += " the installer refuses the update: " + route.stopMessage + "\n\n";
            continue;
        }
        out += tw::FormatString(" %u patch(es), final revision %u\n", static_cast<unsigned>(route.patches.size()),
                                static_cast<unsigned>(route.finalRevision));
        out += "  #  " + Padded("Patch", 40) + "Bytes\n";
        for (size_t i = 0; i < route.patches.size(); ++i)
            out += tw::FormatString("  %-2u ", static_cast<unsigned>(i + 1)) + Padded(route.patches[i].fileName, 40) +
                   Number(route.patches[i].size) + "\n";
        out += "     " + Padded("Total", 40) + Number(route.totalSize) + "\n\n";
    }

    out += "Programs the run closes before patching, and waits for until they are gone:\n";
    for (const Companion& companion : report.companions)
        out += "  " + companion.subject + ": " + DescribeAction(companion.action) + "\n";
    out += std::string("  every process whose name begins with \"") + tw::CCompanionPlan::kAgentProcessPrefix +
           "\": ended\n\n";

    if (report.findings.empty()) {
        out += "No findings.\n";
        return out;
    }
    size_t stopping = 0;
    for (const CheckFinding& f : report.findings) stopping += f.stopsUpdate ? 1 : 0;
    out += tw::FormatString("%u finding(s): %u stop(s) the update, %u advisory:\n",
                            static_cast<unsigned>(report.findings.size()), static_cast<unsigned>(stopping),
                            static_cast<unsigned>(report.findings.size() - stopping));
    for (const CheckFinding& f : report.findings) {
        out += "  " + Padded(SeverityText(f), kSeverityWidth) + Padded(f.code, kCodeWidth) + f.subject + ": " +
               f.reason + "\n";
        if (!f.userMessage.empty())
            out += "  " + std::string(kSeverityWidth + kCodeWidth, ' ') + "user sees: " + f.userMessage + "\n";
    }
    return out;
}

std::string CCheckReportWriter::RouteJson(const Route& route) {
    std::string out =
        "{\"from\": " + Number(route.startRevision) + ", \"accepted\": " + (route.accepted ? "true" : "false");
    out += ", \"final\": " + Number(route.finalRevision) + ", \"totalBytes\": " + Number(route.totalSize);
    out += ", \"patches\": [";
    for (size_t i = 0; i < route.patches.size(); ++i)
        out += std::string(i ? ", " : "") + "{\"file\": " + JsonString(route.patches[i].fileName) +
               ", \"bytes\": " + Number(route.patches[i].size) + "}";
    out += "], \"sections\": [";
    for (size_t i = 0; i < route.sections.size(); ++i)
        out += std::string(i ? ", " : "") + JsonString(route.sections[i]);
    return out + "], \"stopMessage\": " + JsonString(route.stopMessage) + "}";
}

std::string CCheckReportWriter::FormatJson(const CheckReport& report) {
    std::string out = "{\n";
    out += "  \"folder\": " + JsonString(report.folder) + ",\n";
    out += "  \"productCode\": " + JsonString(report.productCode) + ",\n";
    out += "  \"twversion\": " + JsonString(report.twVersion) + ",\n";
    out += "  \"requiredFreeBytes\": " + Number(report.requiredFreeBytes) + ",\n";
    out += "  \"installerProperties\": " + JsonString(report.installerProperties) + ",\n";
    out += "  \"settingsStopMessage\": " + JsonString(report.settingsStopMessage) + ",\n";
    out += std::string("  \"stopsUpdate\": ") + (report.StopsUpdate() ? "true" : "false") + ",\n";
    out += "  \"routes\": [";
    for (size_t r = 0; r < report.routes.size(); ++r) {
        out += r ? ",\n    " : "\n    ";
        out += RouteJson(report.routes[r]);
    }
    out += report.routes.empty() ? "],\n" : "\n  ],\n";
    out += "  \"companions\": [";
    for (size_t i = 0; i < report.companions.size(); ++i) {
        const Companion& c = report.companions[i];
        out += i ? ",\n    {" : "\n    {";
        out += "\"subject\": " + JsonString(c.subject) + ", \"relatedApp\": " + (c.relatedApp ? "true" : "false") +
               ", \"windowClass\": " + JsonOptional(c.action.looksForWindow ? c.action.windowClass : std::nullopt) +
               ", \"windowTitle\": " + JsonOptional(c.action.looksForWindow ? c.action.windowTitle : std::nullopt) +
               ", \"process\": " + JsonString(c.action.processName) +
               ", \"action\": " + JsonString(DescribeAction(c.action)) + "}";
    }
    out += report.companions.empty() ? "],\n" : "\n  ],\n";
    out += std::string("  \"agentProcessPrefix\": ") + JsonString(tw::CCompanionPlan::kAgentProcessPrefix) + ",\n";
    out += "  \"findings\": [";
    for (size_t i = 0; i < report.findings.size(); ++i) {
        const CheckFinding& f = report.findings[i];
        out += i ? ",\n    {" : "\n    {";
        out += "\"code\": " + JsonString(f.code) + ", \"subject\": " + JsonString(f.subject) +
               ", \"reason\": " + JsonString(f.reason) + ", \"userMessage\": " + JsonString(f.userMessage) +
               ", \"stopsUpdate\": " + (f.stopsUpdate ? "true" : "false") +
               ", \"severity\": " + JsonString(f.stopsUpdate ? "stops-update" : "advisory") + "}";
    }
    out += report.findings.empty() ? "]\n" : "\n  ]\n";
    return out + "}\n";
}

}  // namespace twcheck
