#pragma once
// The "item" element: a new item is started at the element's start and filed in the table
// under its feature at the element's end.

#include "offcycle/SAXContentHandlerState.h"

namespace tw {
namespace Manifest {

class SAXContentHandlerImpl;

class SAXItemState : public SAXContentHandlerState {
public:
    explicit SAXItemState(SAXContentHandlerImpl* handler);
    HRESULT startElement(const wchar_t* namespaceUri, int namespaceUriLength, const wchar_t* localName,
                         int localNameLength, const wchar_t* qualifiedName, int qualifiedNameLength,
                         ISAXAttributes* attributes) override;
    HRESULT endElement(const wchar_t* namespaceUri, int namespaceUriLength, const wchar_t* localName,
                       int localNameLength, const wchar_t* qualifiedName, int qualifiedNameLength) override;
    HRESULT characters(const wchar_t* text, int textLength) override;
    ~SAXItemState() override;

private:
    SAXContentHandlerImpl* m_handler;
};

}  // namespace Manifest
}  // namespace tw
