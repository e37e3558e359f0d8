#include "datastore/NodeFactory.h"

#include <memory>
#include <new>

#include "datastore/TWBranchNode.h"
#include "datastore/TWFlavorNode.h"
#include "datastore/TWVersionNode.h"

namespace tw {

namespace {

template <typename Node>
Node* Finish(std::unique_ptr<Node> node, long result, long* error) {
    if (error) *error = result;
    return result == kTWDataSuccess ? node.release() : nullptr;
}

}  // namespace

CTWVersionNode* NodeFactory::CreateVersionNode(TWDataBranch branch, unsigned majorVersion, TWAccessMode mode,
                                               DWORD* created, const char* className, long* error) {
    std::unique_ptr<CTWVersionNode> node(new (std::nothrow) CTWVersionNode(mode));
    if (!node) return Finish(std::move(node), kTWDataOutOfMemory, error);
    long result = node->CreateVersion(branch, majorVersion, mode, created, className);
    return Finish(std::move(node), result, error);
}

CTWVersionNode* NodeFactory::OpenVersionNode(TWDataBranch branch, unsigned majorVersion, TWAccessMode mode,
                                             long* error) {
    std::unique_ptr<CTWVersionNode> node(new (std::nothrow) CTWVersionNode(mode));
    if (!node) return Finish(std::move(node), kTWDataOutOfMemory, error);
    long result = node->OpenVersion(branch, majorVersion, mode);
    return Finish(std::move(node), result, error);
}

CTWFlavorNode* NodeFactory::CreateFlavorNode(TWDataBranch branch, unsigned majorVersion, const char* flavor,
                                             TWAccessMode mode, DWORD* created, const char* className, long* error) {
    std::unique_ptr<CTWFlavorNode> node(new (std::nothrow) CTWFlavorNode(mode));
    if (!node) return Finish(std::move(node), kTWDataOutOfMemory, error);
    long result = node->CreateFlavor(branch, majorVersion, flavor, mode, created, className);
    return Finish(std::move(node), result, error);
}

CTWFlavorNode* NodeFactory::OpenFlavorNode(TWDataBranch branch, unsigned majorVersion, const char* flavor,
                                           TWAccessMode mode, long* error) {
    std::unique_ptr<CTWFlavorNode> node(new (std::nothrow) CTWFlavorNode(mode));
    if (!node) return Finish(std::move(node), kTWDataOutOfMemory, error);
    long result = node->OpenFlavor(branch, majorVersion, flavor, mode);
    return Finish(std::move(node), result, error);
}

CTWAppParameterNode* NodeFactory::OpenBranchNode(TWDataBranch branch, TWAccessMode mode, long* error) {
    std::unique_ptr<CTWAppParameterNode> node;
    if (branch == TWDataBranch::Common || branch == TWDataBranch::UserCommon)
        node.reset(new (std::nothrow) CTWAppParameterNode(mode));
    else
        node.reset(new (std::nothrow) CTWBranchNode(mode));
    if (!node) return Finish(std::move(node), kTWDataOutOfMemory, error);
    long result = node->Open(branch, mode);
    return Finish(std::move(node), result, error);
}

}  // namespace tw
