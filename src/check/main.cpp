// twpatchcheck <update folder> [--json] [--strict]: checks an update folder the way the
// installer would read it. Exit code 0: no finding stops the update (advisories allowed);
// 1: a finding stops it (with --strict: any finding); 2: the folder cannot be read; 64: wrong
// usage.
// twpatchcheck --here <update folder> [--json] [/P <product folder>]: whether the folder
// would update the product installed on this machine. Exit code 0: it would (or there is
// nothing to do); 1: it would not, or would wait for the product to close. Nothing is
// written, started or changed.

#include <windows.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "check/CheckCommandLine.h"
#include "check/CheckReportWriter.h"
#include "check/HereCheck.h"
#include "check/HereReportWriter.h"
#include "check/MachineReader.h"
#include "check/UpdateFolderCheck.h"
#include "check/UpdateFolderReader.h"
#include "common/DllSearchPath.h"
#include "common/Handles.h"

#if defined(_MSC_VER)
#pragma init_seg(lib)
#endif

namespace {

// Started from update folders that anyone may have filled: no DLL may be found there.
TW_FIRST_INITIALISER const tw::CDllSearchPath::FirstInitialiser g_dllSearchFirst;

using twcheck::CCheckCommandLine;
using twcheck::CCheckReportWriter;

// A failure told on the error stream, and as {"error": ...} to a pipeline reading JSON.
int Fail(int exitCode, const std::string& error, bool json) {
    std::fprintf(stderr, "twpatchcheck: %s\n", error.c_str());
    if (json)
        std::printf("{\n  \"error\": %s,\n  \"exitCode\": %d\n}\n", CCheckReportWriter::JsonString(error).c_str(),
                    exitCode);
    return exitCode;
}

void Print(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

}  // namespace

int main(int argc, char** argv) {
    tw::CDllSearchPath::NarrowToSystemFolder();
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
    twcheck::CheckArguments args;
    std::string error;
    if (!CCheckCommandLine::Parse(arguments, args, error)) {
        std::fputs(CCheckCommandLine::kUsageText, stderr);
        return Fail(CCheckCommandLine::kUsage, error, args.json);
    }
    if (args.help) {
        std::fputs(CCheckCommandLine::kUsageText, stdout);
        return CCheckCommandLine::kPasses;
    }

    try {
        tw::ComInit com;
        twcheck::UpdateFolderSnapshot snapshot;
        if (!twcheck::CUpdateFolderReader::Read(args.folder, snapshot, error))
            return Fail(CCheckCommandLine::kUnreadable, error, args.json);
        const twcheck::CheckReport report = twcheck::CUpdateFolderCheck::Evaluate(snapshot);
        if (!args.here) {
            Print(args.json ? CCheckReportWriter::FormatJson(report) : CCheckReportWriter::FormatTable(report));
            return CCheckCommandLine::GateExitCode(report, args.strict);
        }
        // The product folder is the rest of the raw command line after /P, as the installer
        // takes it.
        const std::string folderText =
            args.productFolderGiven ? CCheckCommandLine::TextAfterProductSwitch(::GetCommandLineA()) : std::string();
        const twcheck::MachineFacts facts =
            twcheck::CMachineReader::Read(snapshot, args.productFolderGiven, folderText);
        const twcheck::HereReport here = twcheck::CHereCheck::Judge(snapshot, report, facts);
        Print(args.json ? twcheck::CHereReportWriter::FormatJson(here)
                        : twcheck::CHereReportWriter::FormatText(here, snapshot.folder));
        return here.Passes() ? CCheckCommandLine::kPasses : CCheckCommandLine::kStops;
    } catch (const std::exception& e) {
        return Fail(CCheckCommandLine::kUnreadable, e.what(), args.json);
    }
}
