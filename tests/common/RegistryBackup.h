#pragma once
// Puts a registry key back as it was: the test may change its values, add subkeys, or
// create the key (and missing parents); the destructor restores the values and removes
// whatever did not exist before.

#include <windows.h>

#include <string>
#include <vector>

namespace twtest {

class ScopedRegistryKey {
public:
    ScopedRegistryKey(HKEY root, const std::string& path);
    ~ScopedRegistryKey();
    ScopedRegistryKey(const ScopedRegistryKey&) = delete;
    ScopedRegistryKey& operator=(const ScopedRegistryKey&) = delete;

    bool Existed() const { return m_firstMissing.empty(); }

private:
    struct Value {
        std::string name;
        DWORD type;
        std::vector<BYTE> data;
    };

    HKEY m_root;
    std::string m_path;
    std::string m_firstMissing;  // the topmost part of the path that did not exist
    std::vector<Value> m_values;
    std::vector<std::string> m_subkeys;
};

// Registry helpers for tests.
bool SetRegString(HKEY root, const std::string& key, const char* name, const std::string& value);
bool SetRegDword(HKEY root, const std::string& key, const char* name, DWORD value);
bool DeleteRegValue(HKEY root, const std::string& key, const char* name);
// False when the value is missing or not a DWORD.
bool GetRegDword(HKEY root, const std::string& key, const char* name, DWORD& value);
bool RegKeyExists(HKEY root, const std::string& key);

}  // namespace twtest
