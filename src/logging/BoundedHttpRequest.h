#pragma once
// One WinINet exchange whose caller waits no longer than a deadline, whatever the server
// does. Time-outs bound each connect, send and receive; but a server that answers a byte at
// a time within every time-out can hold a synchronous WinINet call for as long as it likes
// (some implementations fill their whole read buffer before returning). So the exchange
// runs on a worker thread of its own; when the deadline passes first, the caller goes on
// with a time-out and the worker is left to end with the connection (or the process). The
// worker touches nothing but what the exchange owns: it neither logs nor reads the caller's
// objects.

#include <windows.h>
#include <wininet.h>

#include <cstddef>
#include <string>

namespace tw {

class BoundedHttpRequest {
public:
    struct Bounds {
        DWORD connectTimeoutMs = 4000;
        DWORD sendTimeoutMs = 4000;
        DWORD receiveTimeoutMs = 4000;
        DWORD deadlineMs = 10000;  // the whole exchange, from opening the session to the last byte
        size_t maxBytes = 64 * 1024;  // more content than this fails the exchange
    };

    struct Outcome {
        bool ok = false;            // completed within the bounds (any HTTP status)
        const char* failure = "";  // what went wrong when not ok
        DWORD error = 0;            // the WinINet error of the failing call (ERROR_INTERNET_TIMEOUT when
                                    // the deadline passed)
        DWORD status = 0;           // HTTP status, 0 when there was none
        std::string content;        // what was read (GET only)
    };

    // GET of url through InternetOpenUrlA (agent, flags), read in chunks of chunkSize.
    static Outcome Get(const std::string& url, const char* agent, DWORD flags, size_t chunkSize,
                       const Bounds& bounds);

    // POST of body to the host, port and path given (HTTPS) with the extra headers: HttpSendRequestExA,
    // InternetWriteFile, HttpEndRequestA; the answer is read in chunks of chunkSize and
    // dropped.
    static Outcome Post(const std::string& host, INTERNET_PORT port, const std::string& path, DWORD flags,
                        const std::string& headers, const std::string& body, size_t chunkSize, const Bounds& bounds);

    // Failures that say the server cannot be reached at all (time-out, unknown name,
    // refused, TLS failure, connection lost), not that it refused one request.
    static bool IsConnectionFailure(DWORD error);
};

}  // namespace tw
