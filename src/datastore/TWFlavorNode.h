#pragma once
// The key of one installed flavor (edition) of a major version:
// <branch>\<major>.0\<flavor>.

#include "datastore/TWAppParameterNode.h"

namespace tw {

class CTWFlavorNode : public CTWAppParameterNode {
public:
    explicit CTWFlavorNode(TWAccessMode mode = TWAccessMode::Read);
    ~CTWFlavorNode() override;

    // Open the existing flavor key, or create it (the flavor must then be known to the
    // product-information catalogue). On success the node remembers branch, version and
    // flavor.
    long OpenFlavor(TWDataBranch branch, unsigned majorVersion, const char* flavor, TWAccessMode mode);
    long CreateFlavor(TWDataBranch branch, unsigned majorVersion, const char* flavor, TWAccessMode mode, DWORD* created,
                      const char* className);
};

}  // namespace tw
