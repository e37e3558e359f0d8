#include "datastore/TWAppParameterNode.h"

#include <cstring>
#include <memory>
#include <new>

#include "common/TextUtil.h"
#include "datastore/TWRegDataAccessor.h"

namespace tw {

namespace {

bool IsEmpty(const char* text) { return !text || !*text; }

bool NameTooLong(const char* name) { return name && std::strlen(name) > kTWMaxValueName; }

}  // namespace

CTWAppParameterNode::CTWAppParameterNode(TWAccessMode mode) : m_accessMode(mode) {}

CTWAppParameterNode::~CTWAppParameterNode() = default;

void CTWAppParameterNode::SetFlavor(const char* flavor) {
    if (flavor) {
        m_flavor = flavor;
        m_hasFlavor = true;
    } else {
        m_flavor.clear();
        m_hasFlavor = false;
    }
}

bool CTWAppParameterNode::KeepPath(const char* path) { return SafeCopy(m_keyPath, path); }

long CTWAppParameterNode::OpenKeyPath(TWDataBranch branch, const char* path, TWAccessMode mode) {
    CTWRegDataAccessor& accessor = CTWRegDataAccessor::Instance();
    long error = kTWDataSuccess;
    HKEY root = accessor.GetRootKey(branch, mode, &error);
    if (!root) return SetResult(kTWDataSuccess);  // a branch without a hive: nothing to open
    if (std::strlen(path) >= kTWKeyPathSize) return SetResult(kTWDataPathTooLong);
    error = CTWRegDataAccessor::OpenKey(root, path, mode, m_key);
    if (error != kTWDataSuccess) return SetResult(error);
    KeepPath(path);
    m_branch = branch;
    m_view32 = mode == TWAccessMode::Read32;
    return SetResult(kTWDataSuccess);
}

long CTWAppParameterNode::CreateKeyPath(TWDataBranch branch, const char* path, TWAccessMode mode, DWORD* created,
                                        const char* className) {
    CTWRegDataAccessor& accessor = CTWRegDataAccessor::Instance();
    long error = kTWDataSuccess;
    HKEY root = accessor.GetRootKey(branch, mode, &error);
    if (!root) return SetResult(kTWDataSuccess);
    if (std::strlen(path) >= kTWKeyPathSize) return SetResult(kTWDataPathTooLong);
    DWORD wasCreated = 0;
    error = CTWRegDataAccessor::CreateKey(root, path, className, mode, m_key, &wasCreated);
    if (error != kTWDataSuccess) return SetResult(error);
    if (created) *created = wasCreated;
    KeepPath(path);
    m_branch = branch;
    m_view32 = mode == TWAccessMode::Read32;
    return SetResult(kTWDataSuccess);
}

long CTWAppParameterNode::ReadNumber(const char* valueName, DWORD* value) {
    if (value) *value = 0;
    if (!m_key) return kTWDataNoKey;
    if (IsEmpty(valueName)) return kTWDataNothingDone;
    DWORD type = REG_NONE, size = 0;
    long error = CTWRegDataAccessor::QueryValue(m_key.Get(), valueName, m_scratch, &type, &size);
    if (error == kTWDataSuccess) {
        if (type != REG_DWORD || size < sizeof(DWORD)) {
            error = kTWDataWrongType;
        } else if (value) {
            std::memcpy(value, m_scratch.data(), sizeof(DWORD));
        }
    }
    std::vector<char>().swap(m_scratch);
    return error;
}

long CTWAppParameterNode::ReadString(const char* valueName, const char** value) {
    if (value) *value = nullptr;
    if (!m_key) return kTWDataNoKey;
    DWORD type = REG_NONE, size = 0;
    const char* name = IsEmpty(valueName) ? nullptr : valueName;  // the key's default value
    long error = CTWRegDataAccessor::QueryValue(m_key.Get(), name, m_scratch, &type, &size);
    if (error != kTWDataSuccess) return error;
    if (type != REG_SZ) return kTWDataWrongType;
    if (value) *value = m_scratch.data();
    return kTWDataSuccess;
}

long CTWAppParameterNode::ReadValueData(const char* valueName, DWORD* value) {
    return SetResult(ReadNumber(valueName, value));
}

long CTWAppParameterNode::ReadValueData(const char* valueName, const char** value) {
    return SetResult(ReadString(valueName, value));
}

long CTWAppParameterNode::WriteValueData(const char* valueName, DWORD value) {
    if (!m_key) return SetResult(kTWDataNoKey);
    if (IsEmpty(valueName) || NameTooLong(valueName)) return SetResult(kTWDataNothingDone);
    return SetResult(CTWRegDataAccessor::SetNumberValue(m_key.Get(), valueName, value));
}

long CTWAppParameterNode::WriteValueData(const char* valueName, const char* value) {
    if (!m_key) return SetResult(kTWDataNoKey);
    if (!value) return SetResult(kTWDataNullValue);
    if (NameTooLong(valueName)) return SetResult(kTWDataNothingDone);
    const char* name = IsEmpty(valueName) ? nullptr : valueName;
    return SetResult(CTWRegDataAccessor::SetStringValue(m_key.Get(), name, value));
}

bool CTWAppParameterNode::ValueExists(const char* valueName) {
    if (!m_key) {
        SetResult(kTWDataNoKey);
        return false;
    }
    SetResult(kTWDataSuccess);
    if (IsEmpty(valueName)) return true;
    return CTWRegDataAccessor::ValueExists(m_key.Get(), valueName);
}

long CTWAppParameterNode::DeleteValue(const char* valueName) {
    if (!m_key) return SetResult(kTWDataNoKey);
    if (IsEmpty(valueName)) return SetResult(kTWDataNothingDone);
    return SetResult(CTWRegDataAccessor::DeleteValue(m_key.Get(), valueName));
}

long CTWAppParameterNode::EnumerateNames(bool values, char*** names, DWORD* count) {
    if (count) *count = 0;
    if (!m_key) return SetResult(kTWDataNoKey);
    DWORD collected = 0;
    bool listed = false;
    long error = CTWRegDataAccessor::EnumerateNames(m_key.Get(), values, m_names, &collected, &listed);
    if (listed) m_nameCount = m_names.Count();
    if (count) *count = collected;
    if (error == kTWDataSuccess && listed && names) *names = m_names.Data();
    return SetResult(error);
}

long CTWAppParameterNode::GetValueNames(char*** names, DWORD* count) { return EnumerateNames(true, names, count); }

long CTWAppParameterNode::GetChildNodeNames(char*** names, DWORD* count) { return EnumerateNames(false, names, count); }

long CTWAppParameterNode::DeleteNode() {
    if (!m_key) return SetResult(kTWDataNoKey);
    DWORD children = 0, longest = 0;
    long error = CTWRegDataAccessor::CountSubKeys(m_key.Get(), &children, &longest);
    if (error != kTWDataSuccess) return SetResult(error);
    if (children > 0) return SetResult(kTWDataHasChildren);
    HKEY root = CTWRegDataAccessor::Instance().GetRootKey(m_branch, m_accessMode, &error);
    if (!root) return SetResult(kTWDataSuccess);
    error = CTWRegDataAccessor::DeleteKey(root, m_keyPath, m_view32);
    if (error != kTWDataSuccess) return SetResult(error);
    m_key.Reset();
    m_keyPath[0] = '\0';
    m_branch = TWDataBranch::None;
    m_view32 = false;
    SetFlavor(nullptr);
    return SetResult(kTWDataSuccess);
}

long CTWAppParameterNode::MakeGenericChild(const char* childName, TWAccessMode mode, bool create, DWORD* created,
                                           const char* className, CTWAppParameterNode** child) {
    if (child) *child = nullptr;
    if (IsEmpty(childName)) return SetResult(kTWDataNoKeyPath);
    if (!m_key) return SetResult(kTWDataNoKey);

    std::unique_ptr<CTWAppParameterNode> node(new (std::nothrow) CTWAppParameterNode(m_accessMode));
    if (!node) return SetResult(kTWDataOutOfMemory);
    SafeCopy(node->m_keyPath, m_keyPath);
    node->m_branch = m_branch;
    node->m_majorVersion = m_majorVersion;
    node->SetFlavor(GetFlavor());

    std::string path;
    try {
        path = std::string(m_keyPath) + "\\" + childName;
    } catch (const std::bad_alloc&) {
        return SetResult(kTWDataOutOfMemory);
    }
    long error;
    if (create) {
        if (path.size() >= kTWMaxChildKeyPath) return SetResult(kTWDataPathTooLong);
        error = node->CreateKeyPath(m_branch, path.c_str(), mode, created, className);
    } else {
        error = node->OpenKeyPath(m_branch, path.c_str(), mode);
    }
    if (error != kTWDataSuccess) return SetResult(error);
    if (child) *child = node.release();
    return SetResult(kTWDataSuccess);
}

long CTWAppParameterNode::GetChildNode(const char* childName, TWAccessMode mode, ITWDataNode** child) {
    CTWAppParameterNode* node = nullptr;
    long error = MakeGenericChild(childName, mode, false, nullptr, nullptr, &node);
    HandOver(std::unique_ptr<CTWAppParameterNode>(node), child);
    return error;
}

ITWDataNode* CTWAppParameterNode::GetChildNode(const char* childName, TWAccessMode mode, long* error) {
    CTWAppParameterNode* node = nullptr;
    long result = MakeGenericChild(childName, mode, false, nullptr, nullptr, &node);
    if (error) *error = result;
    return node;
}

long CTWAppParameterNode::CreateChildNode(const char* childName, TWAccessMode mode, ITWDataNode** child, DWORD* created,
                                          const char* className) {
    CTWAppParameterNode* node = nullptr;
    long error = MakeGenericChild(childName, mode, true, created, className, &node);
    HandOver(std::unique_ptr<CTWAppParameterNode>(node), child);
    return error;
}

ITWDataNode* CTWAppParameterNode::CreateChildNode(const char* childName, TWAccessMode mode, long* error, DWORD* created,
                                                  const char* className) {
    CTWAppParameterNode* node = nullptr;
    long result = MakeGenericChild(childName, mode, true, created, className, &node);
    if (error) *error = result;
    return node;
}

const char* CTWAppParameterNode::GetNodePath() { return m_keyPath; }

int CTWAppParameterNode::IsRegistryNode() { return 1; }

long CTWAppParameterNode::ReadAnyValueData(const char* valueName, const char** text, DWORD* number, int* isNumber) {
    if (text) *text = nullptr;
    if (number) *number = 0;
    long error = ReadString(valueName, text);
    if (error == kTWDataWrongType) {
        error = ReadNumber(valueName, number);
        if (isNumber) *isNumber = 1;
    } else if (error == kTWDataSuccess) {
        if (isNumber) *isNumber = 0;
    }
    return SetResult(error);
}

long CTWAppParameterNode::GetChildNode(const char* childName, TWAccessMode mode, CTWAppParameterNode** child) {
    return MakeGenericChild(childName, mode, false, nullptr, nullptr, child);
}

long CTWAppParameterNode::CreateChildNode(const char* childName, TWAccessMode mode, CTWAppParameterNode** child,
                                          DWORD* created, const char* className) {
    return MakeGenericChild(childName, mode, true, created, className, child);
}

long CTWAppParameterNode::CopyValues(CTWAppParameterNode* source) {
    if (!source) return SetResult(kTWDataNoKey);
    char** names = nullptr;
    DWORD count = 0;
    long error = source->GetValueNames(&names, &count);
    if (error != kTWDataSuccess) return SetResult(error);
    if (!names || count == 0) return SetResult(kTWDataSuccess);
    for (DWORD i = 0; i < count; ++i) {
        const char* text = nullptr;
        DWORD number = 0;
        int isNumber = 0;
        error = source->ReadAnyValueData(names[i], &text, &number, &isNumber);
        if (error != kTWDataSuccess) return SetResult(error);
        error = isNumber ? WriteValueData(names[i], number) : WriteValueData(names[i], text);
        if (error != kTWDataSuccess) return SetResult(error);
    }
    return SetResult(kTWDataSuccess);
}

long CTWAppParameterNode::Open(TWDataBranch branch, TWAccessMode mode) {
    long error = CTWRegDataAccessor::FormBranchKeyPath(branch, m_scratch);
    if (error != kTWDataSuccess) return SetResult(error);
    return OpenKeyPath(branch, m_scratch.data(), mode);
}

long CTWAppParameterNode::Create(TWDataBranch branch, TWAccessMode mode, DWORD* created, const char* className) {
    long error = CTWRegDataAccessor::FormBranchKeyPath(branch, m_scratch);
    if (error != kTWDataSuccess) return SetResult(error);
    return CreateKeyPath(branch, m_scratch.data(), mode, created, className);
}

}  // namespace tw
