#include "offcycle/ManifestTable.h"

namespace tw {
namespace Manifest {

ManifestTable::ManifestTable() {
    validTypes.insert(L"patch");
    validTypes.insert(L"offcycle");
}

ManifestTable::~ManifestTable() {
    for (auto& entry : items) delete entry.second;
    items.clear();
    // An item left open by a parse that stopped half-way is not in the map.
    delete currentItem;
    currentItem = nullptr;
}

bool ManifestTable::IsValidType(const std::wstring& type) const {
    return validTypes.count(type) != 0;
}

}  // namespace Manifest
}  // namespace tw
