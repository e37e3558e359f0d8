#include "datastore/TWVersionNode.h"

#include <memory>
#include <utility>

#include "datastore/NodeFactory.h"
#include "datastore/TWFlavorNode.h"
#include "datastore/TWRegDataAccessor.h"

namespace tw {

CTWVersionNode::CTWVersionNode(TWAccessMode mode) : CTWAppParameterNode(mode) {}

CTWVersionNode::~CTWVersionNode() = default;

long CTWVersionNode::GetChildNode(const char* childName, TWAccessMode mode, CTWAppParameterNode** child) {
    if (GetMajorVersion() < kFirstFlavorMajorVersion)
        return MakeGenericChild(childName, mode, false, nullptr, nullptr, child);
    CTWFlavorNode* flavor = nullptr;
    long error = GetChildNode(childName, mode, &flavor);
    HandOver(std::unique_ptr<CTWFlavorNode>(flavor), child);
    return error;
}

long CTWVersionNode::CreateChildNode(const char* childName, TWAccessMode mode, CTWAppParameterNode** child,
                                     DWORD* created, const char* className) {
    if (child) *child = nullptr;
    if (GetMajorVersion() < kFirstFlavorMajorVersion)
        return MakeGenericChild(childName, mode, true, created, className, child);
    if (!childName || !*childName) return SetResult(kTWDataNoKeyPath);
    if (!GetKey()) return SetResult(kTWDataNoKey);
    long error = kTWDataSuccess;
    std::unique_ptr<CTWFlavorNode> flavor(
        NodeFactory::CreateFlavorNode(GetBranch(), GetMajorVersion(), childName, mode, created, className, &error));
    if (flavor) error = kTWDataSuccess;
    HandOver(std::move(flavor), child);
    return SetResult(error);
}

long CTWVersionNode::GetChildNode(const char* flavor, TWAccessMode mode, CTWFlavorNode** child) {
    if (child) *child = nullptr;
    if (!flavor || !*flavor) return SetResult(kTWDataNoKeyPath);
    if (!GetKey()) return SetResult(kTWDataNoKey);
    long error = kTWDataSuccess;
    std::unique_ptr<CTWFlavorNode> node(
        NodeFactory::OpenFlavorNode(GetBranch(), GetMajorVersion(), flavor, mode, &error));
    if (node) error = kTWDataSuccess;
    HandOver(std::move(node), child);
    return SetResult(error);
}

long CTWVersionNode::OpenVersion(TWDataBranch branch, unsigned majorVersion, TWAccessMode mode) {
    long error = CTWRegDataAccessor::FormVersionKeyPath(branch, majorVersion, m_scratch);
    if (error != kTWDataSuccess) return SetResult(error);
    error = OpenKeyPath(branch, m_scratch.data(), mode);
    if (error == kTWDataSuccess) SetMajorVersion(majorVersion);
    return error;
}

long CTWVersionNode::CreateVersion(TWDataBranch branch, unsigned majorVersion, TWAccessMode mode, DWORD* created,
                                   const char* className) {
    long error = CTWRegDataAccessor::FormVersionKeyPath(branch, majorVersion, m_scratch);
    if (error != kTWDataSuccess) return SetResult(error);
    error = CreateKeyPath(branch, m_scratch.data(), mode, created, className);
    if (error == kTWDataSuccess) SetMajorVersion(majorVersion);
    return error;
}

}  // namespace tw
