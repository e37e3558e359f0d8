#pragma once
// Registry scratch for the data store tests: the product's keys in both hives and in the
// 32-bit view are removed before and after each test, and the product-information state
// is reset.

#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "common/Handles.h"
#include "common/TestSupport.h"
#include "datastore/AppParamUtility.h"
#include "datastore/ProductInfoReader.h"

namespace twtest {

constexpr char kProductKey[] = "Software\\Veltra\\Tallyworks";
constexpr char kCommonKey[] = "Software\\Veltra\\TallyworksCommon";
constexpr char kWow32ProductKey[] = "Software\\WOW6432Node\\Veltra\\Tallyworks";

inline void RemoveVendorKeys() {
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Veltra");
    ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Veltra");
    tw::RegKey wow;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, wow.Put()) ==
        ERROR_SUCCESS)
        ::RegDeleteTreeA(wow.Get(), "Veltra");
}

inline bool KeyExists(HKEY root, const std::string& path, REGSAM view = 0) {
    tw::RegKey key;
    return ::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, key.Put()) == ERROR_SUCCESS;
}

inline void MakeKey(HKEY root, const std::string& path, REGSAM view = 0) {
    tw::RegKey key;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, key.Put(), nullptr));
}

inline void SetString(HKEY root, const std::string& path, const char* name, const std::string& value, REGSAM view = 0) {
    tw::RegKey key;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, key.Put(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExA(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                              static_cast<DWORD>(value.size() + 1)));
}

inline void SetNumber(HKEY root, const std::string& path, const char* name, DWORD value) {
    tw::RegKey key;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Put(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegSetValueExA(key.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)));
}

// The string of a value, or "<missing>".
inline std::string GetString(HKEY root, const std::string& path, const char* name, REGSAM view = 0) {
    char buffer[4096] = {};
    DWORD size = sizeof(buffer) - 1;
    tw::RegKey key;
    if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, key.Put()) != ERROR_SUCCESS) return "<missing>";
    if (::RegQueryValueExA(key.Get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
        return "<missing>";
    return buffer;
}

// Path of a stand-in product executable built for the tests ("ver28", "noversion", ...).
inline std::string VersionExe(const std::string& variant) {
    return BinaryPath("tests\\fixtures\\versionexes\\" + variant + ".exe");
}

class DataStoreTest : public ::testing::Test {
protected:
    void SetUp() override { RemoveVendorKeys(); }
    void TearDown() override { RemoveVendorKeys(); }

    // Registers folder as the common files folder, with the catalogue file in it.
    void InstallCatalogue(const TempDir& folder) {
        ASSERT_TRUE(WriteTextFile(folder / "twm3t2.dat", "catalogue"));
        SetString(HKEY_LOCAL_MACHINE, kCommonKey, "CommonFilesPath", folder.Path());
    }

    // The product-information reader and its catalogue, as a new process has them.
    SeamGuard guard;
};

}  // namespace twtest
