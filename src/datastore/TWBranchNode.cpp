#include "datastore/TWBranchNode.h"

#include <cstdlib>
#include <memory>
#include <utility>

#include "datastore/NodeFactory.h"
#include "datastore/TWVersionNode.h"

namespace tw {

CTWBranchNode::CTWBranchNode(TWAccessMode mode) : CTWAppParameterNode(mode) {}

CTWBranchNode::~CTWBranchNode() = default;

long CTWBranchNode::GetChildNode(const char* childName, TWAccessMode mode, CTWAppParameterNode** child) {
    if (child) *child = nullptr;
    if (!childName || !*childName) return SetResult(kTWDataNoKeyPath);
    if (!GetKey()) return SetResult(kTWDataNoKey);
    CTWVersionNode* version = nullptr;
    long error = GetVersionNode(static_cast<unsigned>(std::atoi(childName)), mode, &version);
    HandOver(std::unique_ptr<CTWVersionNode>(version), child);
    return error;
}

long CTWBranchNode::CreateChildNode(const char* childName, TWAccessMode mode, CTWAppParameterNode** child,
                                    DWORD* created, const char* className) {
    if (child) *child = nullptr;
    if (!childName || !*childName) return SetResult(kTWDataNoKeyPath);
    if (!GetKey()) return SetResult(kTWDataNoKey);
    long error = kTWDataSuccess;
    std::unique_ptr<CTWVersionNode> version(NodeFactory::CreateVersionNode(
        GetBranch(), static_cast<unsigned>(std::atoi(childName)), mode, created, className, &error));
    if (version) error = kTWDataSuccess;
    HandOver(std::move(version), child);
    return SetResult(error);
}

long CTWBranchNode::GetVersionNode(unsigned majorVersion, TWAccessMode mode, CTWVersionNode** child) {
    if (child) *child = nullptr;
    if (!GetKey()) return SetResult(kTWDataNoKey);
    long error = kTWDataSuccess;
    std::unique_ptr<CTWVersionNode> version(NodeFactory::OpenVersionNode(GetBranch(), majorVersion, mode, &error));
    if (version) error = kTWDataSuccess;
    HandOver(std::move(version), child);
    return SetResult(error);
}

}  // namespace tw
