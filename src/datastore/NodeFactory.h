#pragma once
// Creates the data nodes that callers start from: a branch root, a major version key or a
// flavor key. Every function takes an out error that may be null; on failure it destroys
// what it built, sets the error and returns null (-3 when the node cannot be allocated).
// The caller owns the node handed out and destroys it with delete.

#include <windows.h>

#include "datastore/TWDataTypes.h"

namespace tw {

class CTWAppParameterNode;
class CTWFlavorNode;
class CTWVersionNode;

class NodeFactory {
public:
    NodeFactory() = delete;

    // Version key, created when missing (created receives 1 then, else 0).
    static CTWVersionNode* CreateVersionNode(TWDataBranch branch, unsigned majorVersion, TWAccessMode mode,
                                             DWORD* created, const char* className, long* error);
    static CTWVersionNode* OpenVersionNode(TWDataBranch branch, unsigned majorVersion, TWAccessMode mode, long* error);
    // Flavor key, created when missing; the flavor must be known to the product-information
    // catalogue.
    static CTWFlavorNode* CreateFlavorNode(TWDataBranch branch, unsigned majorVersion, const char* flavor,
                                           TWAccessMode mode, DWORD* created, const char* className, long* error);
    // Existing flavor key; no catalogue check.
    static CTWFlavorNode* OpenFlavorNode(TWDataBranch branch, unsigned majorVersion, const char* flavor,
                                         TWAccessMode mode, long* error);
    // Root of a branch: a plain node for Common and UserCommon, a CTWBranchNode otherwise.
    static CTWAppParameterNode* OpenBranchNode(TWDataBranch branch, TWAccessMode mode, long* error);
};

}  // namespace tw
