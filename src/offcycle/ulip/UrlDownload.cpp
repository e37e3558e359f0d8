#include "offcycle/ulip/UrlDownload.h"

#include <urlmon.h>

#include <atomic>
#include <memory>
#include <new>
#include <string>

#include "common/Handles.h"
#include "offcycle/ulip/DownloadStatusCallback.h"

namespace tw {

namespace {

// One download, shared by the caller and the thread that runs it: the thread may outlive the
// caller's wait.
struct DownloadJob {
    std::string address;
    std::string target;  // the file being downloaded
    ComPtr<CDownloadStatusCallback> callback;
    std::atomic<bool> abandoned{false};
    KernelHandle done;
    HRESULT result = E_FAIL;
    DWORD lastError = 0;
};

DWORD WINAPI DownloadThread(void* parameter) {
    std::unique_ptr<std::shared_ptr<DownloadJob>> holder(static_cast<std::shared_ptr<DownloadJob>*>(parameter));
    DownloadJob& job = **holder;
    {
        ComInit com;
        job.result = ::URLDownloadToFileA(nullptr, job.address.c_str(), job.target.c_str(), 0, job.callback.Get());
        job.lastError = ::GetLastError();
    }
    // A download given up by its caller may still end, later, with a file: nobody wants it.
    if (job.abandoned) ::DeleteFileA(job.target.c_str());
    ::SetEvent(job.done.Get());
    return 0;
}

}  // namespace

CUrlDownload::CUrlDownload(DWORD timeoutMs, ULONGLONG maxBytes) : m_timeoutMs(timeoutMs), m_maxBytes(maxBytes) {}

HRESULT CUrlDownload::Download(const char* address, const char* target) {
    m_lastError = 0;
    m_overBound = false;
    std::shared_ptr<DownloadJob> job = std::make_shared<DownloadJob>();
    job->address = address ? address : "";
    // Downloaded under a name of its own and renamed into place when complete, so that a
    // download given up while still running can never leave a file at the target.
    const std::string finalTarget = target ? target : "";
    job->target = finalTarget + ".download";
    ::DeleteFileA(job->target.c_str());
    job->callback =
        ComPtr<CDownloadStatusCallback>(new CDownloadStatusCallback(::GetTickCount64() + m_timeoutMs, m_maxBytes));
    job->done.Reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!job->done) {
        m_lastError = ::GetLastError();
        return HRESULT_FROM_WIN32(m_lastError);
    }

    // The download runs on a thread of its own, so that the wait for it is bounded even when
    // the download service does not end on an abort: when a server streams faster than it is
    // read, the service drains the connection without reporting progress or looking at an abort.
    std::unique_ptr<std::shared_ptr<DownloadJob>> parameter(new std::shared_ptr<DownloadJob>(job));
    KernelHandle thread(::CreateThread(nullptr, 0, &DownloadThread, parameter.get(), 0, nullptr));
    if (!thread) {
        m_lastError = ::GetLastError();
        return HRESULT_FROM_WIN32(m_lastError);
    }
    parameter.release();  // the thread owns it now

    HRESULT hr;
    if (::WaitForSingleObject(job->done.Get(), m_timeoutMs) != WAIT_OBJECT_0) {
        // Past the deadline: abort, and give the service a moment to end on it.
        job->callback->AbortForDeadline();
        if (::WaitForSingleObject(job->done.Get(), kAbortGraceMs) != WAIT_OBJECT_0) {
            // It did not end: the thread is left to finish on its own and deletes whatever it
            // downloaded; this download has failed.
            m_overBound = true;
            m_lastError = ERROR_TIMEOUT;
            job->abandoned = true;
            ::DeleteFileA(job->target.c_str());
            ::SetLastError(m_lastError);
            return E_ABORT;
        }
    }
    hr = job->result;
    m_lastError = job->lastError;
    m_overBound = job->callback->OverBound();
    if (hr == S_OK && !::MoveFileExA(job->target.c_str(), finalTarget.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        m_lastError = ::GetLastError();
        hr = HRESULT_FROM_WIN32(m_lastError);
    }
    if (hr != S_OK) ::DeleteFileA(job->target.c_str());
    ::SetLastError(m_lastError);
    return hr;
}

}  // namespace tw
