#include "app/SecureProtocol.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/Handles.h"
#include "common/TextUtil.h"
#include "logging/StatusLogMgr.h"
#include "sysinfo/OSInfo.h"

namespace tw {

namespace {

const char kWinHttpKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\WinHttp";
const char kWinHttpValue[] = "DefaultSecureProtocols";
const char kWinInetKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const char kWinInetValue[] = "SecureProtocols";
const char kDotNetKey[] = "SOFTWARE\\Microsoft\\.NETFramework\\v4.0.30319";
const char kDotNetValue[] = "SchUseStrongCrypto";
const char kIEKey[] = "SOFTWARE\\Microsoft\\Internet Explorer";

// A string value read by first asking for its size; false when it cannot be read.
bool ReadSizedString(HKEY key, const char* name, std::string& out) {
    DWORD size = 0;
    DWORD type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    std::vector<char> buffer(static_cast<size_t>(size) + 1, '\0');
    DWORD read = size;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &read) != ERROR_SUCCESS)
        return false;
    out = buffer.data();
    return true;
}

// Opens the key with full access, creating it when it cannot be opened.
LONG OpenOrCreate(HKEY root, const char* keyPath, RegKey& key) {
    if (RegOpenKeyExA(root, keyPath, 0, KEY_ALL_ACCESS, key.Put()) == ERROR_SUCCESS) return ERROR_SUCCESS;
    return RegCreateKeyExA(root, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.Put(),
                           nullptr);
}

}  // namespace

LONG CSecureProtocol::EnforceProtocol() {
    if (!COSInfo::IsVersionAtLeast(6, 1, 0)) return ERROR_SUCCESS;
    UpdateRegistryForIE();
    return UpdateRegistryForDotNet();
}

short CSecureProtocol::ParseIEVersion(const char* versionText) {
    char copy[128];
    SafeCopy(copy, versionText);
    // Parts split at full stops; only the first two count.
    const char* first = copy;
    const char* second = nullptr;
    if (char* dot = std::strchr(copy, '.')) {
        *dot = '\0';
        second = dot + 1;
        if (char* next = std::strchr(dot + 1, '.')) *next = '\0';
    }
    long firstValue = std::atol(first);
    short version = static_cast<short>(firstValue * 100);
    if (second) {
        long secondValue = std::atol(second);
        if (secondValue == 0 || firstValue == 0) version = static_cast<short>(version + secondValue);
    }
    return version;
}

bool CSecureProtocol::DoesIESupportTLS() {
    std::string version;
    RegKey key;
    bool found = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kIEKey, 0, KEY_READ, key.Put()) == ERROR_SUCCESS &&
                 (ReadSizedString(key.Get(), "svcVersion", version) || ReadSizedString(key.Get(), "Version", version));
    if (!found) {
        StatusLogMgr::LogStatus("DoesIESupportTLS - Unable to retrieve IE Version from registry.");
        return false;
    }
    return ParseIEVersion(version.c_str()) >= 800;
}

LONG CSecureProtocol::ApplyProtocolRule(HKEY root, const char* keyPath, const char* valueName) {
    DWORD newValue = kDefaultProtocols;
    {
        RegKey key;
        DWORD stored = 0;
        DWORD size = sizeof(stored);
        DWORD type = 0;
        if (RegOpenKeyExA(root, keyPath, 0, KEY_READ, key.Put()) == ERROR_SUCCESS &&
            RegQueryValueExA(key.Get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(&stored), &size) ==
                ERROR_SUCCESS &&
            type == REG_DWORD && size == sizeof(stored)) {
            DWORD kept = stored & 0xFFF;
            if (kept & kTls12) return ERROR_SUCCESS;
            newValue = kept | kTls12;
        }
    }
    RegKey key;
    LONG rc = OpenOrCreate(root, keyPath, key);
    if (rc != ERROR_SUCCESS) return rc;
    return RegSetValueExA(key.Get(), valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&newValue),
                          sizeof(newValue));
}

LONG CSecureProtocol::UpdateRegistryForIE() {
    LONG result = ERROR_SUCCESS;
    if (DoesIESupportTLS()) {
        if (ApplyProtocolRule(HKEY_LOCAL_MACHINE, kWinHttpKey, kWinHttpValue) != ERROR_SUCCESS)
            StatusLogMgr::LogStatus("UpdateRegistryForIE - Unable to update WinHttp registry values for TLS 1.2.");
        result = ApplyProtocolRule(HKEY_CURRENT_USER, kWinInetKey, kWinInetValue);
        if (result != ERROR_SUCCESS)
            StatusLogMgr::LogStatus("UpdateRegistryForIE - Unable to update WinInet registry values for TLS 1.2.");
    }
    StatusLogMgr::LogStatus("UpdateRegistryForIE - Updated IE registry values for TLS 1.2.");
    return result;
}

LONG CSecureProtocol::UpdateRegistryForDotNet() {
    RegKey key;
    LONG rc = OpenOrCreate(HKEY_LOCAL_MACHINE, kDotNetKey, key);
    if (rc == ERROR_SUCCESS) {
        DWORD one = 1;
        rc = RegSetValueExA(key.Get(), kDotNetValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof(one));
    }
    if (rc != ERROR_SUCCESS)
        StatusLogMgr::LogStatus("UpdateRegistryForDotNet - Unable to find registry entry for .NET framework 4.5.2.");
    StatusLogMgr::LogStatus("UpdateRegistryForDotNet - Updated DotNet registry values for TLS 1.2.");
    return rc;
}

}  // namespace tw
