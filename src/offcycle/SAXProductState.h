#pragma once
// The "product" element inside "identity". It has no behaviour of its own: every event succeeds.

#include "offcycle/SAXContentHandlerState.h"

namespace tw {
namespace Manifest {

class SAXProductState : public SAXContentHandlerState {
public:
    HRESULT startElement(const wchar_t* namespaceUri, int namespaceUriLength, const wchar_t* localName,
                         int localNameLength, const wchar_t* qualifiedName, int qualifiedNameLength,
                         ISAXAttributes* attributes) override;
    HRESULT endElement(const wchar_t* namespaceUri, int namespaceUriLength, const wchar_t* localName,
                       int localNameLength, const wchar_t* qualifiedName, int qualifiedNameLength) override;
    HRESULT characters(const wchar_t* text, int textLength) override;
    ~SAXProductState() override;
};

}  // namespace Manifest
}  // namespace tw
