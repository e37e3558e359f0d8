#pragma once
// An "action" element of an item: the action text and its "from" attribute.

#include <string>

#include "offcycle/SAXAbstractStringState.h"

namespace tw {
namespace Manifest {

class SAXContentHandlerImpl;

class SAXActionState : public SAXAbstractStringState {
public:
    explicit SAXActionState(SAXContentHandlerImpl* handler);
    HRESULT startElement(const wchar_t* namespaceUri, int namespaceUriLength, const wchar_t* localName,
                         int localNameLength, const wchar_t* qualifiedName, int qualifiedNameLength,
                         ISAXAttributes* attributes) override;
    HRESULT endElement(const wchar_t* namespaceUri, int namespaceUriLength, const wchar_t* localName,
                       int localNameLength, const wchar_t* qualifiedName, int qualifiedNameLength) override;
    ~SAXActionState() override;

private:
    SAXContentHandlerImpl* m_handler;
    std::wstring m_from;
};

}  // namespace Manifest
}  // namespace tw
