// The installer's off-cycle copier over a list of files: every file saved aside, then all
// restored, each step logged to the patch log as in a run.
//
//   saverestore_driver <list file: one full path a line> <log folder>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "common/BenchReport.h"
#include "logging/StatusLogMgr.h"
#include "offcycle/OffCycleContentCopier.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: saverestore_driver <list file> <log folder>\n");
        return 2;
    }
    std::vector<std::string> files;
    {
        std::ifstream list(argv[1]);
        std::string line;
        while (std::getline(list, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!line.empty()) files.push_back(line);
        }
    }
    tw::StatusLogMgr::RenameLogFile(argv[2]);

    twbench::CBenchReport report;
    int failures = 0;
    bool restart = false;
    {
        tw::COffCycleContentCopier copier(true);
        copier.SetLogger(&tw::StatusLogMgr::LogStatus);
        for (const std::string& file : files)
            if (FAILED(copier.SaveFile(file.c_str()))) ++failures;
        failures += copier.RestoreAllFiles(restart);
    }
    report.Stop();

    char extra[64];
    std::snprintf(extra, sizeof(extra), "files=%zu failures=%d", files.size(), failures);
    report.Print(extra);
    return failures == 0 ? 0 : 1;
}
