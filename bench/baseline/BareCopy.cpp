// Baseline of saving and restoring off-cycle files: each listed file copied to a temporary
// name beside it with CopyFileA, then every copy moved back over its file with MoveFileExA.
//
//   bare_copy <list file: one full path a line>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "common/BenchReport.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bare_copy <list file>\n");
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

    twbench::CBenchReport report;
    std::vector<std::pair<std::string, std::string>> saved;
    saved.reserve(files.size());
    int failures = 0;
    for (const std::string& file : files) {
        std::string temp = file + ".bench_tmp";
        if (::CopyFileA(file.c_str(), temp.c_str(), FALSE))
            saved.emplace_back(file, std::move(temp));
        else
            ++failures;
    }
    for (const auto& entry : saved)
        if (!::MoveFileExA(entry.second.c_str(), entry.first.c_str(), MOVEFILE_REPLACE_EXISTING)) ++failures;
    report.Stop();

    char extra[64];
    std::snprintf(extra, sizeof(extra), "files=%zu failures=%d", files.size(), failures);
    report.Print(extra);
    return failures == 0 ? 0 : 1;
}
