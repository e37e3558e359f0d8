#pragma once
// An element whose text is a decimal number. Each delivered block of text is read as a
// signed 32-bit number and the last value is kept; no text gives 0.

#include "offcycle/SAXContentHandlerState.h"

namespace tw {
namespace Manifest {

class SAXAbstractIntegerState : public SAXContentHandlerState {
public:
    HRESULT startElement(const wchar_t* namespaceUri, int namespaceUriLength, const wchar_t* localName,
                         int localNameLength, const wchar_t* qualifiedName, int qualifiedNameLength,
                         ISAXAttributes* attributes) override;
    HRESULT characters(const wchar_t* text, int textLength) override;
    ~SAXAbstractIntegerState() override;

protected:
    int m_value = 0;
};

}  // namespace Manifest
}  // namespace tw
