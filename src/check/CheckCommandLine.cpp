#include "check/CheckCommandLine.h"

namespace twcheck {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsProductSwitch(const std::string& argument) { return argument == "/P" || argument == "/p"; }

}  // namespace

constexpr const char CCheckCommandLine::kUsageText[];

bool CCheckCommandLine::Parse(const std::vector<std::string>& arguments, CheckArguments& parsed, std::string& error) {
    parsed = CheckArguments();
    for (const std::string& argument : arguments) {
        if (IsProductSwitch(argument)) {
            // The rest of the line is the product folder.
            parsed.productFolderGiven = true;
            break;
        }
        if (argument == "--json") {
            parsed.json = true;
        } else if (argument == "--strict") {
            parsed.strict = true;
        } else if (argument == "--here") {
            parsed.here = true;
        } else if (argument == "--help" || argument == "-h" || argument == "/?") {
            parsed.help = true;
        } else if (!argument.empty() && argument[0] == '-') {
            error = "unknown option " + argument;
            return false;
        } else if (parsed.folder.empty() && !argument.empty()) {
            parsed.folder = argument;
        } else {
            error = "more than one update folder: " + argument;
            return false;
        }
    }
    if (parsed.help) return true;
    if (parsed.folder.empty()) {
        error = "no update folder given";
        return false;
    }
    if (parsed.productFolderGiven && !parsed.here) {
        error = "/P is given only with --here";
        return false;
    }
    if (parsed.strict && parsed.here) {
        error = "--strict applies to the folder check, not to --here";
        return false;
    }
    return true;
}

std::string CCheckCommandLine::TextAfterProductSwitch(const std::string& commandLine) {
    size_t i = 0;
    const size_t n = commandLine.size();
    // The program's name: up to the next quote when it begins with one, else the next blank.
    if (i < n && commandLine[i] == '"') {
        size_t close = commandLine.find('"', 1);
        i = close == std::string::npos ? n : close + 1;
    }
    while (i < n && !IsBlank(commandLine[i])) ++i;
    // The arguments, split as the C runtime splits them: blanks outside quotes end one;
    // backslashes count only before a quote.
    while (i < n) {
        while (i < n && IsBlank(commandLine[i])) ++i;
        if (i >= n) break;
        std::string argument;
        bool quoted = false;
        while (i < n && (quoted || !IsBlank(commandLine[i]))) {
            size_t backslashes = 0;
            while (i < n && commandLine[i] == '\\') {
                ++backslashes;
                ++i;
            }
            if (i < n && commandLine[i] == '"') {
                argument.append(backslashes / 2, '\\');
                if (backslashes % 2) {
                    argument += '"';
                } else if (quoted && i + 1 < n && commandLine[i + 1] == '"') {
                    argument += '"';
                    ++i;
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else {
                argument.append(backslashes, '\\');
                if (i < n && (quoted || !IsBlank(commandLine[i]))) argument += commandLine[i++];
            }
        }
        if (IsProductSwitch(argument)) {
            while (i < n && IsBlank(commandLine[i])) ++i;
            return commandLine.substr(i);
        }
    }
    return std::string();
}

int CCheckCommandLine::GateExitCode(const CheckReport& report, bool strict) {
    if (report.StopsUpdate()) return kStops;
    if (strict && !report.findings.empty()) return kStops;
    return kPasses;
}

}  // namespace twcheck
