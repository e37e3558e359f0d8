#pragma once
// One WinINet exchange whose caller waits no longer than its bounds, whatever the server
// does: time-outs bound each connect, send and receive, and the exchange runs on a worker
// of its own (CBoundedWorker) whose waiter gives up at an overall deadline, when nothing
// (or next to nothing) arrives for the idle bound, or when the user cancels. The waiting
// thread keeps dispatching its window messages. A worker given up on ends by itself with
// the connection; it touches nothing but what the exchange owns: it neither logs nor reads
// the caller's objects, and deletes a file it was writing.

#include <windows.h>
#include <wininet.h>

#include <cstddef>
#include <string>

namespace tw {

class BoundedHttpRequest {
public:
    struct Bounds {
        DWORD connectTimeoutMs = 8000;
        DWORD sendTimeoutMs = 8000;
        DWORD receiveTimeoutMs = 8000;
        DWORD idleMs = 8000;                      // less than 1 KiB arriving in this time fails the exchange
        DWORD deadlineMs = 10000;                 // the whole exchange, from opening the session to the last byte
        unsigned long long maxBytes = 64 * 1024;  // more content than this fails the exchange
    };

    // How the exchange ended, for callers that tell the reasons apart.
    enum class Ending {
        kCompleted,   // within the bounds (any HTTP status unless a file was asked for)
        kFailed,      // a WinINet call failed, or the answer was refused (error says which)
        kTooLarge,    // more than maxBytes
        kShort,       // the answer ended before its Content-Length
        kHttpStatus,  // a file download answered with a status other than 200
        kDeadline,    // the overall deadline passed
        kIdle,        // nothing arrived for the idle bound
        kCancelled,   // the user cancelled the wait
    };

    struct Outcome {
        bool ok = false;  // completed within the bounds
        Ending ending = Ending::kFailed;
        const char* failure = "";      // what went wrong when not ok
        DWORD error = 0;               // the WinINet error of the failing call (ERROR_INTERNET_TIMEOUT past a
                                       // time bound, ERROR_CANCELLED after Cancel)
        DWORD status = 0;              // HTTP status, 0 when there was none
        std::string content;           // what was read (GET into memory only)
        unsigned long long bytes = 0;  // body bytes read
    };

    // GET of url through InternetOpenUrlA (agent, flags), read in chunks of chunkSize into
    // content.
    static Outcome Get(const std::string& url, const char* agent, DWORD flags, size_t chunkSize, const Bounds& bounds);

    // GET of url into the file given, which only a complete answer with status 200 leaves
    // behind: a failed download, whatever the reason, deletes what it wrote. The body is
    // counted as it is written, so maxBytes holds however the server sends it.
    static Outcome GetToFile(const std::string& url, const char* agent, DWORD flags, const std::string& filePath,
                             const Bounds& bounds);

    // POST of body to the host, port and path given (HTTPS) with the extra headers: HttpSendRequestExA,
    // InternetWriteFile, HttpEndRequestA; the answer is read in chunks of chunkSize and
    // dropped.
    static Outcome Post(const std::string& host, INTERNET_PORT port, const std::string& path, DWORD flags,
                        const std::string& headers, const std::string& body, size_t chunkSize, const Bounds& bounds);

    // Failures that say the server cannot be reached at all (time-out, unknown name,
    // refused, no network, TLS failure, connection lost), not that it refused one request.
    static bool IsConnectionFailure(DWORD error);
};

}  // namespace tw
