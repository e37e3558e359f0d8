#pragma once
// tools/loopback-server.py started from a test under Wine: it serves a scratch folder of the
// build tree on 127.0.0.1 (HTTPS with the test PKI's localhost certificate, or plain HTTP),
// optionally misbehaving. The server is stopped (its stop file created) on destruction and
// ends by itself after a short lifetime in any case.

#include <windows.h>

#include <string>

#include "common/Handles.h"
#include "common/TestSupport.h"

namespace twtest {

class LoopbackHttpsServer {
public:
    // mode: serve, notfound, trickle, endless, hang or drop (see the server's usage).
    explicit LoopbackHttpsServer(const std::string& mode = "serve", bool tls = true) {
        static unsigned counter = 0;
        m_root = BinaryPath("tests\\logging\\www-" + std::to_string(::GetCurrentProcessId()) + "-" +
                            std::to_string(++counter));
        RemoveTree(m_root);
        MakeDirs(m_root + "\\files");
        m_scheme = tls ? "https" : "http";
        std::string command = "/usr/bin/python3 " + UnixPath(SourcePath("tools\\loopback-server.py")) +
                              " --port 0 --bind 127.0.0.1 --lifetime 120 --mode " + mode + " --root " +
                              UnixPath(m_root + "\\files") + " --ready " + UnixPath(m_root + "\\ready") +
                              " --stop " + UnixPath(m_root + "\\stop");
        if (tls)
            command += " --tls " + UnixPath(BinaryPath("pki\\server.pem")) + " " + UnixPath(BinaryPath("pki\\server.key"));
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        if (!::CreateProcessA("/usr/bin/python3", &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &info))
            return;
        m_started = true;
        m_process.Reset(info.hProcess);
        tw::KernelHandle thread(info.hThread);
        for (int i = 0; i < 200 && m_port.empty(); ++i) {  // at most 10 s
            std::string port = ReadTextFile(m_root + "\\ready");
            if (!port.empty()) m_port = port;
            else ::Sleep(50);
        }
    }
    // The server looks for its stop file every 0.2 s; the folder goes only after it has
    // seen it (a Unix process cannot be waited for from Wine).
    ~LoopbackHttpsServer() {
        if (!m_started) return;
        WriteTextFile(m_root + "\\stop", "stop");
        ::Sleep(500);
        RemoveTree(m_root);
    }
    LoopbackHttpsServer(const LoopbackHttpsServer&) = delete;
    LoopbackHttpsServer& operator=(const LoopbackHttpsServer&) = delete;

    bool Ready() const { return !m_port.empty(); }
    // Puts a file to serve at the relative path ("a/b.ini").
    bool Put(const std::string& relative, const std::string& content) {
        std::string path = m_root + "\\files\\" + relative;
        for (char& c : path)
            if (c == '/') c = '\\';
        MakeDirs(path.substr(0, path.find_last_of('\\')));
        tw::FileHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        return file && ::WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
               written == content.size();
    }
    // The address of a path on this server, by the name "localhost" the certificate is for.
    std::string Url(const std::string& path) const { return m_scheme + "://localhost:" + m_port + path; }

private:
    // "Z:\a\b" of the build tree as the Unix path "/a/b".
    static std::string UnixPath(std::string path) {
        if (path.size() > 1 && path[1] == ':') path = path.substr(2);
        for (char& c : path)
            if (c == '\\') c = '/';
        return path;
    }

    std::string m_root;
    std::string m_scheme;
    std::string m_port;
    bool m_started = false;
    tw::KernelHandle m_process;  // may be empty: Wine gives no handle for a Unix program
};

}  // namespace twtest
