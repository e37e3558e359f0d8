#pragma once
// Base of the manifest parser's element states. The content handler keeps one state per
// element kind and hands each SAX event to the state of the element it belongs to.

#include <windows.h>
#include <msxml2.h>

namespace tw {
namespace Manifest {

class SAXContentHandlerState {
public:
    virtual HRESULT startElement(const wchar_t* namespaceUri, int namespaceUriLength, const wchar_t* localName,
                                 int localNameLength, const wchar_t* qualifiedName, int qualifiedNameLength,
                                 ISAXAttributes* attributes) = 0;
    virtual HRESULT endElement(const wchar_t* namespaceUri, int namespaceUriLength, const wchar_t* localName,
                               int localNameLength, const wchar_t* qualifiedName, int qualifiedNameLength) = 0;
    virtual HRESULT characters(const wchar_t* text, int textLength) = 0;
    virtual ~SAXContentHandlerState();
};

}  // namespace Manifest
}  // namespace tw
