#pragma once
// One parsed manifest. The table owns every item its map holds; moving map entries into
// another container hands the items over.

#include <list>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "offcycle/ManifestItem.h"

namespace tw {
namespace Manifest {

class ManifestTable {
public:
    // Feature name -> item; keys in code-unit order, equal keys in insertion order.
    using ItemMap = std::multimap<std::wstring, std::unique_ptr<ManifestItem>>;

    ManifestTable();
    ~ManifestTable();
    ManifestTable(const ManifestTable&) = delete;
    ManifestTable& operator=(const ManifestTable&) = delete;

    // True when the text is exactly one of the valid manifest types.
    bool IsValidType(const std::wstring& type) const;

    ItemMap items;
    std::wstring manifestType;
    int manifestVersion = 0;
    std::wstring manifestChannel;
    std::list<std::wstring> productNames;
    int productVersion = 0;
    // The item between its start and end element, until it is filed; an item left open by
    // a parse that stopped half-way goes with the table.
    std::unique_ptr<ManifestItem> currentItem;
    std::set<std::wstring> validTypes;
};

}  // namespace Manifest
}  // namespace tw
