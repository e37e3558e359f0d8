#pragma once
// An element whose text is used. Every block of text the reader delivers inside the element
// is kept, joined in order and exactly as delivered (no trimming).

#include <string>

#include "offcycle/SAXContentHandlerState.h"

namespace tw {
namespace Manifest {

class SAXAbstractStringState : public SAXContentHandlerState {
public:
    HRESULT startElement(const wchar_t* namespaceUri, int namespaceUriLength, const wchar_t* localName,
                         int localNameLength, const wchar_t* qualifiedName, int qualifiedNameLength,
                         ISAXAttributes* attributes) override;
    HRESULT characters(const wchar_t* text, int textLength) override;
    ~SAXAbstractStringState() override;

protected:
    // Value of the element's attribute with this local name, looked up in the element's own
    // namespace; false when the attribute is absent.
    static bool ReadAttribute(ISAXAttributes* attributes, const wchar_t* namespaceUri, int namespaceUriLength,
                              const wchar_t* name, int nameLength, std::wstring& value);

    std::wstring m_text;
};

}  // namespace Manifest
}  // namespace tw
