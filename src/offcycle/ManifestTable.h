#pragma once
// One parsed manifest. The table owns every item its map holds and deletes them when it is
// destroyed; moving map entries into another container hands the items over.

#include <list>
#include <map>
#include <set>
#include <string>

#include "offcycle/ManifestItem.h"

namespace tw {
namespace Manifest {

class ManifestTable {
public:
    // Feature name -> item; keys in code-unit order, equal keys in insertion order.
    using ItemMap = std::multimap<std::wstring, ManifestItem*>;

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
    // The item between its start and end element; owned by the table until it is filed.
    ManifestItem* currentItem = nullptr;
    std::set<std::wstring> validTypes;
};

}  // namespace Manifest
}  // namespace tw
