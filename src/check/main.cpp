// twpatchcheck <update folder> [--json]: checks an update folder the way the installer
// would read it. Exit code 0: nothing wrong; 1: findings; 2: the folder cannot be read.

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "check/CheckReportWriter.h"
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

constexpr int kClean = 0;
constexpr int kFindings = 1;
constexpr int kUnreadable = 2;

int Usage() {
    std::fprintf(stderr, "usage: twpatchcheck <update folder> [--json]\n");
    return kUnreadable;
}

}  // namespace

int main(int argc, char** argv) {
    tw::CDllSearchPath::NarrowToSystemFolder();
    std::string folder;
    bool json = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0)
            json = true;
        else if (folder.empty())
            folder = argv[i];
        else
            return Usage();
    }
    if (folder.empty()) return Usage();

    try {
        tw::ComInit com;
        twcheck::UpdateFolderSnapshot snapshot;
        std::string error;
        if (!twcheck::CUpdateFolderReader::Read(folder, snapshot, error)) {
            std::fprintf(stderr, "twpatchcheck: %s\n", error.c_str());
            // A pipeline reading the JSON gets the reason too.
            if (json) std::printf("{\n  \"error\": %s\n}\n", twcheck::CCheckReportWriter::JsonString(error).c_str());
            return kUnreadable;
        }
        const twcheck::CheckReport report = twcheck::CUpdateFolderCheck::Evaluate(snapshot);
        const std::string text =
            json ? twcheck::CCheckReportWriter::FormatJson(report) : twcheck::CCheckReportWriter::FormatTable(report);
        std::fwrite(text.data(), 1, text.size(), stdout);
        return report.Clean() ? kClean : kFindings;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "twpatchcheck: %s\n", e.what());
        return kUnreadable;
    }
}
