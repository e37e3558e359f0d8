#include "offcycle/SAXActionState.h"

#include <string>

#include "offcycle/ManifestTable.h"
#include "offcycle/SAXContentHandlerImpl.h"

namespace tw {
namespace Manifest {

SAXActionState::SAXActionState(SAXContentHandlerImpl* handler) : m_handler(handler) {}

HRESULT SAXActionState::startElement(const wchar_t* namespaceUri, int namespaceUriLength, const wchar_t* localName,
                                     int localNameLength, const wchar_t* qualifiedName, int qualifiedNameLength,
                                     ISAXAttributes* attributes) {
    SAXAbstractStringState::startElement(namespaceUri, namespaceUriLength, localName, localNameLength, qualifiedName,
                                         qualifiedNameLength, attributes);
    m_from.clear();
    ReadAttribute(attributes, namespaceUri, namespaceUriLength, L"from", 4, m_from);  // absent: empty
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
