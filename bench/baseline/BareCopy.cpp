// Baseline of saving and restoring off-cycle files: each listed file copied to a temporary
// name beside it with CopyFileA, then every copy moved back over its file with MoveFileExA.
//
//   bare_copy <list file: one full path a line> [plain|required]
//
// "required" adds the work the installer must do per file besides the copy and the move: the
// search of the file's folder for the temporary name ("<name>.*") before the copy, and one
// line appended to a log for the save and one for the restore, the log opened and closed for
// each line. The log lies beside the list file.
#include <windows.h>

#include <io.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "common/BenchReport.h"

namespace {

void AppendLine(const std::string& log, const char* what, const std::string& file, const std::string& temp) {
    FILE* out = std::fopen(log.c_str(), "a+");
    if (!out) return;
    std::fprintf(out, "%s  file %s , temp name %s \n", what, file.c_str(), temp.c_str());
    std::fclose(out);
}

// True when the folder holds "<stem>.*", the installer's test of a temporary name.
bool NameTaken(const std::string& stem) {
    struct _finddata64i32_t found;
    intptr_t search = ::_findfirst64i32((stem + ".*").c_str(), &found);
    if (search == -1) return false;
    ::_findclose(search);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: bare_copy <list file> [plain|required]\n");
        return 2;
    }
    const bool required = argc == 3 && std::strcmp(argv[2], "required") == 0;
    std::string log = argv[1];
    log = log.substr(0, log.find_last_of('\\') + 1) + "BarePatchlog.txt";
    if (required) ::DeleteFileA(log.c_str());
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
        if (required && NameTaken(file + "_bench")) ++failures;
        if (::CopyFileA(file.c_str(), temp.c_str(), FALSE)) {
            if (required) AppendLine(log, "File saved", file, temp);
            saved.emplace_back(file, std::move(temp));
        } else {
            ++failures;
        }
    }
    for (const auto& entry : saved) {
        if (!::MoveFileExA(entry.second.c_str(), entry.first.c_str(), MOVEFILE_REPLACE_EXISTING)) ++failures;
        if (required) AppendLine(log, "Restored", entry.first, entry.second);
    }
    report.Stop();

    char extra[64];
    std::snprintf(extra, sizeof(extra), "files=%zu failures=%d", files.size(), failures);
    report.Print(extra);
    return failures == 0 ? 0 : 1;
}
