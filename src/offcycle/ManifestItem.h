#pragma once
// One item of a manifest: a file path relative to a base folder, the product feature that
// owns it, and the actions named for it.

#include <map>
#include <string>

namespace tw {
namespace Manifest {

class ManifestItem {
public:
    ManifestItem();
    ~ManifestItem();

    // Adds (from, action) unless an action for the same "from" value is already there.
    void AddAction(const std::wstring& from, const std::wstring& action);

    std::map<std::wstring, std::wstring> actions;  // "from" value -> action, first one wins
    std::wstring file;                             // path relative to the base folder
    std::wstring base;                             // base folder name; empty without a file element
    std::wstring feature;                          // owning product feature
};

}  // namespace Manifest
}  // namespace tw
