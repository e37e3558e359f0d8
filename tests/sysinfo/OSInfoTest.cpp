#include <gtest/gtest.h>

#include <map>
#include <string>

#include "common/Handles.h"
#include "common/RegistryBackup.h"
#include "common/TestSupport.h"
#include "sysinfo/OSInfo.h"
#include "common/TextUtil.h"

using tw::COSInfo;
using twtest::ScopedRegistryKey;

namespace {

RTL_OSVERSIONINFOEXW Record(DWORD major, DWORD minor, DWORD build, WORD suite, BYTE type) {
    RTL_OSVERSIONINFOEXW r{};
    r.dwOSVersionInfoSize = sizeof(r);
    r.dwMajorVersion = major;
    r.dwMinorVersion = minor;
    r.dwBuildNumber = build;
    r.dwPlatformId = VER_PLATFORM_WIN32_NT;
    r.wSuiteMask = suite;
    r.wProductType = type;
    return r;
}

// ---- Fields formatted from a record the test supplies ----------------------------------

TEST(OSInfoFields, VersionCodesOfWorkstationWithoutSuiteBits) {
    RTL_OSVERSIONINFOEXW r = Record(10, 0, 19045, 0, VER_NT_WORKSTATION);
    EXPECT_EQ("OS_VERSION_CODES=10/0/19045/2/0/0/0000000000000/1&", COSInfo::FormatVersionCodesField(r));
    EXPECT_EQ("OS_BUILD_NUMBER=19045&", COSInfo::FormatBuildNumberField(r));
}

TEST(OSInfoFields, VersionCodesServicePackAndProductType) {
    RTL_OSVERSIONINFOEXW r = Record(6, 1, 7601, 0, VER_NT_DOMAIN_CONTROLLER);
    r.wServicePackMajor = 1;
    r.wServicePackMinor = 2;
    EXPECT_EQ("OS_VERSION_CODES=6/1/7601/2/1/2/0000000000000/2&", COSInfo::FormatVersionCodesField(r));
}

TEST(OSInfoFields, EachSuiteBitSetsItsOwnDigit) {
    const WORD bits[13] = {0x0004, 0x0400, 0x4000, 0x0080, 0x0002, 0x0040, 0x0200,
                           0x0100, 0x0001, 0x0020, 0x2000, 0x0010, 0x8000};
    for (int i = 0; i < 13; ++i) {
        SCOPED_TRACE(i);
        std::string digits(13, '0');
        digits[i] = '1';
        EXPECT_EQ("OS_VERSION_CODES=10/0/1/2/0/0/" + digits + "/3&",
                  COSInfo::FormatVersionCodesField(Record(10, 0, 1, bits[i], VER_NT_SERVER)));
    }
    // Bits outside the table (0x0008, 0x0800, 0x1000) give no digit.
    EXPECT_EQ("OS_VERSION_CODES=10/0/1/2/0/0/1111111111111/1&",
              COSInfo::FormatVersionCodesField(Record(10, 0, 1, 0xFFFF, VER_NT_WORKSTATION)));
}

// ---- The name table, with probes the test supplies -------------------------------------

struct NameCase {
    DWORD major, minor, sp;
    bool server;
    bool windows10;
    BYTE productType;
    const char* display;
    const char* code;
};

COSInfo::VersionProbes FakeProbes(const NameCase& c) {
    COSInfo::VersionProbes p;
    DWORD have = (c.major << 16) | (c.minor << 8) | c.sp;
    p.isAtLeast = [have](WORD major, WORD minor, WORD sp) {
        return have >= ((static_cast<DWORD>(major) << 16) | (static_cast<DWORD>(minor) << 8) | sp);
    };
    p.isServer = c.server;
    p.isWindows10 = c.windows10;
    p.productType = c.productType;
    return p;
}

const NameCase kNameCases[] = {
    {5, 1, 0, false, false, 1, "Windows XP", "WindowsXP"},
    {5, 1, 1, false, false, 1, "Windows XP SP1", "WindowsXPSP1"},
    {5, 1, 2, true, false, 3, "Windows XP SP2", "WindowsXPSP2"},
    {5, 1, 3, false, false, 1, "Windows XP SP3", "WindowsXPSP3"},
    {5, 2, 2, false, false, 1, "Windows XP SP3", "WindowsXPSP3"},
    {6, 0, 0, false, false, 1, "Windows Vista", "WindowsVista"},
    {6, 0, 0, true, false, 3, "Windows Server 2008", "WindowsServer2008"},
    {6, 0, 1, false, false, 1, "Windows Vista SP1", "WindowsVistaSP1"},
    {6, 0, 1, true, false, 3, "Windows Server 2008", "WindowsServer2008"},
    {6, 0, 2, false, false, 1, "Windows Vista SP2", "WindowsVistaSP2"},
    {6, 0, 2, true, false, 3, "Windows Server 2008", "WindowsServer2008"},
    {6, 1, 0, false, false, 1, "Windows 7", "Windows7"},
    {6, 1, 0, true, false, 3, "Windows Server 2008 R2", "WindowsServer2008R2"},
    {6, 1, 1, false, false, 1, "Windows 7 SP1", "Windows7 SP1"},
    {6, 1, 1, true, false, 3, "Windows Server 2008R2", "WindowsServer2008R2"},
    {6, 2, 0, false, false, 1, "Windows 8", "Windows8"},
    {6, 2, 0, true, false, 3, "Windows Server 2012", "WindowsServer2012"},
    {6, 3, 0, false, false, 1, "Windows 8.1", "Windows8_1"},
    {6, 3, 0, true, false, 3, "Windows Server 2012 R2", "WindowsServer2012R2"},
    {10, 0, 0, false, true, 1, "Windows 10", "Windows10"},
    // Row 12 takes the server column from the product type, not from the server probe.
    {10, 0, 0, false, true, 3, "Windows Server 2016", "WindowsServer2016"},
    {10, 0, 0, true, true, 2, "Windows Server 2016", "WindowsServer2016"},
    {10, 0, 0, true, true, 1, "Windows 10", "Windows10"},
    // Newer than every row without the Windows 10 test: the last matching row stands.
    {10, 1, 0, false, false, 1, "Windows 8.1", "Windows8_1"},
    // Older than every row: no name.
    {5, 0, 0, false, false, 1, "", ""},
};

TEST(OSInfoNames, NameTableRows) {
    for (const NameCase& c : kNameCases) {
        SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor) + " SP" + std::to_string(c.sp) +
                     (c.server ? " server" : "") + " type " + std::to_string(c.productType));
        COSInfo::VersionProbes p = FakeProbes(c);
        EXPECT_EQ(c.display, COSInfo::GetDisplayName(p));
        EXPECT_EQ(c.code, COSInfo::GetCodeName(p));
        EXPECT_EQ(std::string("OS=\"64 Bit ") + c.code + "\"&", COSInfo::GetOSField(p, true));
        EXPECT_EQ(std::string("OS=\"32 Bit ") + c.code + "\"&", COSInfo::GetOSField(p, false));
    }
}

// ---- Release and edition from the real registry ----------------------------------------

TEST(OSInfoRegistry, ReleaseAndEditionValues) {
    const char* key = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    ScopedRegistryKey restore(HKEY_LOCAL_MACHINE, key);

    twtest::DeleteRegValue(HKEY_LOCAL_MACHINE, key, "ReleaseId");
    twtest::DeleteRegValue(HKEY_LOCAL_MACHINE, key, "EditionID");
    EXPECT_EQ("OS_RELEASE_VERSION=NA&OS_EDITION_NAME=NA&", COSInfo::GetReleaseEditionField());

    ASSERT_TRUE(twtest::SetRegString(HKEY_LOCAL_MACHINE, key, "ReleaseId", "1909"));
    EXPECT_EQ("OS_RELEASE_VERSION=1909&OS_EDITION_NAME=NA&", COSInfo::GetReleaseEditionField());

    ASSERT_TRUE(twtest::SetRegString(HKEY_LOCAL_MACHINE, key, "EditionID", "Professional"));
    std::string field = COSInfo::GetReleaseEditionField();
    EXPECT_EQ("OS_RELEASE_VERSION=1909&OS_EDITION_NAME=Professional&", field);
    EXPECT_EQ("1909", field.substr(19, 4));  // where the support gate takes the release from
}

// ---- The real probes under different Windows versions of the Wine prefix ---------------

// Runs the probe program and returns its "name=value" lines.
std::map<std::string, std::string> RunProbe() {
    std::map<std::string, std::string> out;
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    HANDLE readRaw = nullptr, writeRaw = nullptr;
    if (!CreatePipe(&readRaw, &writeRaw, &sa, 0)) return out;
    tw::KernelHandle readEnd(readRaw), writeEnd(writeRaw);
    SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);

    std::string exe = twtest::BinaryPath("tests\\fixtures\\osprobe\\osprobe.exe");
    std::string cmd = "\"" + exe + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd.Get();
    si.hStdError = writeEnd.Get();
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
        return out;
    tw::KernelHandle process(pi.hProcess), thread(pi.hThread);
    writeEnd.Reset();

    std::string text;
    char buf[1024];
    DWORD n = 0;
    while (ReadFile(readEnd.Get(), buf, sizeof(buf), &n, nullptr) && n > 0) text.append(buf, n);
    WaitForSingleObject(process.Get(), 30000);

    for (const std::string& line : tw::SplitLines(text)) {
        size_t eq = line.find('=');
        if (eq != std::string::npos) out[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return out;
}

struct WineVersionCase {
    const char* wineVersion;
    const char* display;  // on a workstation
    const char* code;
    const char* displayServer;  // on a server product
    const char* codeServer;
    const char* codesPrefix;  // start of the version codes: major/minor/build/platform/spMajor/
    const char* major;
    const char* windows10;
};

// The Wine build of this machine reports a server product type for "win7" and a
// workstation for "win2008r2"; the expected name follows the product type reported.
TEST(OSInfoProbes, RealProbesUnderWineVersions) {
    const WineVersionCase cases[] = {
        {"win7", "Windows 7 SP1", "Windows7 SP1", "Windows Server 2008R2", "WindowsServer2008R2",
         "OS_VERSION_CODES=6/1/7601/2/1/", "6", "0"},
        {"win2008r2", "Windows 7 SP1", "Windows7 SP1", "Windows Server 2008R2", "WindowsServer2008R2",
         "OS_VERSION_CODES=6/1/7601/2/1/", "6", "0"},
        {"vista", "Windows Vista SP2", "WindowsVistaSP2", "Windows Server 2008", "WindowsServer2008",
         "OS_VERSION_CODES=6/0/6002/2/2/", "6", "0"},
        {"win8", "Windows 8", "Windows8", "Windows Server 2012", "WindowsServer2012", "OS_VERSION_CODES=6/2/9200/2/0/",
         "6", "0"},
        {"win81", "Windows 8.1", "Windows8_1", "Windows Server 2012 R2", "WindowsServer2012R2",
         "OS_VERSION_CODES=6/3/9600/2/0/", "6", "0"},
        {"win10", "Windows 10", "Windows10", "Windows Server 2016", "WindowsServer2016", "OS_VERSION_CODES=10/0/", "10",
         "1"},
    };
    ScopedRegistryKey restore(HKEY_CURRENT_USER, "Software\\Wine");
    for (const WineVersionCase& c : cases) {
        SCOPED_TRACE(c.wineVersion);
        ASSERT_TRUE(twtest::SetRegString(HKEY_CURRENT_USER, "Software\\Wine", "Version", c.wineVersion));
        std::map<std::string, std::string> found = RunProbe();
        ASSERT_EQ("1", found["record"]);
        const std::string& codes = found["codes"];
        ASSERT_EQ(0u, codes.find(c.codesPrefix)) << codes;
        // The product type ends the version codes; the server probe agrees with it.
        char productType = codes[codes.size() - 2];
        bool server = productType == '2' || productType == '3';
        EXPECT_EQ(server ? "1" : "0", found["server"]);
        EXPECT_EQ(server ? c.displayServer : c.display, found["display"]);
        EXPECT_EQ(std::string("OS=\"64 Bit ") + (server ? c.codeServer : c.code) + "\"&", found["os"]);
        EXPECT_EQ(c.major, found["major"]);
        EXPECT_EQ(c.major, found["versionex_major"]);
        EXPECT_EQ(c.windows10, found["windows10"]);
        EXPECT_EQ(std::string(c.wineVersion) == "vista" ? "0" : "1", found["at_least_6_1"]);
        // The build number field carries the build of the version codes.
        std::string build = codes.substr(codes.find('/', codes.find('/') + 1) + 1);
        build = build.substr(0, build.find('/'));
        EXPECT_EQ("OS_BUILD_NUMBER=" + build + "&", found["build"]);
    }
}

TEST(OSInfoProbes, InProcessProbesAgree) {
    RTL_OSVERSIONINFOEXW r;
    ASSERT_TRUE(COSInfo::GetVersionRecord(r));
    EXPECT_EQ(sizeof(RTL_OSVERSIONINFOEXW), 284u);
    EXPECT_EQ(r.dwMajorVersion, COSInfo::GetMajorVersion());
    EXPECT_TRUE(COSInfo::Is64BitWindows());
    EXPECT_TRUE(COSInfo::IsVersionAtLeast(static_cast<WORD>(r.dwMajorVersion), static_cast<WORD>(r.dwMinorVersion), 0));
    EXPECT_FALSE(COSInfo::IsVersionAtLeast(static_cast<WORD>(r.dwMajorVersion + 1), 0, 0));
    EXPECT_EQ(COSInfo::IsWindows10(), r.dwMajorVersion == 10 && r.dwMinorVersion == 0);
    EXPECT_FALSE(COSInfo::IsWindowsServer2016());  // Wine reports a workstation
    std::string all = COSInfo::GetTrackingFields();
    EXPECT_EQ(0u, all.find("OS=\"64 Bit ")) << all;
    EXPECT_NE(std::string::npos, all.find("\"&OS_BUILD_NUMBER=")) << all;
    EXPECT_NE(std::string::npos, all.find("&OS_RELEASE_VERSION=")) << all;
    EXPECT_NE(std::string::npos, all.find("&OS_EDITION_NAME=")) << all;
    EXPECT_NE(std::string::npos, all.find("&OS_VERSION_CODES=")) << all;
    EXPECT_EQ('&', all.back());
}

}  // namespace
