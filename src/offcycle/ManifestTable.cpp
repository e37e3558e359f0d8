#include "offcycle/ManifestTable.h"

namespace tw {
namespace Manifest {

ManifestTable::ManifestTable() {
    validTypes.insert(L"patch");
    validTypes.insert(L"offcycle");
}

ManifestTable::~ManifestTable() = default;

bool ManifestTable::IsValidType(const std::wstring& type) const { return validTypes.count(type) != 0; }

}  // namespace Manifest
}  // namespace tw
