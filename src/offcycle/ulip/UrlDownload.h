#pragma once
// One download of an address to a file, bounded in time and size. The response is read
// through WinINet and counted into the file as it arrives, so its bounds hold whatever the
// server does: more than the cap, an answer other than 200, a body shorter than its
// Content-Length, an overall deadline, a transfer that goes idle, or the user's Cancel
// each end the download as its failure. Nothing is written to the Internet cache. The file
// is downloaded under the target's name with a number of its own and ".download" added, and
// renamed to the target only when complete: a failed download leaves the target as it was
// and nothing beside it.
//
// The results are HRESULTs of the kind the URL moniker service gives: INET_E_DOWNLOAD_FAILURE
// when the server cannot be reached, E_OUTOFMEMORY, E_ABORT for a bound or Cancel,
// INET_E_DATA_NOT_AVAILABLE for a short body and HTTP_E_STATUS-style codes (0x8019xxxx,
// the status in the low bits) for an answer other than 200.

#include <windows.h>

namespace tw {

class CUrlDownload {
public:
    // The whole download: room for a package of some tens of megabytes on a slow line. A
    // server that stalls is given up long before, by the idle bound.
    static constexpr DWORD kDefaultTimeoutMs = 300 * 1000;
    // A transfer that brings less than 1 KiB in this time has stalled.
    static constexpr DWORD kIdleMs = 8000;
    static constexpr ULONGLONG kDefaultMaxBytes = 256ull * 1024 * 1024;

    CUrlDownload(DWORD timeoutMs, ULONGLONG maxBytes);

    HRESULT Download(const char* address, const char* target);
    // The system (or WinINet) error of the failure; 0 after success.
    DWORD LastError() const { return m_lastError; }
    // True when the download was ended for running past a bound or by Cancel.
    bool OverBound() const { return m_overBound; }

private:
    DWORD m_timeoutMs;
    ULONGLONG m_maxBytes;
    DWORD m_lastError = 0;
    bool m_overBound = false;
};

}  // namespace tw
