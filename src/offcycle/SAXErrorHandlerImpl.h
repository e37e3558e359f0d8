#pragma once
// The error handler registered with the SAX reader. It accepts every report without
// recording it, so a malformed manifest ends the parse with the reader's own result.

#include <windows.h>
#include <msxml2.h>

namespace tw {
namespace Manifest {

class SAXErrorHandlerImpl : public ISAXErrorHandler {
public:
    SAXErrorHandlerImpl();
    virtual ~SAXErrorHandlerImpl();

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // ISAXErrorHandler
    HRESULT STDMETHODCALLTYPE error(ISAXLocator* locator, const wchar_t* message, HRESULT errorCode) override;
    HRESULT STDMETHODCALLTYPE fatalError(ISAXLocator* locator, const wchar_t* message, HRESULT errorCode) override;
    HRESULT STDMETHODCALLTYPE ignorableWarning(ISAXLocator* locator, const wchar_t* message,
                                               HRESULT errorCode) override;

private:
    LONG m_refCount = 0;
};

}  // namespace Manifest
}  // namespace tw
