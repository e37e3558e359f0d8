#pragma once
// The "file" element of an item: the file path and its "base" folder attribute.

#include <string>

#include "offcycle/SAXAbstractStringState.h"

namespace tw {
namespace Manifest {

class SAXContentHandlerImpl;

class SAXFileState : public SAXAbstractStringState {
public:
    explicit SAXFileState(SAXContentHandlerImpl* handler);
    HRESULT startElement(const wchar_t* namespaceUri, int namespaceUriLength, const wchar_t* localName,
                         int localNameLength, const wchar_t* qualifiedName, int qualifiedNameLength,
                         ISAXAttributes* attributes) override;
    HRESULT endElement(const wchar_t* namespaceUri, int namespaceUriLength, const wchar_t* localName,
                       int localNameLength, const wchar_t* qualifiedName, int qualifiedNameLength) override;
    ~SAXFileState() override;

private:
    SAXContentHandlerImpl* m_handler;
    std::wstring m_base;
};

}  // namespace Manifest
}  // namespace tw
