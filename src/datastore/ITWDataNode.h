#pragma once
// A data node: an object bound to one registry key of the installed product's data tree
// (data branch, major version, flavor). It reads, writes and deletes the key's values and
// lists and opens its children. Every operation records its result as the node's last
// error and returns it (0 is success, see TWDataTypes.h). Strings and lists that a node
// hands out stay owned by the node until the next operation of the same kind on it or its
// destruction.

#include <windows.h>

#include "datastore/TWDataTypes.h"

namespace tw {

class ITWDataNode {
public:
    // Number value (REG_DWORD); -6 when stored with another type.
    virtual long ReadValueData(const char* valueName, DWORD* value) = 0;
    // String value (REG_SZ), node-owned; an empty name reads the default value.
    virtual long ReadValueData(const char* valueName, const char** value) = 0;
    virtual long WriteValueData(const char* valueName, DWORD value) = 0;
    virtual long WriteValueData(const char* valueName, const char* value) = 0;
    virtual bool ValueExists(const char* valueName) = 0;
    virtual long DeleteValue(const char* valueName) = 0;
    // Name lists are node-owned; names is set only when names were collected, so callers
    // initialise it to null.
    virtual long GetValueNames(char*** names, DWORD* count) = 0;
    virtual long GetChildNodeNames(char*** names, DWORD* count) = 0;
    // Deletes the node's key unless it has child keys (-12).
    virtual long DeleteNode() = 0;
    // Children are owned by the caller and destroyed through the virtual destructor.
    virtual long GetChildNode(const char* childName, TWAccessMode mode, ITWDataNode** child) = 0;
    virtual ITWDataNode* GetChildNode(const char* childName, TWAccessMode mode, long* error) = 0;
    virtual long CreateChildNode(const char* childName, TWAccessMode mode, ITWDataNode** child, DWORD* created,
                                 const char* className) = 0;
    virtual ITWDataNode* CreateChildNode(const char* childName, TWAccessMode mode, long* error, DWORD* created,
                                         const char* className) = 0;
    virtual const char* GetNodePath() = 0;
    virtual int IsRegistryNode() = 0;
    virtual ~ITWDataNode() = default;
};

}  // namespace tw
