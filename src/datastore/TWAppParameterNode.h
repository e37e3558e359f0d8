#pragma once
// A registry data node of any level of the product's data tree. Used directly for child
// keys without a special meaning and for the roots of the common branches; the branch,
// version and flavor nodes derive from it.

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "common/Handles.h"
#include "datastore/ITWDataNode.h"
#include "datastore/TWDataTypes.h"
#include "datastore/TWNameList.h"

namespace tw {

class CTWAppParameterNode : public ITWDataNode {
public:
    explicit CTWAppParameterNode(TWAccessMode mode = TWAccessMode::Read);
    CTWAppParameterNode(const CTWAppParameterNode&) = delete;
    CTWAppParameterNode& operator=(const CTWAppParameterNode&) = delete;

    long ReadValueData(const char* valueName, DWORD* value) override;
    long ReadValueData(const char* valueName, const char** value) override;
    long WriteValueData(const char* valueName, DWORD value) override;
    long WriteValueData(const char* valueName, const char* value) override;
    bool ValueExists(const char* valueName) override;
    long DeleteValue(const char* valueName) override;
    long GetValueNames(char*** names, DWORD* count) override;
    long GetChildNodeNames(char*** names, DWORD* count) override;
    long DeleteNode() override;
    long GetChildNode(const char* childName, TWAccessMode mode, ITWDataNode** child) override;
    ITWDataNode* GetChildNode(const char* childName, TWAccessMode mode, long* error) override;
    long CreateChildNode(const char* childName, TWAccessMode mode, ITWDataNode** child, DWORD* created,
                         const char* className) override;
    ITWDataNode* CreateChildNode(const char* childName, TWAccessMode mode, long* error, DWORD* created,
                                 const char* className) override;
    const char* GetNodePath() override;
    int IsRegistryNode() override;
    ~CTWAppParameterNode() override;

    // Reads a value of either kind: the text (node-owned) with isNumber 0, or the number
    // with isNumber 1.
    virtual long ReadAnyValueData(const char* valueName, const char** text, DWORD* number, int* isNumber);
    // Child nodes of the kind this node's children have (a plain node here).
    virtual long GetChildNode(const char* childName, TWAccessMode mode, CTWAppParameterNode** child);
    virtual long CreateChildNode(const char* childName, TWAccessMode mode, CTWAppParameterNode** child, DWORD* created,
                                 const char* className);
    // Copies every value of source into this node's key.
    virtual long CopyValues(CTWAppParameterNode* source);
    // Opens or creates the key of a data branch.
    virtual long Open(TWDataBranch branch, TWAccessMode mode);
    virtual long Create(TWDataBranch branch, TWAccessMode mode, DWORD* created, const char* className);

    TWDataBranch GetBranch() const { return m_branch; }
    unsigned GetMajorVersion() const { return m_majorVersion; }
    // Null unless this is a flavor node or a child of one.
    const char* GetFlavor() const { return m_hasFlavor ? m_flavor.c_str() : nullptr; }
    long GetLastError() const { return m_lastError; }
    TWAccessMode GetAccessMode() const { return m_accessMode; }
    HKEY GetKey() const { return m_key.Get(); }

protected:
    long SetResult(long result) { return m_lastError = result; }
    // Opens or creates path in the hive of branch; on success the node keeps the key, the
    // path and the branch. A failure leaves the node as it was.
    long OpenKeyPath(TWDataBranch branch, const char* path, TWAccessMode mode);
    long CreateKeyPath(TWDataBranch branch, const char* path, TWAccessMode mode, DWORD* created, const char* className);
    void SetMajorVersion(unsigned majorVersion) { m_majorVersion = majorVersion; }
    void SetFlavor(const char* flavor);
    // Plain child node of this node's key (opened, or created when create is set).
    long MakeGenericChild(const char* childName, TWAccessMode mode, bool create, DWORD* created, const char* className,
                          CTWAppParameterNode** child);

    // Gives a new node to the caller's out-parameter; without one the node is destroyed here.
    template <typename Node, typename Out>
    static void HandOver(std::unique_ptr<Node> node, Out** child) {
        if (child) *child = node.release();
    }

    // The last key path formed or value read.
    std::vector<char> m_scratch;

private:
    long ReadNumber(const char* valueName, DWORD* value);
    long ReadString(const char* valueName, const char** value);
    long EnumerateNames(bool values, char*** names, DWORD* count);
    bool KeepPath(const char* path);

    RegKey m_key;
    char m_keyPath[kTWKeyPathSize] = {};
    TWDataBranch m_branch = TWDataBranch::None;
    unsigned m_majorVersion = 0;
    std::string m_flavor;
    bool m_hasFlavor = false;
    long m_lastError = kTWDataSuccess;
    CTWNameList m_names;
    DWORD m_nameCount = 0;
    TWAccessMode m_accessMode;
    // True when the key was opened in the 32-bit registry view.
    bool m_view32 = false;
};

}  // namespace tw
