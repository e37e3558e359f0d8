#include "offcycle/ManifestParser.h"

#include <oleauto.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <new>
#include <utility>

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

// The file's bytes converted from the ANSI code page, up to the first zero byte. The bytes
// are read through a view of the file rather than copied to the heap first, so only the
// converted text takes memory of its own.
HRESULT ReadAnsiFileAsBstr(const char* path, Bstr& out) {
    out.Reset();
    FileHandle file(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return E_FAIL;
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file.Get(), &size)) return E_FAIL;
    // MultiByteToWideChar counts in int.
    if (size.QuadPart >= INT_MAX) return E_OUTOFMEMORY;

    int byteCount = 0;
    KernelHandle mapping;
    MappedView view;
    if (size.QuadPart > 0) {
        mapping.Reset(::CreateFileMappingA(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
        if (!mapping) return HRESULT_FROM_WIN32(::GetLastError());
        view.Reset(::MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0));
        if (!view) return HRESULT_FROM_WIN32(::GetLastError());
        const char* bytes = static_cast<const char*>(view.Get());
        const void* zero = std::memchr(bytes, '\0', static_cast<size_t>(size.QuadPart));
        byteCount = zero ? static_cast<int>(static_cast<const char*>(zero) - bytes) : static_cast<int>(size.QuadPart);
    }
    const char* bytes = static_cast<const char*>(view.Get());

    int wideLength = byteCount > 0 ? ::MultiByteToWideChar(CP_ACP, 0, bytes, byteCount, nullptr, 0) : 0;
    if (byteCount > 0 && wideLength <= 0) return HRESULT_FROM_WIN32(::GetLastError());
    Bstr text(::SysAllocStringLen(nullptr, static_cast<UINT>(wideLength)));
    if (!text) return E_OUTOFMEMORY;
    if (wideLength > 0 && ::MultiByteToWideChar(CP_ACP, 0, bytes, byteCount, text.Get(), wideLength) != wideLength)
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
