#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/LoopbackServer.h"
#include "common/ProductConstants.h"
#include "common/RunState.h"
#include "common/TestSupport.h"
#include "logging/OSSupportGate.h"
#include "logging/OSSupportMessage.h"
#include "logging/SupportConfigDownload.h"
#include "sysinfo/OSInfo.h"

namespace {

using tw::COSSupportGate;
using tw::CSupportConfigDownload;
using Evaluation = COSSupportGate::Evaluation;

// A support configuration as the maker's server writes it (CR LF lines).
std::string ConfigText(const std::vector<std::string>& serverList, const std::vector<std::string>& clientList,
                       const std::string& verdictLine, const std::string& messages) {
    std::string text = "[OSList_Server]\r\n";
    for (const std::string& key : serverList) text += key + "\r\n";
    text += "[OSList]\r\n";
    for (const std::string& key : clientList) text += key + "\r\n";
    text += "[Message_Block]\r\n";
    if (!verdictLine.empty()) text += verdictLine + "\r\n";
    return text + messages;
}

const char kMessages[] =
    "[Message_Block_Patch]\r\n"
    "Heading=Windows 7 is no longer supported\r\n"
    "Text1=This update cannot be installed on Windows 7.\r\n"
    "Text2=Switch to Windows 10 to keep Tallyworks up to date.\r\n"
    "Text3=Your data stays where it is.\r\n"
    "Text4=See the support page.\r\n"
    "[Message_Nudge_Patch]\r\n"
    "Heading=Windows 7 support ends soon\r\n"
    "Text1=Tallyworks will stop updating on Windows 7.\r\n"
    "Text2=Switch to Windows 10 before the next release.\r\n"
    "Text3=This update installs normally.\r\n"
    "Text4=Click Continue to go on.\r\n";

struct EvaluationCase {
    const char* name;
    std::vector<std::string> serverList, clientList;
    const char* verdictLine;
    const char* key;
    bool server;
    int32_t status;
    bool hasMessage, nudge;
    const char* heading;  // expected heading, when a message
    const char* text2;
};

class SupportEvaluation : public ::testing::TestWithParam<EvaluationCase> {};

TEST_P(SupportEvaluation, StatusAndMessage) {
    const EvaluationCase& c = GetParam();
    Evaluation e = COSSupportGate::Evaluate(ConfigText(c.serverList, c.clientList, c.verdictLine, kMessages), c.key,
                                            c.server, "Windows Server 2008 R2");
    EXPECT_EQ(c.status, e.status);
    EXPECT_EQ(c.hasMessage, e.hasMessage);
    EXPECT_EQ(c.nudge, e.nudge);
    EXPECT_EQ(c.heading, e.texts[0]);
    EXPECT_EQ(c.text2, e.texts[2]);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SupportEvaluation,
    ::testing::Values(
        EvaluationCase{"WarningForListedWindows7", {"6.1"}, {"6.1", "6.0"}, "Block=0", "6.1", false, 1, true, true,
                       "Windows 7 support ends soon", "Switch to Windows 10 before the next release."},
        EvaluationCase{"BlockForListedWindows7", {}, {"6.1"}, "Block=1", "6.1", false, 2, true, false,
                       "Windows 7 is no longer supported", "Switch to Windows 10 to keep Tallyworks up to date."},
        EvaluationCase{"ServerListDoesNotHoldAWorkstation", {"6.1"}, {"6.0"}, "Block=1", "6.1", false, 0, false,
                       false, "", ""},
        EvaluationCase{"ClientListDoesNotHoldAServer", {"6.0"}, {"6.1"}, "Block=1", "6.1", true, 0, false, false, "",
                       ""},
        EvaluationCase{"ServerListHoldsAServer", {"6.1"}, {}, "Block=1", "6.1", true, 2, true, false,
                       "Windows Server 2008 R2 is no longer supported", "Learn more to keep Tallyworks up to date."},
        EvaluationCase{"ServerWarningTexts", {"6.1"}, {}, "Block=0", "6.1", true, 1, true, true,
                       "Windows Server 2008 R2 support ends soon", "Learn more before the next release."},
        EvaluationCase{"Windows10KeyNeedsItsRelease", {}, {"10.0", "6.1"}, "Block=1", "10.0_1909", false, 0, false,
                       false, "", ""},
        EvaluationCase{"Windows10ReleaseListed", {}, {"10.0_1909"}, "Block=0", "10.0_1909", false, 1, true, true,
                       "Windows 7 support ends soon", "Switch to Windows 10 before the next release."},
        EvaluationCase{"AllowWithoutMessage", {}, {"6.1"}, "Block=-1", "6.1", false, 0, false, false, "", ""},
        EvaluationCase{"NoVerdictLine", {}, {"6.1"}, "", "6.1", false, 3, false, false, "", ""},
        EvaluationCase{"EmptyVerdictIsUnknown", {}, {"6.1"}, "Block=", "6.1", false, 0, false, false, "", ""},
        EvaluationCase{"LongerVerdictIsUnknown", {}, {"6.1"}, "Block=10", "6.1", false, 0, false, false, "", ""},
        EvaluationCase{"OtherKeyIsNotTheVerdict", {}, {"6.1"}, "Blocked=1", "6.1", false, 3, false, false, "", ""}),
    [](const ::testing::TestParamInfo<EvaluationCase>& p) { return std::string(p.param.name); });

TEST(SupportEvaluationText, ListsAreTheLinesOfTheirSections) {
    Evaluation e = COSSupportGate::Evaluate(ConfigText({"6.0", "6.1"}, {"6.1", "10.0_1909"}, "Block=1", kMessages),
                                            "6.3", false, "");
    EXPECT_EQ((std::vector<std::string>{"6.0", "6.1"}), e.serverList);
    // The end marker is collected with the client list, as the file's readers always did.
    EXPECT_EQ((std::vector<std::string>{"6.1", "10.0_1909", "[Message_Block]"}), e.clientList);
}

TEST(SupportEvaluationText, ServerReplacementsApplyToEveryText) {
    Evaluation e = COSSupportGate::Evaluate(
        ConfigText({"6.1"}, {}, "Block=0",
                   "[Message_Nudge_Patch]\r\nH=Windows 7 and Windows 10\r\nT1=Switch to Windows 10\r\n"
                   "T2=Windows 7, Windows 7\r\nT3=x\r\nT4=y\r\n"),
        "6.1", true, "Windows Server 2008R2");
    EXPECT_EQ("Windows Server 2008R2 and latest Windows Server", e.texts[0]);
    EXPECT_EQ("Learn more", e.texts[1]);
    EXPECT_EQ("Windows Server 2008R2, Windows Server 2008R2", e.texts[2]);
    // On a workstation the texts stay as written.
    e = COSSupportGate::Evaluate(ConfigText({}, {"6.1"}, "Block=0", "[Message_Nudge_Patch]\r\nT=Switch to Windows 10\r\n"),
                                 "6.1", false, "Windows 7");
    EXPECT_EQ("Switch to Windows 10", e.texts[0]);
}

TEST(SupportEvaluationText, MessageLinesAreReadWithinTheText) {
    // A text between two "=" ends at the second; a section cut short leaves the rest empty.
    Evaluation e = COSSupportGate::Evaluate(
        ConfigText({}, {"6.1"}, "Block=0", "[Message_Nudge_Patch]\r\nHeading=a=b\r\nText1=no end"), "6.1", false, "");
    EXPECT_EQ(1, e.status);
    EXPECT_EQ("a", e.texts[0]);
    EXPECT_EQ("no end", e.texts[1]);
    EXPECT_EQ("", e.texts[2]);
    EXPECT_EQ("", e.texts[4]);
    // Lines without "=" give empty texts; a missing section gives a message without texts.
    e = COSSupportGate::Evaluate(ConfigText({}, {"6.1"}, "Block=1", "[Message_Block_Patch]\r\nplain\r\n"), "6.1",
                                 false, "");
    EXPECT_EQ(2, e.status);
    EXPECT_EQ("", e.texts[0]);
    e = COSSupportGate::Evaluate(ConfigText({}, {"6.1"}, "Block=1", ""), "6.1", false, "");
    EXPECT_EQ(2, e.status);
    EXPECT_TRUE(e.hasMessage);
    EXPECT_EQ("", e.texts[0]);
}

TEST(SupportEvaluationText, EmptyOrForeignTextHasNoVerdict) {
    for (const char* text : {"", "\r\n\r\n", "<html><body>Not Found</body></html>", "Block", "[Message_Block]\r\n"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(3, COSSupportGate::Evaluate(text, "6.1", false, "").status);
    }
}

// ---- Windows version text and key ----------------------------------------------------------

RTL_OSVERSIONINFOEXW Record(DWORD major, DWORD minor, BYTE productType = VER_NT_WORKSTATION, WORD suite = 0) {
    RTL_OSVERSIONINFOEXW r = {};
    r.dwOSVersionInfoSize = sizeof(r);
    r.dwMajorVersion = major;
    r.dwMinorVersion = minor;
    r.wProductType = productType;
    r.wSuiteMask = suite;
    return r;
}

TEST(SupportWindowsVersion, TextFromTheWorkstationInfoElseTheVersionRecord) {
    WKSTA_INFO_100 info = {};
    info.wki100_ver_major = 6;
    info.wki100_ver_minor = 1;
    EXPECT_EQ("6.1", COSSupportGate::VersionTextFrom(&info, Record(10, 0)));
    EXPECT_EQ("10.0", COSSupportGate::VersionTextFrom(nullptr, Record(10, 0)));
    EXPECT_EQ("6.0", COSSupportGate::VersionTextFrom(nullptr, Record(6, 0)));
}

TEST(SupportWindowsVersion, RealTextMatchesTheVersionRecord) {
    RTL_OSVERSIONINFOEXW r;
    ASSERT_TRUE(tw::COSInfo::GetVersionRecord(r));
    EXPECT_EQ(std::to_string(r.dwMajorVersion) + "." + std::to_string(r.dwMinorVersion),
              COSSupportGate::GetWindowsVersionText());
}

TEST(SupportWindowsVersion, KeyOfWindows10CarriesTheRelease) {
    EXPECT_EQ("6.1", COSSupportGate::BuildWindowsKey("6.1", false, "1909"));
    EXPECT_EQ("10.0_1909", COSSupportGate::BuildWindowsKey("10.0", true, "1909"));
    EXPECT_EQ("10.0_2009", COSSupportGate::BuildWindowsKey("10.0", true, "20091"));
    EXPECT_EQ("10.0_NA", COSSupportGate::BuildWindowsKey("10.0", true, "NA"));
}

TEST(SupportWindowsVersion, SmallBusinessServer2008IsNeverHeld) {
    struct Case {
        RTL_OSVERSIONINFOEXW record;
        DWORD productInfo;
        bool expected;
    } cases[] = {
        {Record(6, 1, VER_NT_SERVER), 9, true},
        {Record(6, 0, VER_NT_SERVER), 25, true},
        {Record(6, 1, VER_NT_SERVER, VER_SUITE_ENTERPRISE), 38, true},
        {Record(6, 1, VER_NT_DOMAIN_CONTROLLER, VER_SUITE_DATACENTER), 50, true},
        {Record(6, 1, VER_NT_SERVER), 7, false},        // a standard server
        {Record(6, 1, VER_NT_WORKSTATION), 9, false},   // not a server
        {Record(6, 2, VER_NT_SERVER), 9, false},        // a later family
        {Record(10, 0, VER_NT_SERVER), 25, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.record.dwMajorVersion) + "." + std::to_string(c.record.dwMinorVersion) + " type " +
                     std::to_string(c.productInfo));
        EXPECT_EQ(c.expected, COSSupportGate::IsSmallBusinessServer2008(c.record, c.productInfo));
    }
    EXPECT_EQ("WinServer2008_Datacenter", COSSupportGate::ServerNameOf(Record(6, 0, VER_NT_SERVER, VER_SUITE_DATACENTER)));
    EXPECT_EQ("WinServer2008_Enterprise", COSSupportGate::ServerNameOf(Record(6, 1, VER_NT_SERVER, VER_SUITE_ENTERPRISE)));
    EXPECT_EQ("WinServer2008", COSSupportGate::ServerNameOf(Record(6, 1, VER_NT_SERVER)));
    EXPECT_EQ("", COSSupportGate::ServerNameOf(Record(6, 1, VER_NT_WORKSTATION)));
}

// ---- The download, against a loopback server ----------------------------------------------

// Short bounds, so the misbehaving servers cost a few seconds only.
CSupportConfigDownload::Bounds TestBounds() {
    CSupportConfigDownload::Bounds b;
    b.connectTimeoutMs = b.sendTimeoutMs = b.receiveTimeoutMs = 2000;
    b.deadlineMs = 4000;
    b.maxBytes = 64 * 1024;
    return b;
}

// A configuration longer than several read chunks, its verdict and warning beyond the first.
std::string LongConfig(const std::string& key) {
    std::string text = "[OSList_Server]\r\n[OSList]\r\n";
    for (int i = 0; text.size() < 4990; ++i) text += "9." + std::to_string(i) + "\r\n";
    text += key + "\r\n[Message_Block]\r\n";
    text += "Block=0\r\n";
    text += kMessages;
    while (text.size() < 14000) text += "; padding line of the maker's file\r\n";
    return text;
}

class SupportDownload : public ::testing::Test {
protected:
    twtest::SeamGuard guard;
};

TEST_F(SupportDownload, ServedFileArrivesUnchanged) {
    twtest::LoopbackServer server;
    ASSERT_TRUE(server.Ready());
    const std::string config = LongConfig("6.1");
    ASSERT_TRUE(server.Put("http.veltra/Downloads/config.ini", config));
    std::string text, error;
    EXPECT_EQ(CSupportConfigDownload::Result::kOk,
              CSupportConfigDownload::Fetch(server.Url("//http.veltra//Downloads//config.ini").c_str(), TestBounds(),
                                            text, error))
        << error;
    EXPECT_EQ(config.size(), text.size());
    EXPECT_TRUE(text == config);
}

struct MisbehaviourCase {
    const char* mode;
    CSupportConfigDownload::Result result;
};

TEST_F(SupportDownload, MisbehavingServersEndWithinTheBounds) {
    const MisbehaviourCase cases[] = {
        {"notfound", CSupportConfigDownload::Result::kHttpStatus},
        {"hang", CSupportConfigDownload::Result::kOpenFailed},
        {"trickle", CSupportConfigDownload::Result::kDeadline},
        {"endless", CSupportConfigDownload::Result::kTooLarge},
        {"drop", CSupportConfigDownload::Result::kHttpStatus},  // Wine: a request without status
    };
    for (const MisbehaviourCase& c : cases) {
        SCOPED_TRACE(c.mode);
        twtest::LoopbackServer::Options misbehaving;
        misbehaving.mode = c.mode;
        twtest::LoopbackServer server(misbehaving);
        ASSERT_TRUE(server.Ready());
        std::string text = "stale", error;
        const ULONGLONG start = ::GetTickCount64();
        EXPECT_EQ(c.result, CSupportConfigDownload::Fetch(server.Url("/config.ini").c_str(), TestBounds(), text, error))
            << error;
        const ULONGLONG elapsed = ::GetTickCount64() - start;
        EXPECT_LT(elapsed, 4000u + 2000u + 1500u) << error;  // deadline, one read's time-out, slack
        EXPECT_EQ("", text);
        EXPECT_FALSE(error.empty());
    }
}

TEST_F(SupportDownload, OnlyHttpsIsFetched) {
    twtest::LoopbackServer::Options plain;
    plain.tls = false;
    twtest::LoopbackServer server(plain);
    ASSERT_TRUE(server.Ready());
    ASSERT_TRUE(server.Put("config.ini", LongConfig("6.1")));
    std::string text, error;
    EXPECT_EQ(CSupportConfigDownload::Result::kNotHttps,
              CSupportConfigDownload::Fetch(server.Url("/config.ini").c_str(), TestBounds(), text, error));
    EXPECT_EQ("", text);
    // The maker's addresses are HTTPS ones.
    EXPECT_EQ(0u, std::string(tw::product::kOsSupportConfigUrl).find("https://"));
    EXPECT_EQ(0u, std::string(tw::product::kOsSupportConfigTestUrl).find("https://"));
}

TEST_F(SupportDownload, ClosedPortFailsToOpen) {
    std::string text = "stale", error;
    EXPECT_EQ(CSupportConfigDownload::Result::kOpenFailed,
              CSupportConfigDownload::Fetch("https://127.0.0.1:1/config.ini", TestBounds(), text, error));
    EXPECT_EQ("", text);
}

// ---- The gate as a whole --------------------------------------------------------------------

class SupportGateRun : public ::testing::Test {
protected:
    twtest::SeamGuard guard;
};

TEST_F(SupportGateRun, WarningFromAFileSplitAcrossChunks) {
    twtest::LoopbackServer server;
    ASSERT_TRUE(server.Ready());
    const std::string version = COSSupportGate::GetWindowsVersionText();
    const std::string key = COSSupportGate::GetWindowsKey(version);
    ASSERT_TRUE(server.Put("config.ini", LongConfig(key)));
    COSSupportGate gate;
    gate.Run(version.c_str(), server.Url("/config.ini").c_str(), TestBounds());
    if (tw::COSInfo::IsServer()) {
        EXPECT_EQ(0, gate.GetStatus());  // listed for client Windows only
        return;
    }
    EXPECT_EQ(1, gate.GetStatus());
    EXPECT_EQ(key, gate.GetWindowsKeyUsed());
    EXPECT_TRUE(tw::CRunState::Get().gateAllowedWithMessage);
    const tw::COSSupportMessage& message = tw::COSSupportMessage::Get();
    EXPECT_EQ("Windows 7 support ends soon", message.Text(0));
    EXPECT_EQ("Tallyworks will stop updating on Windows 7.", message.Text(1));
    EXPECT_EQ("Click Continue to go on.", message.Text(4));
    EXPECT_EQ(key, gate.GetClientList()[gate.GetClientList().size() - 2]);
}

TEST_F(SupportGateRun, EveryFailureEndsInStatus3) {
    twtest::LoopbackServer::Options notFoundMode;
    notFoundMode.mode = "notfound";
    twtest::LoopbackServer notFound(notFoundMode);
    twtest::LoopbackServer served;
    ASSERT_TRUE(notFound.Ready());
    ASSERT_TRUE(served.Ready());
    ASSERT_TRUE(served.Put("noverdict.ini", "[OSList_Server]\r\n[OSList]\r\n6.1\r\n[Message_Block]\r\n"));
    const std::string urls[] = {notFound.Url("/config.ini"), served.Url("/noverdict.ini"), served.Url("/missing.ini"),
                                "https://127.0.0.1:1/config.ini", "http://localhost/config.ini", "not a url"};
    for (const std::string& url : urls) {
        SCOPED_TRACE(url);
        // Set as a warning of an earlier verdict left it: status 3 clears it.
        tw::CRunState::Get().gateAllowedWithMessage = true;
        COSSupportGate gate;
        gate.Run("6.1", url.c_str(), TestBounds());
        EXPECT_EQ(3, gate.GetStatus());
        EXPECT_FALSE(tw::CRunState::Get().gateAllowedWithMessage);
    }
}

}  // namespace
