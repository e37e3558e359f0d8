#include "offcycle/SAXItemState.h"

#include <new>

#include "offcycle/ManifestTable.h"
#include "offcycle/SAXContentHandlerImpl.h"

namespace tw {
namespace Manifest {

SAXItemState::SAXItemState(SAXContentHandlerImpl* handler) : m_handler(handler) {}

HRESULT SAXItemState::startElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int, ISAXAttributes*) {
    ManifestTable* table = m_handler->GetTable();
    ManifestItem* item = new (std::nothrow) ManifestItem();
    if (!item) return E_OUTOFMEMORY;
    delete table->currentItem;  // cannot be set here: items do not nest
    table->currentItem = item;
    return S_OK;
}

HRESULT SAXItemState::endElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int) {
    ManifestTable* table = m_handler->GetTable();
    ManifestItem* item = table->currentItem;
    if (!item) return S_OK;
    table->currentItem = nullptr;
    try {
        table->items.emplace(item->feature, item);
    } catch (...) {
        delete item;
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT SAXItemState::characters(const wchar_t*, int) {
    return S_OK;
}

SAXItemState::~SAXItemState() = default;

}  // namespace Manifest
}  // namespace tw
