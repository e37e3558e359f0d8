#pragma once
// The "channel" element of the identity.

#include "offcycle/SAXAbstractStringState.h"

namespace tw {
namespace Manifest {

class SAXContentHandlerImpl;

class SAXChannelState : public SAXAbstractStringState {
public:
    explicit SAXChannelState(SAXContentHandlerImpl* handler);
    HRESULT endElement(const wchar_t* namespaceUri, int namespaceUriLength, const wchar_t* localName,
                       int localNameLength, const wchar_t* qualifiedName, int qualifiedNameLength) override;
    ~SAXChannelState() override;

private:
    SAXContentHandlerImpl* m_handler;
};

}  // namespace Manifest
}  // namespace tw
