#include <winsock2.h>

#include "LoopbackServer.h"

#include <cstdio>
#include <cstdlib>

#include "common/TestSupport.h"
#include "common/UnixHost.h"

namespace twtest {

namespace {

int g_serverCount = 0;

// Whether something accepts connections on 127.0.0.1:port. (The handle of a Unix program
// started through Wine tells nothing about its life, so the port is asked instead.)
bool PortInUse(int port) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
    bool inUse = false;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s != INVALID_SOCKET) {
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<u_short>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        inUse = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
        closesocket(s);
    }
    WSACleanup();
    return inUse;
}

// A Unix path as one argument: Wine splits the command line the Windows way.
std::string Arg(const std::string& windowsPath, const std::string& name = "") {
    return "\"" + UnixPathOf(windowsPath) + name + "\"";
}

std::string CommandLine(const LoopbackServer::Options& options, const std::string& dir, const std::string& root,
                        int run) {
    const std::string number = std::to_string(run);
    std::string args = "/usr/bin/python3 " + Arg(SourcePath("tools\\loopback-server.py")) +
                       " --bind 127.0.0.1 --port " + std::to_string(options.port) + " --ready " +
                       Arg(dir, "/ready" + number) + " --stop " + Arg(dir, "/stop" + number) + " --lifetime " +
                       std::to_string(options.lifetimeSeconds) + " --root " + Arg(root) + " --record " +
                       Arg(dir, "/record.jsonl") + " --access-log " + Arg(dir, "/access") + " --mode " + options.mode;
    if (options.tls) args += " --tls " + Arg(BinaryPath("pki\\server.pem")) + " " + Arg(BinaryPath("pki\\server.key"));
    for (const std::string& rule : options.rules) args += " --rule " + rule;
    return args;
}

}  // namespace

LoopbackServer::LoopbackServer() : LoopbackServer(Options()) {}

LoopbackServer::LoopbackServer(const Options& options) {
    m_dir = BinaryPath("tests\\loopback\\server-" + std::to_string(GetCurrentProcessId()) + "-" +
                       std::to_string(++g_serverCount));
    RemoveTree(m_dir);
    MakeDirs(m_dir + "\\root");
    Start(options);
}

LoopbackServer::~LoopbackServer() {
    Stop();
    RemoveTree(m_dir);
}

bool LoopbackServer::Start(const Options& options) {
    // A fixed port may be held by another test program for a while: wait for it.
    DWORD end = GetTickCount() + 30000;
    while (options.port && PortInUse(options.port)) {
        if (static_cast<int>(end - GetTickCount()) <= 0) {
            std::printf("loopback server: port %d stays in use\n", options.port);
            return false;
        }
        Sleep(250);
    }
    for (int attempt = 0; attempt < 3; ++attempt)
        if (StartOnce(options)) return true;
    return false;
}

bool LoopbackServer::StartOnce(const Options& options) {
    Stop();
    m_root = options.root;
    m_scheme = options.tls ? "https" : "http";
    m_host = options.host;
    const int run = ++m_run;
    const std::string ready = m_dir + "\\ready" + std::to_string(run);
    const std::string command = CommandLine(options, m_dir, RootPath(), run);
    m_stopFile = m_dir + "\\stop" + std::to_string(run);
    m_fixedPort = options.port;
    std::string port;
    if (RunUnix(
            command, [&] { return !(port = ReadTextFile(ready)).empty(); }, 10000)) {
        m_port = atoi(port.c_str());
        if (m_port > 0) return true;
    }
    std::printf("loopback server: did not start: %s\n", command.c_str());
    Stop();
    return false;
}

void LoopbackServer::Stop() {
    if (m_stopFile.empty()) return;
    WriteTextFile(m_stopFile, "stop");
    // The server looks for its stop file five times a second; its port is free again once
    // it has gone.
    int port = m_port ? m_port : m_fixedPort;
    for (int i = 0; i < 30 && port && PortInUse(port); ++i) Sleep(100);
    m_stopFile.clear();
    m_port = 0;
}

std::string LoopbackServer::Url(const std::string& path) const {
    return m_scheme + "://" + m_host + ":" + std::to_string(m_port) + path;
}

bool LoopbackServer::Put(const std::string& relative, const std::string& content) const {
    std::string path = RootPath() + "\\" + relative;
    for (char& c : path)
        if (c == '/') c = '\\';
    MakeDirs(path.substr(0, path.find_last_of('\\')));
    return WriteTextFile(path, content);
}

std::vector<std::string> LoopbackServer::RecordedPosts() const {
    std::vector<std::string> lines;
    std::string text = ReadTextFile(m_dir + "\\record.jsonl");
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        if (end > pos) lines.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return lines;
}

std::string LoopbackServer::AccessLog() const { return ReadTextFile(m_dir + "\\access"); }

namespace {

// The JSON string that starts at the quote at pos; pos ends after it.
std::string ReadJsonString(const std::string& text, size_t& pos) {
    std::string out;
    if (pos >= text.size() || text[pos] != '"') return out;
    ++pos;
    while (pos < text.size() && text[pos] != '"') {
        char c = text[pos++];
        if (c != '\\' || pos >= text.size()) {
            out += c;
            continue;
        }
        char e = text[pos++];
        switch (e) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                unsigned code = static_cast<unsigned>(strtoul(text.substr(pos, 4).c_str(), nullptr, 16));
                pos += 4;
                out += static_cast<char>(code & 0xFF);  // bodies are recorded as Latin-1
                break;
            }
            default:
                out += e;
                break;
        }
    }
    ++pos;
    return out;
}

std::string FindMember(const std::string& text, size_t from, const std::string& key) {
    std::string needle = "\"" + key + "\": ";
    size_t at = text.find(needle, from);
    if (at == std::string::npos) return std::string();
    size_t pos = at + needle.size();
    return ReadJsonString(text, pos);
}

}  // namespace

std::string JsonString(const std::string& line, const std::string& key) { return FindMember(line, 0, key); }

std::string JsonHeader(const std::string& line, const std::string& header) {
    size_t headers = line.find("\"headers\": {");
    if (headers == std::string::npos) return std::string();
    return FindMember(line, headers, header);
}

}  // namespace twtest
