#pragma once
// One download of an address to a file with the URL moniker service, bounded in time and
// size: past the deadline or the cap the download is aborted, which is its ordinary
// failure. The file is downloaded under the target's name with ".download" added and renamed
// to the target only when complete: a failed download leaves the target as it was. The size
// cap works through the progress reports; a download that reports none ends at the deadline.

#include <windows.h>

namespace tw {

class CUrlDownload {
public:
    // Five minutes: room for a package of some tens of megabytes on a slow line, and clear of
    // the two minutes after which Wine's service gives up on a silent server by itself
    // (answering success with whatever it got, which the signature check then refuses).
    static constexpr DWORD kDefaultTimeoutMs = 300 * 1000;
    static constexpr ULONGLONG kDefaultMaxBytes = 256ull * 1024 * 1024;
    // How long an aborted download may take to end before it is given up.
    static constexpr DWORD kAbortGraceMs = 2000;

    CUrlDownload(DWORD timeoutMs, ULONGLONG maxBytes);

    // URLDownloadToFileA's result, or the rename's failure.
    HRESULT Download(const char* address, const char* target);
    // The system error right after the download call.
    DWORD LastError() const { return m_lastError; }
    // True when the download was ended for running past a bound.
    bool OverBound() const { return m_overBound; }

private:
    DWORD m_timeoutMs;
    ULONGLONG m_maxBytes;
    DWORD m_lastError = 0;
    bool m_overBound = false;
};

}  // namespace tw
