#include "baseline/EmptyContentHandler.h"

namespace twbench {
namespace {
// ISAXContentHandler (the MinGW import libraries do not carry it).
const IID kIidContentHandler = {0x1545cdfa, 0x9e4e, 0x4497, {0xa8, 0xa4, 0x2b, 0xf7, 0xd0, 0x11, 0x2c, 0x44}};
}  // namespace

HRESULT STDMETHODCALLTYPE CEmptyContentHandler::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == kIidContentHandler) {
        *object = static_cast<ISAXContentHandler*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CEmptyContentHandler::AddRef() {
    return static_cast<ULONG>(::InterlockedIncrement(&m_refCount));
}

ULONG STDMETHODCALLTYPE CEmptyContentHandler::Release() {
    return static_cast<ULONG>(::InterlockedDecrement(&m_refCount));
}

}  // namespace twbench
