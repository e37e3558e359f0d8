#pragma once
// The walk over the flavor nodes below one version node, which the valid-install count, the
// installed flavors of a run and the product-information reader all make. The names are
// copied before the first child is opened: they belong to the version node only until its
// next call.

#include <functional>
#include <string>

#include "datastore/TWDataTypes.h"

namespace tw {

class CTWFlavorNode;
class CTWVersionNode;

class CFlavorWalk {
public:
    // Which names to open; every name when empty.
    using Filter = std::function<bool(const std::string& name)>;
    // One child: its node (null when it could not be opened, with openResult saying why).
    // The node is the walk's; false ends the walk.
    using Visitor = std::function<bool(const std::string& name, CTWFlavorNode* node, long openResult)>;

    // The listing's result: kTWDataSuccess (also for a version node without flavors), or the
    // failure of listing the names, when nothing is visited.
    static long Visit(CTWVersionNode& version, TWAccessMode mode, const Filter& filter, const Visitor& visit);
};

}  // namespace tw
