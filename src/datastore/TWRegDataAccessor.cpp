#include "datastore/TWRegDataAccessor.h"

#include <cstring>
#include <new>
#include <string>

#include "common/TextUtil.h"
#include "datastore/AppParamUtility.h"
#include "datastore/ProductInfoReader.h"

namespace tw {

namespace {

constexpr DWORD kValueBufferSize = 1024;
constexpr DWORD kKeyNameBufferSize = 263;
constexpr DWORD kValueNameBufferSize = 16384;

constexpr const char kProductKey[] =
    "Software\\Veltra"
    "\\Tallyworks";
constexpr const char kRegistrationKey[] =
    "Software\\Veltra"
    "\\TallyworksRegistration";
constexpr const char kCommonKey[] =
    "Software\\Veltra"
    "\\TallyworksCommon";

// Copies text into a fresh allocation held by out.
long AssignText(std::vector<char>& out, const char* text) {
    try {
        size_t length = std::strlen(text);
        std::vector<char> fresh(length + 1);
        std::memcpy(fresh.data(), text, length + 1);
        out.swap(fresh);
        return kTWDataSuccess;
    } catch (const std::bad_alloc&) {
        return kTWDataOutOfMemory;
    }
}

// Hands each value name (or subkey name) of key to visit, in index order, in the buffer
// name; a result other than success from visit ends the walk with that result. The end
// of the names is success.
template <typename Visit>
long VisitNames(HKEY key, bool values, std::vector<char>& name, Visit visit) {
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        LONG result = values ? ::RegEnumValueA(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr)
                             : ::RegEnumKeyExA(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) return kTWDataSuccess;
        if (result != ERROR_SUCCESS) return result;
        long visited = visit(name.data(), length);
        if (visited != kTWDataSuccess) return visited;
    }
}

long CountNames(HKEY key, bool values, DWORD* count, DWORD* longest) {
    *count = 0;
    *longest = 0;
    if (!key) return kTWDataNoKey;
    std::vector<char> name;
    try {
        name.resize(values ? kValueNameBufferSize : kKeyNameBufferSize);
    } catch (const std::bad_alloc&) {
        return kTWDataOutOfMemory;
    }
    return VisitNames(key, values, name, [&](const char*, DWORD length) {
        ++*count;
        if (length > *longest) *longest = length;
        return kTWDataSuccess;
    });
}

}  // namespace

CTWRegDataAccessor::CTWRegDataAccessor() = default;
CTWRegDataAccessor::~CTWRegDataAccessor() = default;

void CTWRegDataAccessor::Initialize() {}

HKEY CTWRegDataAccessor::GetRootKey(TWDataBranch branch, TWAccessMode, long* error) const {
    if (error) *error = kTWDataSuccess;
    switch (branch) {
        case TWDataBranch::Product:
        case TWDataBranch::Registration:
        case TWDataBranch::Common:
            return HKEY_LOCAL_MACHINE;
        case TWDataBranch::UserProduct:
        case TWDataBranch::UserCommon:
            return HKEY_CURRENT_USER;
        default:
            return nullptr;
    }
}

REGSAM CTWRegDataAccessor::GetAccessRights(TWAccessMode mode) {
    switch (mode) {
        case TWAccessMode::FullAccess:
            return KEY_ALL_ACCESS;
        case TWAccessMode::ReadWrite:
            return KEY_READ | KEY_WRITE;
        case TWAccessMode::Read32:
            return KEY_READ | KEY_WOW64_32KEY;
        case TWAccessMode::Read:
        default:
            return KEY_READ;
    }
}

const char* CTWRegDataAccessor::GetBranchKeyPath(TWDataBranch branch) {
    switch (branch) {
        case TWDataBranch::Product:
        case TWDataBranch::UserProduct:
            return kProductKey;
        case TWDataBranch::Registration:
            return kRegistrationKey;
        case TWDataBranch::Common:
        case TWDataBranch::UserCommon:
            return kCommonKey;
        default:
            return nullptr;
    }
}

long CTWRegDataAccessor::FormBranchKeyPath(TWDataBranch branch, std::vector<char>& out) {
    const char* path = GetBranchKeyPath(branch);
    if (!path) return kTWDataNoKeyPath;
    return AssignText(out, path);
}

long CTWRegDataAccessor::FormVersionKeyPath(TWDataBranch branch, unsigned majorVersion, std::vector<char>& out) {
    std::vector<char> branchPath;
    long error = FormBranchKeyPath(branch, branchPath);
    if (error != kTWDataSuccess) return error;
    if (branchPath.empty()) return kTWDataNoBranchPath;
    if (majorVersion < kTWMinKeyVersion || majorVersion > kTWMaxKeyVersion) return kTWDataBadVersion;
    try {
        std::vector<char> fresh(std::strlen(branchPath.data()) + 6);
        const char* format = majorVersion < 10 ? "%s\\%1d.0" : "%s\\%2d.0";
        if (!SafeFormat(fresh.data(), fresh.size(), format, branchPath.data(), static_cast<int>(majorVersion)))
            return kTWDataPathTooLong;
        out.swap(fresh);
        return kTWDataSuccess;
    } catch (const std::bad_alloc&) {
        return kTWDataOutOfMemory;
    }
}

long CTWRegDataAccessor::FormFlavorKeyPath(TWDataBranch branch, unsigned majorVersion, const char* flavor,
                                           bool forCreate, std::vector<char>& out) {
    std::vector<char> versionPath;
    long error = FormVersionKeyPath(branch, majorVersion, versionPath);
    if (error != kTWDataSuccess) return error;
    if (!flavor || !*flavor) return kTWDataBadFlavor;
    if (forCreate) {
        CAppParamUtility::LoadProductCatalogue();
        if (!ProductInfoReader().IsKnownFlavor(flavor)) return kTWDataBadFlavor;
    }
    try {
        std::string path = std::string(versionPath.data()) + "\\" + flavor;
        return AssignText(out, path.c_str());
    } catch (const std::bad_alloc&) {
        return kTWDataOutOfMemory;
    }
}

long CTWRegDataAccessor::OpenKey(HKEY root, const char* path, TWAccessMode mode, RegKey& key) {
    HKEY opened = nullptr;
    LONG result = ::RegOpenKeyExA(root, path, 0, GetAccessRights(mode), &opened);
    RegKey owner(opened);  // closes a handle returned with a failure
    if (result != ERROR_SUCCESS) return result == ERROR_KEY_DELETED ? kTWDataNoKey : result;
    key = std::move(owner);
    return kTWDataSuccess;
}

long CTWRegDataAccessor::CreateKey(HKEY root, const char* path, const char* className, TWAccessMode mode, RegKey& key,
                                   DWORD* created) {
    HKEY opened = nullptr;
    DWORD disposition = 0;
    LONG result = ::RegCreateKeyExA(root, path, 0, const_cast<char*>(className), 0, GetAccessRights(mode), nullptr,
                                    &opened, &disposition);
    RegKey owner(opened);
    if (result != ERROR_SUCCESS) return result;
    if (created) *created = disposition == REG_CREATED_NEW_KEY ? 1 : 0;
    key = std::move(owner);
    return kTWDataSuccess;
}

long CTWRegDataAccessor::QueryValue(HKEY key, const char* name, std::vector<char>& buffer, DWORD* type, DWORD* size) {
    DWORD valueType = REG_NONE;
    DWORD length = kValueBufferSize;
    try {
        // One byte more than the registry is told about, so the data is always terminated.
        buffer.assign(kValueBufferSize + 1, '\0');
    } catch (const std::bad_alloc&) {
        return kTWDataOutOfMemory;
    }
    LONG result = ::RegQueryValueExA(key, name, nullptr, &valueType, reinterpret_cast<BYTE*>(buffer.data()), &length);
    if (result == ERROR_FILE_NOT_FOUND) return kTWDataValueNotFound;
    if (result == ERROR_MORE_DATA) {
        DWORD larger = length * 2;
        try {
            buffer.assign(static_cast<size_t>(larger) + 1, '\0');
        } catch (const std::bad_alloc&) {
            buffer.clear();
            return kTWDataOutOfMemory;
        }
        length = larger;
        result = ::RegQueryValueExA(key, name, nullptr, &valueType, reinterpret_cast<BYTE*>(buffer.data()), &length);
    }
    if (result != ERROR_SUCCESS) return result;
    if (type) *type = valueType;
    if (size) *size = length;
    return kTWDataSuccess;
}

long CTWRegDataAccessor::SetStringValue(HKEY key, const char* name, const char* value) {
    DWORD size = static_cast<DWORD>(std::strlen(value) + 1);
    return ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), size);
}

long CTWRegDataAccessor::SetNumberValue(HKEY key, const char* name, DWORD value) {
    return ::RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

bool CTWRegDataAccessor::ValueExists(HKEY key, const char* name) {
    return ::RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

long CTWRegDataAccessor::DeleteValue(HKEY key, const char* name) {
    LONG result = ::RegDeleteValueA(key, name);
    return result == ERROR_FILE_NOT_FOUND ? kTWDataValueNotFound : result;
}

long CTWRegDataAccessor::DeleteKey(HKEY root, const char* path, bool view32) {
    // A key opened in the 32-bit view is deleted there, not in the 64-bit view of the
    // same path.
    if (view32) return ::RegDeleteKeyExA(root, path, KEY_WOW64_32KEY, 0);
    return ::RegDeleteKeyA(root, path);
}

long CTWRegDataAccessor::CountSubKeys(HKEY key, DWORD* count, DWORD* longest) {
    return CountNames(key, false, count, longest);
}

long CTWRegDataAccessor::CountValues(HKEY key, DWORD* count, DWORD* longest) {
    return CountNames(key, true, count, longest);
}

long CTWRegDataAccessor::EnumerateNames(HKEY key, bool values, CTWNameList& list, DWORD* count, bool* listed) {
    if (listed) *listed = false;
    DWORD counted = 0, longest = 0;
    long error = CountNames(key, values, &counted, &longest);
    if (count) *count = counted;
    if (error != kTWDataSuccess) return error;
    if (counted == 0 || longest == 0) return kTWDataSuccess;

    list.Clear();
    std::vector<char> name;
    try {
        name.resize(static_cast<size_t>(longest) + 1);
    } catch (const std::bad_alloc&) {
        return kTWDataOutOfMemory;
    }
    if (!list.Reserve(counted)) return kTWDataOutOfMemory;
    if (listed) *listed = true;

    long result = VisitNames(key, values, name, [&](const char* text, DWORD length) {
        if (list.Count() >= counted) return kTWDataOutOfMemory;  // more names than counted
        return list.Add(text, length) ? kTWDataSuccess : kTWDataOutOfMemory;
    });
    if (count) *count = list.Count();
    return result;
}

}  // namespace tw
