#include "offcycle/ulip/UrlDownload.h"

#include <urlmon.h>
#include <wininet.h>

#include <atomic>
#include <string>

#include "logging/BoundedHttpRequest.h"

namespace tw {

namespace {

// Never from or into the Internet cache: the package must not stay on disk twice, and a
// cached copy must not stand in for the server's answer.
constexpr DWORD kDownloadFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                                 INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;

HRESULT HttpStatusResult(DWORD status) { return MAKE_HRESULT(SEVERITY_ERROR, 25 /* FACILITY_HTTP */, status & 0xFFFF); }

}  // namespace

CUrlDownload::CUrlDownload(DWORD timeoutMs, ULONGLONG maxBytes) : m_timeoutMs(timeoutMs), m_maxBytes(maxBytes) {}

HRESULT CUrlDownload::Download(const char* address, const char* target) {
    m_lastError = 0;
    m_overBound = false;
    const std::string finalTarget = target ? target : "";
    // A name of this download's own: a download given up on may still hold its file open
    // for a moment, and must not stand in the way of the next one.
    static std::atomic<unsigned> s_downloads{0};
    const std::string partial = finalTarget + "." + std::to_string(::GetCurrentProcessId()) + "-" +
                                std::to_string(++s_downloads) + ".download";

    BoundedHttpRequest::Bounds bounds;
    bounds.connectTimeoutMs = kIdleMs;
    bounds.sendTimeoutMs = kIdleMs;
    bounds.receiveTimeoutMs = kIdleMs;
    bounds.idleMs = kIdleMs;
    bounds.deadlineMs = m_timeoutMs;
    bounds.maxBytes = m_maxBytes;
    const BoundedHttpRequest::Outcome got =
        BoundedHttpRequest::GetToFile(address ? address : "", "Tallyworks Update", kDownloadFlags, partial, bounds);

    using Ending = BoundedHttpRequest::Ending;
    HRESULT hr = S_OK;
    m_lastError = got.error;
    switch (got.ending) {
        case Ending::kCompleted:
            break;
        case Ending::kFailed:
            if (got.error == ERROR_NOT_ENOUGH_MEMORY || got.error == ERROR_OUTOFMEMORY)
                hr = E_OUTOFMEMORY;
            else if (got.error >= INTERNET_ERROR_BASE && got.error <= INTERNET_ERROR_LAST)
                hr = INET_E_DOWNLOAD_FAILURE;  // the server could not be reached or broke off
            else
                hr = HRESULT_FROM_WIN32(got.error ? got.error : ERROR_GEN_FAILURE);
            break;
        case Ending::kHttpStatus:
            hr = HttpStatusResult(got.status);
            m_lastError = 0;
            break;
        case Ending::kShort:
            hr = INET_E_DATA_NOT_AVAILABLE;
            break;
        case Ending::kTooLarge:
            m_lastError = ERROR_FILE_TOO_LARGE;
            m_overBound = true;
            hr = E_ABORT;
            break;
        case Ending::kDeadline:
        case Ending::kIdle:
        case Ending::kCancelled:
            m_overBound = true;
            hr = E_ABORT;
            break;
    }
    if (hr == S_OK && !::MoveFileExA(partial.c_str(), finalTarget.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        m_lastError = ::GetLastError();
        hr = HRESULT_FROM_WIN32(m_lastError);
    }
    if (hr != S_OK) ::DeleteFileA(partial.c_str());
    ::SetLastError(m_lastError);
    return hr;
}

}  // namespace tw
