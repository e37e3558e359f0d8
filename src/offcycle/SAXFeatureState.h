#pragma once
// The "feature" element of an item: the product feature that owns the file.

#include "offcycle/SAXAbstractStringState.h"

namespace tw {
namespace Manifest {

class SAXContentHandlerImpl;

class SAXFeatureState : public SAXAbstractStringState {
public:
    explicit SAXFeatureState(SAXContentHandlerImpl* handler);
    HRESULT endElement(const wchar_t* namespaceUri, int namespaceUriLength, const wchar_t* localName,
                       int localNameLength, const wchar_t* qualifiedName, int qualifiedNameLength) override;
    ~SAXFeatureState() override;

private:
    SAXContentHandlerImpl* m_handler;
};

}  // namespace Manifest
}  // namespace tw
