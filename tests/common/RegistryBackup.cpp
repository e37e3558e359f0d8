#include "common/RegistryBackup.h"

#include <algorithm>

#include "common/Handles.h"

namespace twtest {

namespace {

std::vector<std::string> SubkeyNames(HKEY key) {
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[512];
        DWORD len = sizeof(name);
        if (RegEnumKeyExA(key, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, len);
    }
    return names;
}

std::vector<std::string> ValueNames(HKEY key) {
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[16384];
        DWORD len = sizeof(name);
        if (RegEnumValueA(key, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, len);
    }
    return names;
}

}  // namespace

bool RegKeyExists(HKEY root, const std::string& key) {
    tw::RegKey k;
    return RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, k.Put()) == ERROR_SUCCESS;
}

ScopedRegistryKey::ScopedRegistryKey(HKEY root, const std::string& path) : m_root(root), m_path(path) {
    size_t pos = 0;
    for (;;) {
        size_t next = path.find('\\', pos);
        std::string part = path.substr(0, next);
        if (!RegKeyExists(root, part)) {
            m_firstMissing = part;
            return;
        }
        if (next == std::string::npos) break;
        pos = next + 1;
    }
    tw::RegKey key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return;
    for (const std::string& name : ValueNames(key.Get())) {
        Value v{name, 0, {}};
        DWORD size = 0;
        RegQueryValueExA(key.Get(), name.c_str(), nullptr, &v.type, nullptr, &size);
        v.data.resize(size);
        RegQueryValueExA(key.Get(), name.c_str(), nullptr, &v.type, v.data.data(), &size);
        v.data.resize(size);
        m_values.push_back(std::move(v));
    }
    m_subkeys = SubkeyNames(key.Get());
}

ScopedRegistryKey::~ScopedRegistryKey() {
    if (!m_firstMissing.empty()) {
        RegDeleteTreeA(m_root, m_firstMissing.c_str());
        return;
    }
    tw::RegKey key;
    if (RegOpenKeyExA(m_root, m_path.c_str(), 0, KEY_ALL_ACCESS, key.Put()) != ERROR_SUCCESS) {
        if (RegCreateKeyExA(m_root, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Put(), nullptr) !=
            ERROR_SUCCESS)
            return;
    }
    for (const std::string& name : ValueNames(key.Get())) RegDeleteValueA(key.Get(), name.c_str());
    for (const Value& v : m_values)
        RegSetValueExA(key.Get(), v.name.c_str(), 0, v.type, v.data.data(), static_cast<DWORD>(v.data.size()));
    for (const std::string& name : SubkeyNames(key.Get()))
        if (std::find(m_subkeys.begin(), m_subkeys.end(), name) == m_subkeys.end())
            RegDeleteTreeA(key.Get(), name.c_str());
}

bool SetRegString(HKEY root, const std::string& key, const char* name, const std::string& value) {
    tw::RegKey k;
    if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, k.Put(), nullptr) != ERROR_SUCCESS)
        return false;
    return RegSetValueExA(k.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool SetRegDword(HKEY root, const std::string& key, const char* name, DWORD value) {
    tw::RegKey k;
    if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, k.Put(), nullptr) != ERROR_SUCCESS)
        return false;
    return RegSetValueExA(k.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)) ==
           ERROR_SUCCESS;
}

bool DeleteRegValue(HKEY root, const std::string& key, const char* name) {
    tw::RegKey k;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_ALL_ACCESS, k.Put()) != ERROR_SUCCESS) return false;
    return RegDeleteValueA(k.Get(), name) == ERROR_SUCCESS;
}

bool GetRegDword(HKEY root, const std::string& key, const char* name, DWORD& value) {
    tw::RegKey k;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, k.Put()) != ERROR_SUCCESS) return false;
    DWORD type = 0, size = sizeof(value);
    return RegQueryValueExA(k.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
           type == REG_DWORD;
}

}  // namespace twtest
