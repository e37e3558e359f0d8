#pragma once
// tools/loopback-server.py started from a test (Wine runs the Unix interpreter directly) on
// 127.0.0.1: HTTPS with the test PKI's certificate for "localhost", or plain HTTP; serving a
// folder, recording posts and every request, misbehaving on request. Each server has a
// scratch folder of the build tree; it is always told to stop when the object goes, and ends
// by itself after its lifetime anyway.

#include <string>
#include <vector>

namespace twtest {

class LoopbackServer {
public:
    struct Options {
        bool tls = true;                 // build/pki/server.pem and .key
        std::string mode = "serve";      // for every request: serve, notfound, hang, ... (the script's usage)
        std::vector<std::string> rules;  // "PREFIX=MODE", before the mode
        std::string root;                // Windows path of the folder to serve; empty: RootPath()
        std::string host = "localhost";  // the host name of Url(): the certificate's
        int port = 0;                    // 0: any free port
        int lifetimeSeconds = 120;
    };

    // Starts the server with the options given (none: the defaults) and waits (bounded)
    // until it listens; Ready() tells whether it does. A fixed port that is busy is tried
    // again for a while, since other test programs may hold it.
    LoopbackServer();
    explicit LoopbackServer(const Options& options);
    // Tells the server to stop and waits (bounded) until its port is free.
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    bool Ready() const { return m_port > 0; }
    int Port() const { return m_port; }
    // The address of a path on this server ("/a/b.xml").
    std::string Url(const std::string& path) const;
    // Windows path of the folder served for GET ("<root>\\a\\b.xml" is "/a/b.xml").
    std::string RootPath() const { return m_root.empty() ? m_dir + "\\root" : m_root; }
    // Puts a file under the served folder, creating its folders ("a\\b.xml" or "a/b.xml").
    bool Put(const std::string& relative, const std::string& content) const;
    // The recorded POST requests, one JSON line each.
    std::vector<std::string> RecordedPosts() const;
    // The requests the server received, one "METHOD PATH" line each.
    std::string AccessLog() const;

private:
    bool Start(const Options& options);
    bool StartOnce(const Options& options);
    void Stop();
    std::string m_dir;  // Windows path, below the build tree
    std::string m_root;
    std::string m_scheme = "https";
    std::string m_host = "localhost";
    int m_port = 0;
    std::string m_stopFile;  // of the running server; empty when none runs
    int m_fixedPort = 0;
    int m_run = 0;
};

// The value of a string member of one flat JSON object line of RecordedPosts() ("body",
// "path", ...), with JSON escapes undone; headers is an object whose members can be read
// the same way with JsonHeader.
std::string JsonString(const std::string& line, const std::string& key);
std::string JsonHeader(const std::string& line, const std::string& header);

}  // namespace twtest
