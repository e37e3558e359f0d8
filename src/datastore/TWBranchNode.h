#pragma once
// The root key of a data branch whose children are version keys (<major>.0).

#include "datastore/TWAppParameterNode.h"

namespace tw {

class CTWVersionNode;

class CTWBranchNode : public CTWAppParameterNode {
public:
    explicit CTWBranchNode(TWAccessMode mode = TWAccessMode::Read);
    ~CTWBranchNode() override;

    using CTWAppParameterNode::CreateChildNode;
    using CTWAppParameterNode::GetChildNode;

    // The child name is read as a major version ("28.0" and "28" both give version 28).
    long GetChildNode(const char* childName, TWAccessMode mode, CTWAppParameterNode** child) override;
    long CreateChildNode(const char* childName, TWAccessMode mode, CTWAppParameterNode** child, DWORD* created,
                         const char* className) override;

    // The existing version key of majorVersion in this branch.
    long GetVersionNode(unsigned majorVersion, TWAccessMode mode, CTWVersionNode** child);
};

}  // namespace tw
