#include "offcycle/SAXFeatureState.h"

#include <utility>

#include "offcycle/ManifestTable.h"
#include "offcycle/SAXContentHandlerImpl.h"

namespace tw {
namespace Manifest {

SAXFeatureState::SAXFeatureState(SAXContentHandlerImpl* handler) : m_handler(handler) {}

HRESULT SAXFeatureState::endElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int) {
    ManifestTable* table = m_handler->GetTable();
    if (table->currentItem) table->currentItem->feature = std::move(m_text);  // cleared at the next start
    return S_OK;
}

SAXFeatureState::~SAXFeatureState() = default;

}  // namespace Manifest
}  // namespace tw
