#include "PackageTestSupport.h"

#include <cstdio>

#include "common/Handles.h"
#include "common/TestSupport.h"
#include "common/UnixHost.h"

namespace octest {

using twtest::UnixPathOf;

namespace {

void Collect(const std::string& root, const std::string& relative, std::set<std::string>& files) {
    const std::string folder = relative.empty() ? root : root + "\\" + relative;
    WIN32_FIND_DATAA entry;
    tw::FindHandle search(::FindFirstFileA((folder + "\\*").c_str(), &entry));
    if (!search) return;
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = relative.empty() ? name : relative + "\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            Collect(root, path, files);
        else
            files.insert(path);
    } while (::FindNextFileA(search.Get(), &entry));
}

// Runs a Unix command that writes its exit status into the file given when it ends, and
// waits (bounded) for that status. True when it was 0.
bool Succeeded(const std::string& command, const std::string& statusFile) {
    ::DeleteFileA(statusFile.c_str());
    if (!twtest::RunUnix(
            command, [&] { return twtest::FileExists(statusFile); }, 180 * 1000))
        return false;
    ::Sleep(100);  // the status is written by then
    const std::string status = twtest::ReadTextFile(statusFile);
    ::DeleteFileA(statusFile.c_str());
    return status.compare(0, 1, "0") == 0;
}

}  // namespace

const std::string& CabinetFolder() {
    static const std::string folder = [] {
        const std::string windows = twtest::BinaryPath("tests\\offcycle\\cabinets");
        const std::string finished = twtest::BinaryPath("tests\\offcycle\\cabinets.finished");
        const std::string command = "/bin/bash " + UnixPathOf(twtest::SourcePath("tools\\make-cabinets.sh")) + " " +
                                    UnixPathOf(windows) + " " + UnixPathOf(twtest::BinaryPath("pki")) + " " +
                                    UnixPathOf(finished);
        const bool ran = Succeeded(command, finished);
        if (!ran || !twtest::FileExists(windows + "\\done")) {
            std::printf("could not make the test cabinets: %s (%s)\n", command.c_str(), ran ? "ran" : "failed");
            return std::string();
        }
        return windows;
    }();
    return folder;
}

std::set<std::string> FilesUnder(const std::string& folder) {
    std::set<std::string> files;
    Collect(folder, "", files);
    return files;
}

twtest::LoopbackServer::Options PackageServer(const std::string& root, const std::string& mode) {
    twtest::LoopbackServer::Options options;
    options.tls = false;
    options.host = "127.0.0.1";
    options.root = root;
    options.mode = mode;
    return options;
}

}  // namespace octest
