#pragma once
// The checker's command line and exit codes:
//   twpatchcheck <update folder> [--json] [--strict]
//   twpatchcheck --here <update folder> [--json] [/P <product folder>]
// "/P" takes the rest of the command line as the product folder, as the installer does.

#include <string>
#include <vector>

#include "check/CheckReport.h"

namespace twcheck {

struct CheckArguments {
    bool here = false;
    bool json = false;
    bool strict = false;
    bool help = false;
    std::string folder;
    bool productFolderGiven = false;  // "/P" was given (its text comes from the raw command line)
};

class CCheckCommandLine {
public:
    enum ExitCode : int {
        kPasses = 0,      // no finding stops the update (advisories allowed); --here: it would update
        kStops = 1,       // a finding stops the update (or, with --strict, any finding); --here: it would not
        kUnreadable = 2,  // the folder or its patch.ini cannot be read
        kUsage = 64,      // wrong usage
    };

    static constexpr const char kUsageText[] =
        "usage: twpatchcheck <update folder> [--json] [--strict]\n"
        "       twpatchcheck --here <update folder> [--json] [/P <product folder>]\n";

    // The arguments after the program name; false with the reason in error for a wrong usage.
    static bool Parse(const std::vector<std::string>& arguments, CheckArguments& parsed, std::string& error);

    // The text after the first "/P" (or "/p") argument of a raw command line, blanks and
    // tabs after it skipped, exactly as it stands (quotes and blanks kept); empty when there
    // is none. The first item of the line is the program's name.
    static std::string TextAfterProductSwitch(const std::string& commandLine);

    // The gate's exit code for a folder's report.
    static int GateExitCode(const CheckReport& report, bool strict);
};

}  // namespace twcheck
