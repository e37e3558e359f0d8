#include "datastore/TWFlavorNode.h"

#include "datastore/TWRegDataAccessor.h"

namespace tw {

CTWFlavorNode::CTWFlavorNode(TWAccessMode mode) : CTWAppParameterNode(mode) {}

CTWFlavorNode::~CTWFlavorNode() = default;

long CTWFlavorNode::OpenFlavor(TWDataBranch branch, unsigned majorVersion, const char* flavor, TWAccessMode mode) {
    long error = CTWRegDataAccessor::FormFlavorKeyPath(branch, majorVersion, flavor, false, m_scratch);
    if (error != kTWDataSuccess) return SetResult(error);
    error = OpenKeyPath(branch, m_scratch.data(), mode);
    if (error != kTWDataSuccess) return error;
    SetMajorVersion(majorVersion);
    SetFlavor(flavor);
    return error;
}

long CTWFlavorNode::CreateFlavor(TWDataBranch branch, unsigned majorVersion, const char* flavor, TWAccessMode mode,
                                 DWORD* created, const char* className) {
    long error = CTWRegDataAccessor::FormFlavorKeyPath(branch, majorVersion, flavor, true, m_scratch);
    if (error != kTWDataSuccess) return SetResult(error);
    error = CreateKeyPath(branch, m_scratch.data(), mode, created, className);
    if (error != kTWDataSuccess) return error;
    SetMajorVersion(majorVersion);
    SetFlavor(flavor);
    return error;
}

}  // namespace tw
