#include "offcycle/SAXFileState.h"

#include <string>
#include <utility>

#include "offcycle/ManifestTable.h"
#include "offcycle/SAXContentHandlerImpl.h"

namespace tw {
namespace Manifest {

SAXFileState::SAXFileState(SAXContentHandlerImpl* handler) : m_handler(handler) {}

HRESULT SAXFileState::startElement(const wchar_t* namespaceUri, int namespaceUriLength, const wchar_t* localName,
                                   int localNameLength, const wchar_t* qualifiedName, int qualifiedNameLength,
                                   ISAXAttributes* attributes) {
    SAXAbstractStringState::startElement(namespaceUri, namespaceUriLength, localName, localNameLength, qualifiedName,
                                         qualifiedNameLength, attributes);
    // Read straight into the member: one text per item fewer to allocate and copy.
    m_base.clear();
    if (!ReadAttribute(attributes, namespaceUri, namespaceUriLength, L"base", 4, m_base)) m_base = L"INSTALLDIR";
    return S_OK;
}

HRESULT SAXFileState::endElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int) {
    ManifestTable* table = m_handler->GetTable();
    if (table->currentItem) {
        // Both are set anew at the next start element: handed over, not copied.
        table->currentItem->file = std::move(m_text);
        table->currentItem->base = std::move(m_base);
    }
    return S_OK;
}

SAXFileState::~SAXFileState() = default;

}  // namespace Manifest
}  // namespace tw
