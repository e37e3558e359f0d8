#include "offcycle/SAXActionState.h"

#include <string>

#include "offcycle/ManifestTable.h"
#include "offcycle/SAXContentHandlerImpl.h"

namespace tw {
namespace Manifest {

// Value of the element's attribute with this local name, looked up in the element's own
// namespace; false when the attribute is absent.
static bool ReadAttribute(ISAXAttributes* attributes, const wchar_t* namespaceUri, int namespaceUriLength,
                          const wchar_t* name, int nameLength, std::wstring& value) {
    if (!attributes) return false;
    const wchar_t* text = nullptr;
    int length = 0;
    HRESULT hr = attributes->getValueFromName(namespaceUri ? namespaceUri : L"", namespaceUri ? namespaceUriLength : 0,
                                              name, nameLength, &text, &length);
    if (FAILED(hr) || !text || length < 0) return false;
    value.assign(text, static_cast<size_t>(length));
    return true;
}

SAXActionState::SAXActionState(SAXContentHandlerImpl* handler) : m_handler(handler) {}

HRESULT SAXActionState::startElement(const wchar_t* namespaceUri, int namespaceUriLength, const wchar_t* localName,
                             int localNameLength, const wchar_t* qualifiedName, int qualifiedNameLength,
                             ISAXAttributes* attributes) {
    SAXAbstractStringState::startElement(namespaceUri, namespaceUriLength, localName, localNameLength, qualifiedName,
                                         qualifiedNameLength, attributes);
    m_from.clear();
    std::wstring value;
    if (ReadAttribute(attributes, namespaceUri, namespaceUriLength, L"from", 4, value)) m_from = value;
    return S_OK;
}

HRESULT SAXActionState::endElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int) {
    ManifestTable* table = m_handler->GetTable();
    if (table->currentItem) table->currentItem->AddAction(m_from, m_text);
    return S_OK;
}

SAXActionState::~SAXActionState() = default;

}  // namespace Manifest
}  // namespace tw
