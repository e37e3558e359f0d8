#include "offcycle/ManifestParser.h"

#include <oleauto.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <fstream>
#include <new>
#include <utility>
#include <vector>

#include "common/Handles.h"
#include "offcycle/ErrorText.h"
#include "offcycle/ManifestTable.h"
#include "offcycle/SAXContentHandlerImpl.h"
#include "offcycle/SAXErrorHandlerImpl.h"

namespace tw {
namespace Manifest {

namespace {

// Takes the handlers off the reader when the parse is over, so the reader does not keep
// a handler that points at a table the caller is about to destroy.
class HandlerRegistration {
public:
    explicit HandlerRegistration(ISAXXMLReader* reader) : m_reader(reader) {}
    ~HandlerRegistration() {
        if (m_content) m_reader->putContentHandler(nullptr);
        if (m_error) m_reader->putErrorHandler(nullptr);
    }
    HandlerRegistration(const HandlerRegistration&) = delete;
    HandlerRegistration& operator=(const HandlerRegistration&) = delete;
    bool m_content = false;
    bool m_error = false;

private:
    ISAXXMLReader* m_reader;
};

// The file's bytes converted from the ANSI code page, up to the first zero byte.
HRESULT ReadAnsiFileAsBstr(const char* path, Bstr& out) {
    out.Reset();
    std::ifstream stream(path, std::ios::in | std::ios::binary);
    if (!stream) return E_FAIL;
    stream.seekg(0, std::ios::end);
    std::streamoff size = stream.tellg();
    if (size < 0) return E_FAIL;
    stream.seekg(0, std::ios::beg);
    // Four zero bytes after the text terminate it whatever the content.
    std::vector<char> buffer(static_cast<size_t>(size) + 4, '\0');
    if (size > 0) stream.read(buffer.data(), size);
    stream.close();

    int wideLength = ::MultiByteToWideChar(CP_ACP, 0, buffer.data(), -1, nullptr, 0);
    if (wideLength <= 0) return HRESULT_FROM_WIN32(::GetLastError());
    Bstr text(::SysAllocStringLen(nullptr, static_cast<UINT>(wideLength - 1)));
    if (!text) return E_OUTOFMEMORY;
    if (::MultiByteToWideChar(CP_ACP, 0, buffer.data(), -1, text.Get(), wideLength) <= 0)
        return HRESULT_FROM_WIN32(::GetLastError());
    out = std::move(text);
    return S_OK;
}

}  // namespace

HRESULT ParseManifestFile(std::unique_ptr<SAXContentHandlerStateFactory>& factoryHolder, ManifestTable& table,
                          const char* path, ISAXXMLReader* reader) {
    if (!reader || !path) return E_POINTER;
    try {
        if (!factoryHolder) factoryHolder.reset(new SAXContentHandlerStateFactory());

        SAXContentHandlerImpl* contentImpl = new SAXContentHandlerImpl(factoryHolder.get());
        contentImpl->AddRef();
        ComPtr<ISAXContentHandler> content(contentImpl);
        contentImpl->SetTable(&table);

        HandlerRegistration registration(reader);
        HRESULT hr = reader->putContentHandler(content.Get());
        if (FAILED(hr)) return hr;
        registration.m_content = true;

        SAXErrorHandlerImpl* errorImpl = new SAXErrorHandlerImpl();
        errorImpl->AddRef();
        ComPtr<ISAXErrorHandler> errors(errorImpl);
        hr = reader->putErrorHandler(errors.Get());
        if (FAILED(hr)) return hr;
        registration.m_error = true;

        struct _stat64 status;
        if (::_stat64(path, &status) != 0) return HResultFromErrno(errno);

        Bstr text;
        hr = ReadAnsiFileAsBstr(path, text);
        if (FAILED(hr)) return hr;

        // The variant only lends the text to the reader; text frees it.
        VARIANT source;
        ::VariantInit(&source);
        source.vt = VT_BSTR;
        source.bstrVal = text.Get();
        return reader->parse(source);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace Manifest
}  // namespace tw
