#include "offcycle/ulip/DownloadStatusCallback.h"

namespace tw {

CDownloadStatusCallback::CDownloadStatusCallback(ULONGLONG deadlineTick, ULONGLONG maxBytes)
    : m_deadlineTick(deadlineTick), m_maxBytes(maxBytes) {}

void CDownloadStatusCallback::AbortForDeadline() {
    ComPtr<IBinding> binding;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        binding = m_binding;
    }
    m_overBound = true;
    if (binding) binding->Abort();
}

HRESULT STDMETHODCALLTYPE CDownloadStatusCallback::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IBindStatusCallback)) {
        *object = static_cast<IBindStatusCallback*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CDownloadStatusCallback::AddRef() { return ++m_references; }

ULONG STDMETHODCALLTYPE CDownloadStatusCallback::Release() {
    ULONG left = --m_references;
    if (left == 0) delete this;
    return left;
}

HRESULT STDMETHODCALLTYPE CDownloadStatusCallback::OnStartBinding(DWORD, IBinding* binding) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (binding) binding->AddRef();
    m_binding = ComPtr<IBinding>(binding);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDownloadStatusCallback::GetPriority(LONG*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CDownloadStatusCallback::OnLowResource(DWORD) { return S_OK; }

HRESULT STDMETHODCALLTYPE CDownloadStatusCallback::OnProgress(ULONG progress, ULONG, ULONG, LPCWSTR) {
    if (m_overBound || ::GetTickCount64() >= m_deadlineTick || progress > m_maxBytes) {
        m_overBound = true;
        return E_ABORT;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDownloadStatusCallback::OnStopBinding(HRESULT, LPCWSTR) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_binding.Reset();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDownloadStatusCallback::GetBindInfo(DWORD*, BINDINFO*) { return S_OK; }

HRESULT STDMETHODCALLTYPE CDownloadStatusCallback::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDownloadStatusCallback::OnObjectAvailable(REFIID, IUnknown*) { return S_OK; }

}  // namespace tw
