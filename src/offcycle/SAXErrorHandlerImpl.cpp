#include "offcycle/SAXErrorHandlerImpl.h"

#include "offcycle/MsxmlGuids.h"

namespace tw {
namespace Manifest {

SAXErrorHandlerImpl::SAXErrorHandlerImpl() = default;
SAXErrorHandlerImpl::~SAXErrorHandlerImpl() = default;

HRESULT STDMETHODCALLTYPE SAXErrorHandlerImpl::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, kIidISAXErrorHandler)) {
        *object = static_cast<ISAXErrorHandler*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE SAXErrorHandlerImpl::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_refCount)); }

ULONG STDMETHODCALLTYPE SAXErrorHandlerImpl::Release() {
    LONG count = InterlockedDecrement(&m_refCount);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE SAXErrorHandlerImpl::error(ISAXLocator*, const wchar_t*, HRESULT) { return S_OK; }

HRESULT STDMETHODCALLTYPE SAXErrorHandlerImpl::fatalError(ISAXLocator*, const wchar_t*, HRESULT) { return S_OK; }

HRESULT STDMETHODCALLTYPE SAXErrorHandlerImpl::ignorableWarning(ISAXLocator*, const wchar_t*, HRESULT) { return S_OK; }

}  // namespace Manifest
}  // namespace tw
