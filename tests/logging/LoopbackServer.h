#pragma once
// tools/loopback-server.py started from a test (Wine runs the Unix interpreter directly),
// on 127.0.0.1, with its files in a scratch folder of the build tree. The server is always
// told to stop when the object goes, and ends by itself after its lifetime anyway.

#include <windows.h>

#include <string>
#include <vector>


namespace twtest {

class LoopbackServer {
public:
    struct Options {
        int port = 0;                    // 0: any free port
        bool tls = true;                 // build/pki/server.pem and .key
        std::vector<std::string> rules;  // "PREFIX=MODE"
        int lifetimeSeconds = 60;
    };

    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    // Starts the server; waits (bounded) until it listens. A fixed port that is busy is
    // tried again for a while, since other test programs may hold it.
    bool Start(const Options& options);
    void Stop();

    int Port() const { return m_port; }
    // Windows path of the folder served for GET ("<root>\\a\\b.xml" is "/a/b.xml").
    std::string RootPath() const { return m_dir + "\\root"; }
    // Puts a file under the served folder, creating its folders ("a\\b.xml").
    bool PutFile(const std::string& relative, const std::string& content) const;
    // The recorded POST requests, one JSON line each.
    std::vector<std::string> RecordedPosts() const;

private:
    bool StartOnce(const Options& options);
    std::string m_dir;  // Windows path, below the build tree
    int m_port = 0;
    std::string m_stopFile;  // of the running server; empty when none runs
    int m_fixedPort = 0;
    int m_run = 0;
};

// Unix path of a Windows path on drive Z: (the build and source trees).
std::string UnixPath(const std::string& windowsPath);

// The value of a string member of one flat JSON object line ("body", "path", ...), with
// JSON escapes undone; headers is an object whose members can be read the same way with
// JsonHeader.
std::string JsonString(const std::string& line, const std::string& key);
std::string JsonHeader(const std::string& line, const std::string& header);

}  // namespace twtest
