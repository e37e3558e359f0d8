#include "offcycle/SAXAbstractStringState.h"

namespace tw {
namespace Manifest {

HRESULT SAXAbstractStringState::startElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int,
                                             ISAXAttributes*) {
    m_text.clear();
    return S_OK;
}

// The reader may hand one element's text over in several blocks (around entity and
// character references, at its buffer boundaries): they are joined.
HRESULT SAXAbstractStringState::characters(const wchar_t* text, int textLength) {
    if (text && textLength > 0) m_text.append(text, static_cast<size_t>(textLength));
    return S_OK;
}

SAXAbstractStringState::~SAXAbstractStringState() = default;

// Value of the element's attribute with this local name, looked up in the element's own
// namespace; false when the attribute is absent.
bool SAXAbstractStringState::ReadAttribute(ISAXAttributes* attributes, const wchar_t* namespaceUri,
                                           int namespaceUriLength, const wchar_t* name, int nameLength,
                                           std::wstring& value) {
    if (!attributes) return false;
    const wchar_t* text = nullptr;
    int length = 0;
    HRESULT hr = attributes->getValueFromName(namespaceUri ? namespaceUri : L"", namespaceUri ? namespaceUriLength : 0,
                                              name, nameLength, &text, &length);
    if (FAILED(hr) || !text || length < 0) return false;
    value.assign(text, static_cast<size_t>(length));
    return true;
}

}  // namespace Manifest
}  // namespace tw
