#pragma once
// Bounded HTTPS download of the operating-system support configuration: the text exactly as
// the server sent it, or a failure. A server that does not answer, answers slowly or sends
// too much cannot hold the update: every step has a time-out, the transfer an idle bound,
// the whole download a deadline and the text a size cap; the main thread's window keeps
// answering while it waits.

#include <windows.h>

#include <cstddef>
#include <string>

namespace tw {

class CSupportConfigDownload {
public:
    // The agent name the maker's server knows the installer by.
    static constexpr const char kAgentName[] = "TWPatchUpdate";
    // Largest piece asked for in one read.
    static constexpr size_t kChunkSize = 5000;

    struct Bounds {
        DWORD connectTimeoutMs = 8000;
        DWORD sendTimeoutMs = 8000;
        DWORD receiveTimeoutMs = 8000;
        // Less than 1 KiB arriving in this time: the server has stalled.
        DWORD idleMs = 8000;
        // From the start of the download to its end, whatever the server does.
        DWORD deadlineMs = 10000;
        size_t maxBytes = 64 * 1024;
    };

    enum class Result {
        kOk,
        kNotHttps,    // the address is not an https:// address
        kNoSession,   // InternetOpenA failed
        kOpenFailed,  // the address could not be opened (name, connection, certificate, time-out)
        kHttpStatus,  // the server answered with a status other than 200
        kReadFailed,  // a read failed or timed out
        kTooLarge,    // more than maxBytes
        kDeadline,    // the whole download took too long
    };

    // GETs url (https only) with the agent name above, bypassing the cache. On kOk, text
    // holds the body unchanged; otherwise text is empty and error says what failed (also
    // logged).
    static Result Fetch(const char* url, const Bounds& bounds, std::string& text, std::string& error);
    static Result Fetch(const char* url, std::string& text, std::string& error) {
        return Fetch(url, Bounds(), text, error);
    }
};

}  // namespace tw
