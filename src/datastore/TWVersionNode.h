#pragma once
// The key of one major version: <branch>\<major>.0. From major version 12 on its children
// are the flavor keys of the installed editions.

#include "datastore/TWAppParameterNode.h"

namespace tw {

class CTWFlavorNode;

class CTWVersionNode : public CTWAppParameterNode {
public:
    explicit CTWVersionNode(TWAccessMode mode = TWAccessMode::Read);
    ~CTWVersionNode() override;

    using CTWAppParameterNode::CreateChildNode;
    using CTWAppParameterNode::GetChildNode;

    // From major version 12 on a flavor node, before that a plain child node.
    long GetChildNode(const char* childName, TWAccessMode mode, CTWAppParameterNode** child) override;
    long CreateChildNode(const char* childName, TWAccessMode mode, CTWAppParameterNode** child, DWORD* created,
                         const char* className) override;

    // The flavor child of this version, whatever the version.
    long GetChildNode(const char* flavor, TWAccessMode mode, CTWFlavorNode** child);

    // Open the existing version key, or create it when missing. On success the node
    // remembers branch and version.
    long OpenVersion(TWDataBranch branch, unsigned majorVersion, TWAccessMode mode);
    long CreateVersion(TWDataBranch branch, unsigned majorVersion, TWAccessMode mode, DWORD* created,
                       const char* className);
};

}  // namespace tw
