#pragma once
// The progress callback of one download: ends the download when it runs past its deadline
// or its size cap, from the progress reports, and keeps the binding so that a watchdog can
// abort a download that reports nothing at all (a server that never answers).

#include <windows.h>
#include <urlmon.h>

#include <atomic>
#include <mutex>

#include "common/Handles.h"

namespace tw {

class CDownloadStatusCallback : public IBindStatusCallback {
public:
    CDownloadStatusCallback(ULONGLONG deadlineTick, ULONGLONG maxBytes);
    CDownloadStatusCallback(const CDownloadStatusCallback&) = delete;
    CDownloadStatusCallback& operator=(const CDownloadStatusCallback&) = delete;

    // True once the download was ended for a bound.
    bool OverBound() const { return m_overBound; }
    // Aborts the running binding, if there is one; called from the watchdog thread.
    void AbortForDeadline();

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IBindStatusCallback
    HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD reserved, IBinding* binding) override;
    HRESULT STDMETHODCALLTYPE GetPriority(LONG* priority) override;
    HRESULT STDMETHODCALLTYPE OnLowResource(DWORD reserved) override;
    HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode,
                                         LPCWSTR statusText) override;
    HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT result, LPCWSTR error) override;
    HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD* bindFlags, BINDINFO* bindInfo) override;
    HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD flags, DWORD size, FORMATETC* format, STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID iid, IUnknown* object) override;

private:
    virtual ~CDownloadStatusCallback() = default;

    std::atomic<ULONG> m_references{1};
    const ULONGLONG m_deadlineTick;
    const ULONGLONG m_maxBytes;
    std::atomic<bool> m_overBound{false};
    std::mutex m_lock;
    ComPtr<IBinding> m_binding;
};

}  // namespace tw
