#pragma once
// Helpers of the package cabinet and download tests: the signed test cabinets, Unix programs
// run from the tests, and a loopback web server.

#include <windows.h>

#include <set>
#include <string>

namespace octest {

// The host (Unix) path of a Windows path, for the arguments of Unix programs.
std::string UnixPath(const std::string& windowsPath);

// Runs a Unix program (a command line without quotes; arguments without spaces) and waits at
// most the time given for it to write its exit status into the file given (Wine gives no
// handle to wait on). True when it wrote 0 in time.
bool RunUnix(const std::string& commandLine, const std::string& finishedFile, DWORD timeoutMs);

// Windows path of the folder of test cabinets (tools/make-cabinets.sh), made on first use.
// Empty when they could not be made.
const std::string& CabinetFolder();

// Relative paths of every file under a folder, subfolders included ("x32\\helper.dll").
std::set<std::string> FilesUnder(const std::string& folder);

// tools/loopback-server.py on 127.0.0.1, started with the extra arguments given (Unix paths,
// no spaces); stopped when the object goes away. Every request is written to its access log.
class LoopbackServer {
public:
    explicit LoopbackServer(const std::string& arguments);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int Port() const { return m_port; }
    std::string Url(const std::string& path) const;
    // The requests the server received, one "METHOD PATH" line each.
    std::string AccessLog() const;

private:
    std::string m_folder;
    int m_port = 0;
};

}  // namespace octest
