#pragma once
// A "name" element under "product"; each one adds a product name.

#include "offcycle/SAXAbstractStringState.h"

namespace tw {
namespace Manifest {

class SAXContentHandlerImpl;

class SAXProductNameState : public SAXAbstractStringState {
public:
    explicit SAXProductNameState(SAXContentHandlerImpl* handler);
    HRESULT endElement(const wchar_t* namespaceUri, int namespaceUriLength, const wchar_t* localName,
                       int localNameLength, const wchar_t* qualifiedName, int qualifiedNameLength) override;
    ~SAXProductNameState() override;

private:
    SAXContentHandlerImpl* m_handler;
};

}  // namespace Manifest
}  // namespace tw
