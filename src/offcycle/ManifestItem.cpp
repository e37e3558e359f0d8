#include "offcycle/ManifestItem.h"

namespace tw {
namespace Manifest {

ManifestItem::ManifestItem() = default;
ManifestItem::~ManifestItem() = default;

void ManifestItem::AddAction(const std::wstring& from, const std::wstring& action) {
    actions.emplace(from, action);  // keeps an existing entry for the same "from"
}

}  // namespace Manifest
}  // namespace tw
