#include <gtest/gtest.h>

#include <string>

#include "app/SecureProtocol.h"
#include "common/RegistryBackup.h"
#include "common/TestSupport.h"
#include "logging/StatusLogMgr.h"

using tw::CSecureProtocol;
using tw::StatusLogMgr;
using twtest::GetRegDword;
using twtest::ScopedRegistryKey;
using twtest::SetRegDword;
using twtest::SetRegString;

namespace {

const char kWinHttpKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\WinHttp";
const char kWinInetKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const char kDotNetKey[] = "SOFTWARE\\Microsoft\\.NETFramework\\v4.0.30319";
const char kIEKey[] = "SOFTWARE\\Microsoft\\Internet Explorer";

// Every registry key the enforcement touches is put back afterwards; log lines go to a
// scratch folder.
class SecureProtocolTest : public ::testing::Test {
protected:
    void SetUp() override { StatusLogMgr::RenameLogFile(logDir.Path().c_str()); }

    std::string Log() const {
        std::string raw = twtest::ReadTextFile(logDir / "Patchlog.txt"), out;
        for (char c : raw)
            if (c != '\r') out += c;
        return out;
    }
    static DWORD Read(HKEY root, const char* key, const char* value) {
        DWORD v = 0xDEADBEEF;
        GetRegDword(root, key, value, v);
        return v;
    }
    void SetIEVersion(const char* svcVersion, const char* version) {
        twtest::DeleteRegValue(HKEY_LOCAL_MACHINE, kIEKey, "svcVersion");
        twtest::DeleteRegValue(HKEY_LOCAL_MACHINE, kIEKey, "Version");
        if (svcVersion) {
            ASSERT_TRUE(SetRegString(HKEY_LOCAL_MACHINE, kIEKey, "svcVersion", svcVersion));
        }
        if (version) {
            ASSERT_TRUE(SetRegString(HKEY_LOCAL_MACHINE, kIEKey, "Version", version));
        }
    }

    twtest::SeamGuard guard;
    twtest::TempDir logDir{"protocol"};
    ScopedRegistryKey winHttp{HKEY_LOCAL_MACHINE, kWinHttpKey};
    ScopedRegistryKey winInet{HKEY_CURRENT_USER, kWinInetKey};
    ScopedRegistryKey dotNet{HKEY_LOCAL_MACHINE, kDotNetKey};
    ScopedRegistryKey ie{HKEY_LOCAL_MACHINE, kIEKey};
};

TEST_F(SecureProtocolTest, ProtocolRuleOnStoredValues) {
    struct Case {
        DWORD stored;
        DWORD expected;
    };
    const Case cases[] = {
        {0x2800, 0x2800},                   // TLS 1.2 present after masking: left alone
        {0xA0, 0x8A0},    {0x10A0, 0x8A0},  // bit 12 is dropped
        {0x800, 0x800},   {0x0, 0x800},    {0xA80, 0xA80},
    };
    struct Target {
        HKEY root;
        const char* key;
        const char* value;
    };
    const Target targets[] = {{HKEY_LOCAL_MACHINE, kWinHttpKey, "DefaultSecureProtocols"},
                              {HKEY_CURRENT_USER, kWinInetKey, "SecureProtocols"}};
    for (const Target& t : targets) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(t.key) + " " + std::to_string(c.stored));
            ASSERT_TRUE(SetRegDword(t.root, t.key, t.value, c.stored));
            EXPECT_EQ(ERROR_SUCCESS, CSecureProtocol::ApplyProtocolRule(t.root, t.key, t.value));
            EXPECT_EQ(c.expected, Read(t.root, t.key, t.value));
        }
    }
}

TEST_F(SecureProtocolTest, MissingKeyOrValueGetsDefaultProtocols) {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kWinHttpKey);
    ASSERT_FALSE(twtest::RegKeyExists(HKEY_LOCAL_MACHINE, kWinHttpKey));
    EXPECT_EQ(ERROR_SUCCESS,
              CSecureProtocol::ApplyProtocolRule(HKEY_LOCAL_MACHINE, kWinHttpKey, "DefaultSecureProtocols"));
    EXPECT_EQ(0xA80u, Read(HKEY_LOCAL_MACHINE, kWinHttpKey, "DefaultSecureProtocols"));

    twtest::DeleteRegValue(HKEY_CURRENT_USER, kWinInetKey, "SecureProtocols");
    EXPECT_EQ(ERROR_SUCCESS, CSecureProtocol::ApplyProtocolRule(HKEY_CURRENT_USER, kWinInetKey, "SecureProtocols"));
    EXPECT_EQ(0xA80u, Read(HKEY_CURRENT_USER, kWinInetKey, "SecureProtocols"));

    // A value of another type cannot be read as a DWORD either.
    ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, kWinInetKey, "SecureProtocols", "2048"));
    EXPECT_EQ(ERROR_SUCCESS, CSecureProtocol::ApplyProtocolRule(HKEY_CURRENT_USER, kWinInetKey, "SecureProtocols"));
    EXPECT_EQ(0xA80u, Read(HKEY_CURRENT_USER, kWinInetKey, "SecureProtocols"));
}

TEST_F(SecureProtocolTest, InternetExplorerVersionNumber) {
    struct Case {
        const char* text;
        short number;
    };
    const Case cases[] = {
        {"7.5", 700},
        {"7.0.6000.16386", 700},
        {"11.0.9600.18376", 1100},
        {"8", 800},
        {"9.11.19041.0", 900},
        {"0.9", 9},
        {"", 0},
        {"abc", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(c.number, CSecureProtocol::ParseIEVersion(c.text)) << c.text;
    // Longer texts than the 127-character copy are cut, not overrun.
    EXPECT_EQ(1100, CSecureProtocol::ParseIEVersion((std::string("11.0.") + std::string(300, '9')).c_str()));
}

TEST_F(SecureProtocolTest, InternetExplorerVersionDecidesBothValues) {
    struct Case {
        const char* svcVersion;
        const char* version;
        bool supported;
    };
    const Case cases[] = {
        {"7.5", "9.11.9600.0", false},  // "svcVersion" wins over "Version"
        {"11.0.9600.18376", nullptr, true},
        {nullptr, "8.0.7601.17514", true},
        {nullptr, "7.0.6000.16386", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.svcVersion ? c.svcVersion : "-") + " / " + (c.version ? c.version : "-"));
        SetIEVersion(c.svcVersion, c.version);
        ASSERT_TRUE(SetRegDword(HKEY_LOCAL_MACHINE, kWinHttpKey, "DefaultSecureProtocols", 0xA0));
        ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kWinInetKey, "SecureProtocols", 0xA0));
        EXPECT_EQ(c.supported, CSecureProtocol::DoesIESupportTLS());
        EXPECT_EQ(ERROR_SUCCESS, CSecureProtocol::UpdateRegistryForIE());
        DWORD expected = c.supported ? 0x8A0 : 0xA0;
        EXPECT_EQ(expected, Read(HKEY_LOCAL_MACHINE, kWinHttpKey, "DefaultSecureProtocols"));
        EXPECT_EQ(expected, Read(HKEY_CURRENT_USER, kWinInetKey, "SecureProtocols"));
    }
    EXPECT_EQ(std::string::npos, Log().find("Unable"));
}

TEST_F(SecureProtocolTest, NoInternetExplorerVersion) {
    SetIEVersion(nullptr, nullptr);
    ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kWinInetKey, "SecureProtocols", 0xA0));
    EXPECT_FALSE(CSecureProtocol::DoesIESupportTLS());
    EXPECT_EQ(ERROR_SUCCESS, CSecureProtocol::UpdateRegistryForIE());
    EXPECT_EQ(0xA0u, Read(HKEY_CURRENT_USER, kWinInetKey, "SecureProtocols"));
    std::string log = Log();
    EXPECT_NE(std::string::npos, log.find("DoesIESupportTLS - Unable to retrieve IE Version from registry.\n"
                                          "DoesIESupportTLS - Unable to retrieve IE Version from registry.\n"
                                          "UpdateRegistryForIE - Updated IE registry values for TLS 1.2.\n"))
        << log;
}

TEST_F(SecureProtocolTest, EnforceProtocolSetsAllThreeValues) {
    SetIEVersion("11.0.9600.18376", nullptr);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kWinHttpKey);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kDotNetKey);
    ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kWinInetKey, "SecureProtocols", 0x10A0));

    EXPECT_EQ(ERROR_SUCCESS, CSecureProtocol::EnforceProtocol());
    EXPECT_EQ(0xA80u, Read(HKEY_LOCAL_MACHINE, kWinHttpKey, "DefaultSecureProtocols"));
    EXPECT_EQ(0x8A0u, Read(HKEY_CURRENT_USER, kWinInetKey, "SecureProtocols"));
    EXPECT_EQ(1u, Read(HKEY_LOCAL_MACHINE, kDotNetKey, "SchUseStrongCrypto"));
    std::string log = Log();
    EXPECT_NE(std::string::npos, log.find("UpdateRegistryForIE - Updated IE registry values for TLS 1.2.\n"
                                          "UpdateRegistryForDotNet - Updated DotNet registry values for TLS 1.2.\n"))
        << log;
    EXPECT_EQ(std::string::npos, log.find("Unable")) << log;
}

}  // namespace
