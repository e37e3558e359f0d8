#include "offcycle/SAXTypeState.h"

#include "offcycle/ManifestTable.h"
#include "offcycle/SAXContentHandlerImpl.h"

namespace tw {
namespace Manifest {

SAXTypeState::SAXTypeState(SAXContentHandlerImpl* handler) : m_handler(handler) {}

HRESULT SAXTypeState::endElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int) {
    ManifestTable* table = m_handler->GetTable();
    if (!table->IsValidType(m_text)) return E_FAIL;  // stops the parse
    table->manifestType = m_text;
    return S_OK;
}

SAXTypeState::~SAXTypeState() = default;

}  // namespace Manifest
}  // namespace tw
