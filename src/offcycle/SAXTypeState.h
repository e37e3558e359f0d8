#pragma once
// The "type" element: the manifest type, which must be one of the valid types.

#include "offcycle/SAXAbstractStringState.h"

namespace tw {
namespace Manifest {

class SAXContentHandlerImpl;

class SAXTypeState : public SAXAbstractStringState {
public:
    explicit SAXTypeState(SAXContentHandlerImpl* handler);
    HRESULT endElement(const wchar_t* namespaceUri, int namespaceUriLength, const wchar_t* localName,
                       int localNameLength, const wchar_t* qualifiedName, int qualifiedNameLength) override;
    ~SAXTypeState() override;

private:
    SAXContentHandlerImpl* m_handler;
};

}  // namespace Manifest
}  // namespace tw
