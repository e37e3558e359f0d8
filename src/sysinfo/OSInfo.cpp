#include "sysinfo/OSInfo.h"

#include "common/Handles.h"
#include "common/TextUtil.h"

namespace tw {

namespace {

using RtlGetVersionFn = LONG(WINAPI*)(PRTL_OSVERSIONINFOEXW);
using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);

struct TableRow {
    WORD fromMajor, fromMinor, fromSp;  // at least
    WORD toMajor, toMinor, toSp;        // and not at least
    bool notOnWindows10;
    COSInfo::NameRow names;
};

// Rows 1 to 11 of the name table; row 12 (Windows 10) is decided by the version record.
const TableRow kRows[] = {
    {5, 1, 0, 5, 1, 1, false, {"Windows XP", "Windows XP", "WindowsXP", "WindowsXP"}},
    {5, 1, 1, 5, 1, 2, false, {"Windows XP SP1", "Windows XP SP1", "WindowsXPSP1", "WindowsXPSP1"}},
    {5, 1, 2, 5, 1, 3, false, {"Windows XP SP2", "Windows XP SP2", "WindowsXPSP2", "WindowsXPSP2"}},
    {5, 1, 3, 6, 0, 0, false, {"Windows XP SP3", "Windows XP SP3", "WindowsXPSP3", "WindowsXPSP3"}},
    {6, 0, 0, 6, 0, 1, false, {"Windows Vista", "Windows Server 2008", "WindowsVista", "WindowsServer2008"}},
    {6, 0, 1, 6, 0, 2, false, {"Windows Vista SP1", "Windows Server 2008", "WindowsVistaSP1", "WindowsServer2008"}},
    {6, 0, 2, 6, 1, 0, false, {"Windows Vista SP2", "Windows Server 2008", "WindowsVistaSP2", "WindowsServer2008"}},
    {6, 1, 0, 6, 1, 1, false, {"Windows 7", "Windows Server 2008 R2", "Windows7", "WindowsServer2008R2"}},
    {6, 1, 1, 6, 2, 0, false, {"Windows 7 SP1", "Windows Server 2008R2", "Windows7 SP1", "WindowsServer2008R2"}},
    {6, 2, 0, 6, 3, 0, true, {"Windows 8", "Windows Server 2012", "Windows8", "WindowsServer2012"}},
    {6, 3, 0, 0xFFFF, 0, 0, true, {"Windows 8.1", "Windows Server 2012 R2", "Windows8_1", "WindowsServer2012R2"}},
};

const COSInfo::NameRow kWindows10Row = {"Windows 10", "Windows Server 2016", "Windows10", "WindowsServer2016"};

// Suite-mask bits of the version codes, in field order.
const WORD kSuiteBits[13] = {VER_SUITE_BACKOFFICE,
                             VER_SUITE_BLADE,
                             0x4000 /* VER_SUITE_COMPUTE_SERVER */,
                             VER_SUITE_DATACENTER,
                             VER_SUITE_ENTERPRISE,
                             VER_SUITE_EMBEDDEDNT,
                             VER_SUITE_PERSONAL,
                             VER_SUITE_SINGLEUSERTS,
                             VER_SUITE_SMALLBUSINESS,
                             VER_SUITE_SMALLBUSINESS_RESTRICTED,
                             VER_SUITE_STORAGE_SERVER,
                             VER_SUITE_TERMINAL,
                             0x8000 /* VER_SUITE_WH_SERVER */};

struct ProcessRecord {
    bool obtained = false;
    RTL_OSVERSIONINFOEXW record{};
};

const ProcessRecord& TheProcessRecord() {
    static const ProcessRecord copy = [] {
        ProcessRecord r;
        r.obtained = COSInfo::QueryVersionRecord(r.record);
        if (!r.obtained) ZeroMemory(&r.record, sizeof(r.record));
        return r;
    }();
    return copy;
}

// A wide string value of the open key, narrowed unit by unit; "NA" when it cannot be read.
std::string ReadNarrowedValue(HKEY key, const wchar_t* name) {
    if (!key) return "NA";
    BYTE buffer[1024] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t);  // room for a terminator the data may lack
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, buffer, &size) != ERROR_SUCCESS) return "NA";
    const wchar_t* text = reinterpret_cast<const wchar_t*>(buffer);
    std::string out;
    for (DWORD i = 0; i < size / sizeof(wchar_t) && text[i] != L'\0'; ++i) out += static_cast<char>(text[i]);
    return out;
}

}  // namespace

bool COSInfo::QueryVersionRecord(RTL_OSVERSIONINFOEXW& record) {
    ZeroMemory(&record, sizeof(record));
    record.dwOSVersionInfoSize = sizeof(RTL_OSVERSIONINFOEXW);  // 284
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (!ntdll) return false;
    auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(GetProcAddress(ntdll, "RtlGetVersion"));
    if (!rtlGetVersion) return false;
    try {
        return rtlGetVersion(&record) == 0;
    } catch (...) {
        return false;
    }
}

bool COSInfo::GetVersionRecord(RTL_OSVERSIONINFOEXW& record) {
    const ProcessRecord& copy = TheProcessRecord();
    record = copy.record;
    return copy.obtained;
}

bool COSInfo::IsVersionAtLeast(WORD major, WORD minor, WORD servicePackMajor) {
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    info.dwMajorVersion = major;
    info.dwMinorVersion = minor;
    info.wServicePackMajor = servicePackMajor;
    DWORDLONG mask = 0;
    mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&info, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, mask) != FALSE;
}

bool COSInfo::IsServer() {
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    info.wProductType = VER_NT_WORKSTATION;
    DWORDLONG mask = VerSetConditionMask(0, VER_PRODUCT_TYPE, VER_EQUAL);
    return VerifyVersionInfoW(&info, VER_PRODUCT_TYPE, mask) == FALSE;
}

bool COSInfo::IsWindows10() {
    const ProcessRecord& copy = TheProcessRecord();
    return copy.obtained && copy.record.dwMajorVersion == 10 && copy.record.dwMinorVersion == 0;
}

bool COSInfo::IsWindowsServer2016() {
    const ProcessRecord& copy = TheProcessRecord();
    BYTE type = copy.record.wProductType;
    return copy.obtained && (type == VER_NT_DOMAIN_CONTROLLER || type == VER_NT_SERVER) &&
           copy.record.dwMajorVersion == 10 && copy.record.dwMinorVersion == 0;
}

bool COSInfo::Is64BitWindows() {
#if defined(_WIN64)
    return true;
#else
    HMODULE kernel = GetModuleHandleA("kernel32");
    auto isWow64 = kernel ? reinterpret_cast<IsWow64ProcessFn>(GetProcAddress(kernel, "IsWow64Process")) : nullptr;
    BOOL wow64 = FALSE;
    return isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64;
#endif
}

DWORD COSInfo::GetMajorVersion() {
    OSVERSIONINFOEXA extended{};
    extended.dwOSVersionInfoSize = sizeof(extended);  // 156
    if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&extended))) return extended.dwMajorVersion;
    OSVERSIONINFOA basic{};
    basic.dwOSVersionInfoSize = sizeof(basic);  // 148
    if (GetVersionExA(&basic)) return basic.dwMajorVersion;
    return 0;
}

COSInfo::VersionProbes COSInfo::Probes() {
    VersionProbes probes;
    probes.isAtLeast = &COSInfo::IsVersionAtLeast;
    probes.isServer = IsServer();
    probes.isWindows10 = IsWindows10();
    probes.productType = TheProcessRecord().record.wProductType;
    return probes;
}

const COSInfo::NameRow* COSInfo::FindNameRow(const VersionProbes& probes) {
    if (probes.isWindows10) return &kWindows10Row;
    const NameRow* found = nullptr;
    for (const TableRow& row : kRows) {
        if (row.notOnWindows10 && probes.isWindows10) continue;
        if (!probes.isAtLeast || !probes.isAtLeast(row.fromMajor, row.fromMinor, row.fromSp)) continue;
        if (row.toMajor != 0xFFFF && probes.isAtLeast(row.toMajor, row.toMinor, row.toSp)) continue;
        found = &row.names;
    }
    return found;
}

namespace {
// Row 12 takes its server column from the record's product type, the others from the probe.
bool UseServerColumn(const COSInfo::VersionProbes& probes) {
    if (probes.isWindows10)
        return probes.productType == VER_NT_DOMAIN_CONTROLLER || probes.productType == VER_NT_SERVER;
    return probes.isServer;
}
}  // namespace

std::string COSInfo::GetDisplayName(const VersionProbes& probes) {
    const NameRow* row = FindNameRow(probes);
    if (!row) return std::string();
    return UseServerColumn(probes) ? row->displayNameServer : row->displayName;
}

std::string COSInfo::GetCodeName(const VersionProbes& probes) {
    const NameRow* row = FindNameRow(probes);
    if (!row) return std::string();
    return UseServerColumn(probes) ? row->codeNameServer : row->codeName;
}

std::string COSInfo::GetOSField(const VersionProbes& probes, bool is64Bit) {
    std::string field = "OS=\"";
    field += is64Bit ? "64 Bit " : "32 Bit ";
    field += GetCodeName(probes);
    field += "\"&";
    return field;
}

std::string COSInfo::FormatBuildNumberField(const RTL_OSVERSIONINFOEXW& record) {
    return FormatString("OS_BUILD_NUMBER=%u&", static_cast<unsigned>(record.dwBuildNumber));
}

std::string COSInfo::GetBuildNumberField() {
    RTL_OSVERSIONINFOEXW record;
    if (!GetVersionRecord(record)) return std::string();
    return FormatBuildNumberField(record);
}

std::string COSInfo::GetReleaseEditionField() {
    RegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0, KEY_READ, key.Put()) !=
        ERROR_SUCCESS)
        key.Reset();
    std::string field = "OS_RELEASE_VERSION=";
    field += ReadNarrowedValue(key.Get(), L"ReleaseId");
    field += "&OS_EDITION_NAME=";
    field += ReadNarrowedValue(key.Get(), L"EditionID");
    field += "&";
    return field;
}

std::string COSInfo::FormatVersionCodesField(const RTL_OSVERSIONINFOEXW& record) {
    std::string digits;
    WORD suite = record.wSuiteMask;
    for (WORD bit : kSuiteBits) digits += (suite & bit) ? '1' : '0';
    return FormatString("OS_VERSION_CODES=%u/%u/%u/%u/%u/%u/%s/%u&", static_cast<unsigned>(record.dwMajorVersion),
                        static_cast<unsigned>(record.dwMinorVersion), static_cast<unsigned>(record.dwBuildNumber),
                        static_cast<unsigned>(record.dwPlatformId), static_cast<unsigned>(record.wServicePackMajor),
                        static_cast<unsigned>(record.wServicePackMinor), digits.c_str(),
                        static_cast<unsigned>(record.wProductType));
}

std::string COSInfo::GetVersionCodesField() {
    RTL_OSVERSIONINFOEXW record;
    if (!GetVersionRecord(record)) return std::string();
    return FormatVersionCodesField(record);
}

std::string COSInfo::GetTrackingFields() {
    return GetOSField() + GetBuildNumberField() + GetReleaseEditionField() + GetVersionCodesField();
}

}  // namespace tw
