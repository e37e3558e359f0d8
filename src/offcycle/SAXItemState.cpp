#include "offcycle/SAXItemState.h"

#include <memory>
#include <new>
#include <string>
#include <utility>

#include "offcycle/ManifestTable.h"
#include "offcycle/SAXContentHandlerImpl.h"

namespace tw {
namespace Manifest {

SAXItemState::SAXItemState(SAXContentHandlerImpl* handler) : m_handler(handler) {}

HRESULT SAXItemState::startElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int, ISAXAttributes*) {
    ManifestTable* table = m_handler->GetTable();
    std::unique_ptr<ManifestItem> item(new (std::nothrow) ManifestItem());
    if (!item) return E_OUTOFMEMORY;
    table->currentItem = std::move(item);  // none is open here: items do not nest
    return S_OK;
}

HRESULT SAXItemState::endElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int) {
    ManifestTable* table = m_handler->GetTable();
    std::unique_ptr<ManifestItem> item = std::move(table->currentItem);
    if (!item) return S_OK;
    try {
        std::wstring feature = item->feature;
        table->items.emplace(std::move(feature), std::move(item));
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT SAXItemState::characters(const wchar_t*, int) { return S_OK; }

SAXItemState::~SAXItemState() = default;

}  // namespace Manifest
}  // namespace tw
