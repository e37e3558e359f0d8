#pragma once
// The "version" element inside "identity": the manifest version.

#include "offcycle/SAXAbstractIntegerState.h"

namespace tw {
namespace Manifest {

class SAXContentHandlerImpl;

class SAXVersionState : public SAXAbstractIntegerState {
public:
    explicit SAXVersionState(SAXContentHandlerImpl* handler);
    HRESULT endElement(const wchar_t* namespaceUri, int namespaceUriLength, const wchar_t* localName,
                       int localNameLength, const wchar_t* qualifiedName, int qualifiedNameLength) override;
    ~SAXVersionState() override;

private:
    SAXContentHandlerImpl* m_handler;
};

}  // namespace Manifest
}  // namespace tw
