#pragma once
// The "version" element inside "product": the product version.

#include "offcycle/SAXAbstractIntegerState.h"

namespace tw {
namespace Manifest {

class SAXContentHandlerImpl;

class SAXProductVersionState : public SAXAbstractIntegerState {
public:
    explicit SAXProductVersionState(SAXContentHandlerImpl* handler);
    HRESULT endElement(const wchar_t* namespaceUri, int namespaceUriLength, const wchar_t* localName,
                       int localNameLength, const wchar_t* qualifiedName, int qualifiedNameLength) override;
    ~SAXProductVersionState() override;

private:
    SAXContentHandlerImpl* m_handler;
};

}  // namespace Manifest
}  // namespace tw
