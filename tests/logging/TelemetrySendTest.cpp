// Real posts over HTTPS to the loopback test server on 127.0.0.1:443 (the sender's port is
// fixed), with its certificate for "localhost" issued by the test root the prefix trusts.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/LoopbackServer.h"
#include "common/TestSupport.h"
#include "logging/InstallTracker.h"
#include "logging/StatusLogMgr.h"
#include "logging/TelemetryEndpointConfig.h"

using tw::TelemetryEndpointConfig;
using tw::TrackingMessage;
using twtest::JsonHeader;
using twtest::JsonString;

namespace {

const char kConfigFolder[] = "http.veltra\\TWDT_Files\\Splunk\\";

// Bounds for the tests: short, so that a bounded failure shows quickly.
TelemetryEndpointConfig::Limits TestLimits() {
    TelemetryEndpointConfig::Limits limits;
    limits.connectTimeoutMs = 2000;
    limits.sendTimeoutMs = 2000;
    limits.receiveTimeoutMs = 2000;
    limits.configDeadlineMs = 4000;
    limits.postDeadlineMs = 3000;
    return limits;
}

// A configuration whose channels post to "<base>/led" and "<base>/track" on localhost;
// the test environment's base is testBase, production's prodBase.
std::string Config(const std::string& testBase, const std::string& prodBase, const char* ledEnable = "true",
                   const char* trackEnable = "true") {
    auto channel = [&](const char* name, const char* enable, const char* token, const char* leaf,
                       const char* headerName) {
        return std::string("<") + name + "><enable>" + enable + "</enable><token>" + token + "</token>" +
               "<perf><loc>localhost</loc><endpoint>" + testBase + "/" + leaf + "</endpoint><header>" + headerName +
               ": test</header></perf>" + "<prod><loc>localhost</loc><endpoint>" + prodBase + "/" + leaf +
               "</endpoint><header>" + headerName + ": prod</header></prod></" + name + ">";
    };
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><SplunkConfig>" +
           channel("LED", ledEnable, "led-token", "led", "X-Led-Env") +
           channel("Track", trackEnable, "track-token", "track", "X-Track-Env") + "</SplunkConfig>";
}

// The patch log's whole text.
std::string PatchLogText() {
    char path[MAX_PATH] = {};
    tw::StatusLogMgr::GetLogPath(path, sizeof(path));
    std::string text;
    if (FILE* f = std::fopen(path, "rb")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) text.append(buf, n);
        std::fclose(f);
    }
    return text;
}

double Seconds(DWORD start) { return (GetTickCount() - start) / 1000.0; }

class TelemetrySendTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        twtest::LoopbackServer::Options options;
        options.port = 443;
        options.lifetimeSeconds = 240;
        options.rules = {"/hang=hang", "/trickle=trickle", "/endless=endless", "/notfound=notfound", "/stall=stall"};
        server = new twtest::LoopbackServer(options);
        started = server->Ready();
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(started) << "the loopback server did not start on 127.0.0.1:443"; }

    // Serves a configuration under a name of its own; returns its address in the form the
    // product uses (doubled slashes).
    std::string ServeConfig(const std::string& name, const std::string& xml) {
        EXPECT_TRUE(server->Put(kConfigFolder + name, xml));
        return "https://localhost//http.veltra//TWDT_Files//Splunk//" + name;
    }

    // Recorded posts whose path begins with prefix.
    std::vector<std::string> Posts(const std::string& prefix) {
        std::vector<std::string> out;
        for (const std::string& line : server->RecordedPosts())
            if (JsonString(line, "path").compare(0, prefix.size(), prefix) == 0) out.push_back(line);
        return out;
    }

    TrackingMessage Message(const char* text, bool isError, const char* serverValue = "PROD") {
        tracker.SetServer(serverValue);
        TrackingMessage m;
        tracker.BuildMessage(text, isError, {}, m);
        m.osFields = "OS=\"64 Bit Windows10\"&";
        return m;
    }

    static twtest::LoopbackServer* server;
    static bool started;
    twtest::SeamGuard guard;
    tw::InstallTracker& tracker = tw::InstallTracker::Instance();
};

twtest::LoopbackServer* TelemetrySendTest::server = nullptr;
bool TelemetrySendTest::started = false;

TEST_F(TelemetrySendTest, PostsToTheEndpointOfTheServerValue) {
    tracker.SetConfigUrl(ServeConfig("environments.xml", Config("/env/test", "/env/prod")));
    tracker.SetLimits(TestLimits());
    tracker.SetSender(nullptr);  // the built-in sender
    tracker.SetCountry("US");
    tracker.SetSlipStream("4007");
    tracker.SetPrevSlipStream("R5");
    tracker.SetMajorVersion(28);
    tracker.SetSKU("ALL");
    tracker.SetOSFields("OS=\"64 Bit Windows10\"&OS_BUILD_NUMBER=19045&");
    const std::string hostile = "C:\\Program Files\\A & B\\x=1+2%\"\xE9";
    struct Case {
        const char* server;
        const char* environment;
    };
    const Case cases[] = {{"PDS", "test"}, {"PROD", "prod"}, {"", "prod"}, {"pds", "test"}};
    for (const Case& c : cases) {
        tracker.SetServer(c.server);
        tracker.SendTrackingMessage(1603, ("Patch: failed in " + hostile).c_str(), true);
        tracker.SendTrackingMessage(0, "Patch Installation Success\"", false);
    }
    EXPECT_TRUE(tracker.IsConfigurationLoaded());
    std::vector<std::string> posts = Posts("/env/");
    ASSERT_EQ(8u, posts.size());
    std::set<std::string> tids;
    for (size_t i = 0; i < posts.size(); ++i) {
        const Case& c = cases[i / 2];
        bool isError = i % 2 == 0;
        const std::string& post = posts[i];
        SCOPED_TRACE(post);
        EXPECT_EQ(std::string("/env/") + c.environment + (isError ? "/led" : "/track"), JsonString(post, "path"));
        EXPECT_EQ("application/x-www-form-urlencoded", JsonHeader(post, "Content-Type"));
        EXPECT_EQ(c.environment, JsonHeader(post, isError ? "X-Led-Env" : "X-Track-Env"));
        EXPECT_EQ("", JsonHeader(post, "Cookie"));
        std::string body = JsonString(post, "body");
        std::string head = isError ? "appname=\"twdt\"&appcontext=\"led\"&scenario=\"\"&message=\"\"&"
                                     "messagetype=\"Error\"&token=led-token&tid=\""
                                   : "appname=\"twdt\"&appcontext=\"InstallTracker\"&scenario=\"\"&message=\"\"&"
                                     "messagetype=\"Info\"&token=track-token&tid=\"";
        ASSERT_EQ(0u, body.find(head));
        tids.insert(body.substr(head.size(), 36));
        std::string tail =
            std::string("\"&ProjectName=\"TWDTInstaller\"&OS=\"64+Bit+Windows10\"&OS_BUILD_NUMBER=19045&") +
            (isError ? "& ErrorMessage=\"Patch%3A+failed+in+C%3A%5CProgram+Files%5CA+%26+B%5Cx%3D1%2B2%25%22%E9\"&"
                     : "& TrackingMessage=\"Patch+Installation+Success%22\"&") +
            " SlipStream=\"4007\"& PrevSlipStream=\"R5\"& MajorVer=\"28\"& SKU=\"CDSTD\"& Country=\"US\"";
        EXPECT_EQ(tail, body.substr(head.size() + 36));
    }
    EXPECT_EQ(8u, tids.size());
}

TEST_F(TelemetrySendTest, DisabledChannelSendsNothing) {
    TelemetryEndpointConfig sender;
    sender.SetConfigUrl(ServeConfig("track-off.xml", Config("/off/test", "/off/prod", "true", "TRUE")));
    sender.SetLimits(TestLimits());
    tracker.SetCountry("US");
    EXPECT_FALSE(sender.Send(Message("not sent", false)));
    EXPECT_TRUE(sender.Send(Message("sent", true)));
    std::vector<std::string> posts = Posts("/off/");
    ASSERT_EQ(1u, posts.size());
    EXPECT_EQ("/off/prod/led", JsonString(posts[0], "path"));
}

TEST_F(TelemetrySendTest, OnlyASuccessStatusCountsAsSent) {
    TelemetryEndpointConfig sender;
    sender.SetConfigUrl(ServeConfig("rejected.xml", Config("/notfound/test", "/notfound/prod")));
    sender.SetLimits(TestLimits());
    tracker.SetCountry("US");
    EXPECT_FALSE(sender.Send(Message("rejected", true)));
    // A refusal is about the message, not the endpoint: the channel stays in use.
    EXPECT_TRUE(sender.IsErrorChannelEnabled());
}

TEST_F(TelemetrySendTest, SilentOrTricklingEndpointDoesNotHoldTheRun) {
    const TelemetryEndpointConfig::Limits limits = TestLimits();
    // The longest a post may keep the caller: its deadline, and a little.
    const double bound = limits.postDeadlineMs / 1000.0 + 3.0;
    for (const char* mode : {"hang", "trickle"}) {
        SCOPED_TRACE(mode);
        TelemetryEndpointConfig sender;
        sender.SetConfigUrl(ServeConfig(std::string(mode) + ".xml",
                                        Config(std::string("/") + mode + "/test", std::string("/") + mode + "/prod")));
        sender.SetLimits(limits);
        ASSERT_TRUE(sender.LoadConfiguration());
        tracker.SetCountry("US");
        DWORD start = GetTickCount();
        EXPECT_FALSE(sender.Send(Message("bounded", true)));
        double took = Seconds(start);
        EXPECT_LT(took, bound);
        std::printf("%s endpoint: the post gave up after %.1f s\n", mode, took);
    }
}

TEST_F(TelemetrySendTest, UnreachableEndpointCostsOneTimeOut) {
    const TelemetryEndpointConfig::Limits limits = TestLimits();
    TelemetryEndpointConfig sender;
    sender.SetConfigUrl(ServeConfig("unreachable.xml", Config("/hang/test", "/env2/prod")));
    sender.SetLimits(limits);
    ASSERT_TRUE(sender.LoadConfiguration());
    tracker.SetCountry("US");
    DWORD start = GetTickCount();
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(sender.Send(Message("lost", true, "PDS")));
    double took = Seconds(start);
    // The first one waits for its time-out (or the deadline), the others do not wait.
    EXPECT_GE(took, limits.receiveTimeoutMs / 1000.0 - 0.5);
    EXPECT_LT(took, limits.postDeadlineMs / 1000.0 + 3.0);
    EXPECT_FALSE(sender.IsErrorChannelEnabled());
    // The other channel is not affected.
    EXPECT_TRUE(sender.Send(Message("still sent", false)));
    EXPECT_EQ(1u, Posts("/env2/prod/track").size());
    std::printf("four messages to a silent endpoint took %.1f s\n", took);
}

TEST_F(TelemetrySendTest, BadOrMissingConfigurationDisablesBothChannels) {
    const TelemetryEndpointConfig::Limits limits = TestLimits();
    const double bound = limits.configDeadlineMs / 1000.0 + 3.0;
    ServeConfig("good.xml", Config("/x/test", "/x/prod"));
    struct Case {
        const char* what;
        std::string url;
    };
    const Case cases[] = {
        {"no server", "https://127.0.0.1:9//http.veltra//TWDT_Files//Splunk//SplunkConfig.xml"},
        {"missing (404)", "https://localhost//http.veltra//TWDT_Files//Splunk//missing.xml"},
        {"silent server", "https://localhost/hang/http.veltra/TWDT_Files/Splunk/good.xml"},
        {"trickling server", "https://localhost/trickle/http.veltra/TWDT_Files/Splunk/good.xml"},
        {"endless document", "https://localhost/endless/http.veltra/TWDT_Files/Splunk/good.xml"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TelemetryEndpointConfig sender;
        sender.SetConfigUrl(c.url);
        sender.SetLimits(limits);
        DWORD start = GetTickCount();
        EXPECT_FALSE(sender.LoadConfiguration());
        double took = Seconds(start);
        EXPECT_LT(took, bound);
        EXPECT_FALSE(sender.IsErrorChannelEnabled());
        EXPECT_FALSE(sender.IsTrackingChannelEnabled());
        std::printf("configuration %s: given up after %.1f s\n", c.what, took);
    }
    // The same configuration from a good address loads.
    TelemetryEndpointConfig sender;
    sender.SetConfigUrl("https://localhost//http.veltra//TWDT_Files//Splunk//good.xml");
    sender.SetLimits(limits);
    EXPECT_TRUE(sender.LoadConfiguration());
    EXPECT_TRUE(sender.IsErrorChannelEnabled());
    EXPECT_TRUE(sender.IsTrackingChannelEnabled());
}

// The endpoint configuration is loaded when the tracker is first used (as the run does when
// it hands the tracker its context), not when the first message is sent.
TEST_F(TelemetrySendTest, ConfigurationIsLoadedWhenTheTrackerIsFirstUsed) {
    const std::string saved = TelemetryEndpointConfig::GetDefaultConfigUrl();
    TelemetryEndpointConfig::SetDefaultConfigUrl(ServeConfig("first-use.xml", Config("/first/test", "/first/prod")));
    tracker.ResetEndpointConfig();
    EXPECT_FALSE(tracker.IsConfigurationLoaded());
    tw::InstallTracker& used = tw::InstallTracker::Instance();
    EXPECT_TRUE(used.IsConfigurationLoaded());
    EXPECT_TRUE(used.IsErrorChannelEnabled());
    EXPECT_TRUE(used.IsTrackingChannelEnabled());
    EXPECT_TRUE(Posts("/first/").empty());
    TelemetryEndpointConfig::SetDefaultConfigUrl(saved);
    tracker.ResetEndpointConfig();
}

// A header text with a line break (written literally or as character references) would add
// headers to the request or split it: that channel is not used; the other one still posts.
TEST_F(TelemetrySendTest, HeaderWithALineBreakDisablesItsChannel) {
    const char* const breaks[] = {"&#13;&#10;", "&#10;", "\r\n"};
    int n = 0;
    for (const char* lineBreak : breaks) {
        SCOPED_TRACE(lineBreak);
        const std::string base = "/crlf" + std::to_string(++n);
        std::string xml = Config(base + "/test", base + "/prod");
        const std::string clean = "<header>X-Led-Env: prod</header>";
        const size_t at = xml.find(clean);
        ASSERT_NE(std::string::npos, at);
        xml.replace(at, clean.size(),
                    std::string("<header>X-Led-Env: prod") + lineBreak + "X-Injected: yes" + lineBreak +
                        "Content-Length: 0" + lineBreak + lineBreak + "</header>");
        TelemetryEndpointConfig sender;
        sender.SetConfigUrl(ServeConfig("crlf" + std::to_string(n) + ".xml", xml));
        sender.SetLimits(TestLimits());
        EXPECT_TRUE(sender.LoadConfiguration());
        EXPECT_FALSE(sender.IsErrorChannelEnabled());
        EXPECT_TRUE(sender.IsTrackingChannelEnabled());
        tracker.SetCountry("US");
        EXPECT_FALSE(sender.Send(Message("split?", true)));
        EXPECT_TRUE(sender.Send(Message("whole", false)));
        const std::vector<std::string> posts = Posts(base + "/");
        ASSERT_EQ(1u, posts.size());
        EXPECT_EQ(base + "/prod/track", JsonString(posts[0], "path"));
        EXPECT_EQ("", JsonHeader(posts[0], "X-Injected"));
    }
}

// Telemetry never writes into the patch log: not a configuration that cannot be loaded or
// is refused, not a failed post, not a channel given up.
TEST_F(TelemetrySendTest, NoTelemetryFailureIsWrittenToThePatchLog) {
    const std::string before = PatchLogText();
    tracker.SetCountry("US");
    const std::string urls[] = {
        "https://127.0.0.1:9//http.veltra//TWDT_Files//Splunk//SplunkConfig.xml",  // no server
        "https://localhost//http.veltra//TWDT_Files//Splunk//missing.xml",         // 404
        ServeConfig("not-xml.xml", "<SplunkConfig><LED>"),                         // refused
    };
    for (const std::string& url : urls) {
        TelemetryEndpointConfig sender;
        sender.SetConfigUrl(url);
        sender.SetLimits(TestLimits());
        EXPECT_FALSE(sender.LoadConfiguration());
        EXPECT_FALSE(sender.LastFailure().empty());
    }
    TelemetryEndpointConfig sender;  // a refused post, and a channel given up
    sender.SetConfigUrl(ServeConfig("log-quiet.xml", Config("/notfound/test", "/hang/prod")));
    sender.SetLimits(TestLimits());
    ASSERT_TRUE(sender.LoadConfiguration());
    EXPECT_FALSE(sender.Send(Message("refused", true, "PDS")));
    EXPECT_FALSE(sender.Send(Message("unreachable", false, "PROD")));
    EXPECT_FALSE(sender.IsTrackingChannelEnabled());
    EXPECT_EQ(before, PatchLogText());
}

// A server that sends its headers and then nothing is given up by the idle bound even when
// the deadline is far away.
TEST_F(TelemetrySendTest, StalledConfigurationEndsAtTheIdleBound) {
    ServeConfig("stalled.xml", Config("/x/test", "/x/prod"));
    TelemetryEndpointConfig::Limits limits = TestLimits();
    limits.idleMs = 2000;
    limits.receiveTimeoutMs = 30000;
    limits.configDeadlineMs = 60000;
    TelemetryEndpointConfig sender;
    sender.SetConfigUrl("https://localhost/stall/http.veltra/TWDT_Files/Splunk/stalled.xml");
    sender.SetLimits(limits);
    DWORD start = GetTickCount();
    EXPECT_FALSE(sender.LoadConfiguration());
    std::printf("stalled configuration: given up after %.1f s\n", Seconds(start));
    EXPECT_LT(Seconds(start), 20.0);
    EXPECT_FALSE(sender.IsErrorChannelEnabled());
}

}  // namespace
