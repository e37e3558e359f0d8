#include "datastore/FlavorWalk.h"

#include <memory>
#include <vector>

#include "datastore/TWFlavorNode.h"
#include "datastore/TWVersionNode.h"

namespace tw {

long CFlavorWalk::Visit(CTWVersionNode& version, TWAccessMode mode, const Filter& filter, const Visitor& visit) {
    char** children = nullptr;
    DWORD count = 0;
    const long listed = version.GetChildNodeNames(&children, &count);
    if (listed != kTWDataSuccess) return listed;
    std::vector<std::string> names;
    for (DWORD i = 0; children && i < count; ++i)
        if (children[i] && (!filter || filter(children[i]))) names.push_back(children[i]);

    for (const std::string& name : names) {
        CTWFlavorNode* raw = nullptr;
        const long opened = version.GetChildNode(name.c_str(), mode, &raw);
        std::unique_ptr<CTWFlavorNode> node(raw);
        if (opened != kTWDataSuccess) node.reset();
        if (!visit(name, node.get(), opened)) break;
    }
    return kTWDataSuccess;
}

}  // namespace tw
