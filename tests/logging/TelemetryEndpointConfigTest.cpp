#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "common/TestSupport.h"
#include "logging/FormEncoding.h"
#include "logging/BoundedHttpRequest.h"
#include "logging/InstallTracker.h"
#include "logging/TelemetryEndpointConfig.h"
#include "logging/XmlElementTree.h"

using tw::FormEncoding;
using tw::TelemetryEndpointConfig;
using tw::TrackingMessage;

namespace {

std::string Describe(const TelemetryEndpointConfig::Endpoint& e) { return e.host + "|" + e.path + "|" + e.header; }

// Everything the walk sets, in one line.
std::string Describe(const TelemetryEndpointConfig& c) {
    return std::string("LED ") + (c.IsErrorChannelEnabled() ? "on" : "off") + " token=" + c.GetErrorToken() +
           " test=" + Describe(c.GetEndpoint(true, "PDS")) + " prod=" + Describe(c.GetEndpoint(true, "PROD")) +
           "; Track " + (c.IsTrackingChannelEnabled() ? "on" : "off") + " token=" + c.GetTrackingToken() +
           " test=" + Describe(c.GetEndpoint(false, "PDS")) + " prod=" + Describe(c.GetEndpoint(false, "")) +
           "; kill-switch-clear=" + (c.IsKillSwitchClear() ? "1" : "0");
}

const char kOff[] = "LED off token= test=|| prod=||; Track off token= test=|| prod=||; kill-switch-clear=0";

const char kFullConfig[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<SplunkConfig>\n"
    "  <LED>\n"
    "    <enable>true</enable>\n"
    "    <token>led-token</token>\n"
    "    <perf><loc>perf.example</loc><endpoint>/services/led-test</endpoint><header>X-Env: test</header></perf>\n"
    "    <prod><loc>prod.example</loc><endpoint>/services/led</endpoint><header>X-Env: prod</header></prod>\n"
    "  </LED>\n"
    "  <Track>\n"
    "    <enable>true</enable>\n"
    "    <token>track-token</token>\n"
    "    <perf><loc>tperf.example</loc><endpoint>/t/test</endpoint><header>X-T: 1</header></perf>\n"
    "    <prod><loc>tprod.example</loc><endpoint>/t/prod</endpoint><header>X-T: 2</header></prod>\n"
    "  </Track>\n"
    "</SplunkConfig>\n";

const char kFullDescribed[] =
    "LED on token=led-token test=perf.example|/services/led-test|X-Env: test "
    "prod=prod.example|/services/led|X-Env: prod; "
    "Track on token=track-token test=tperf.example|/t/test|X-T: 1 prod=tprod.example|/t/prod|X-T: 2; "
    "kill-switch-clear=0";

std::string Nested(int depth) {
    std::string open, close;
    for (int i = 0; i < depth; ++i) {
        open += "<a>";
        close += "</a>";
    }
    return open + close;
}

TEST(TelemetryConfigWalk, DocumentsTable) {
    struct Case {
        const char* what;
        std::string xml;
        bool parses;
        std::string described;
    };
    const Case cases[] = {
        {"both channels, both environments", kFullConfig, true, kFullDescribed},
        {"enable is compared exactly", "<c><LED><enable>TRUE</enable></LED><Track><enable>True</enable></Track></c>",
         true, kOff},
        {"enable without text keeps the channel as it was",
         "<c><LED><enable>true</enable><enable/></LED><Track><enable>false</enable></Track></c>", true,
         "LED on token= test=|| prod=||; Track off token= test=|| prod=||; kill-switch-clear=0"},
        {"channel and environment carry over to later elements",
         "<c><perf><LED><loc>a</loc></LED><Track><loc>b</loc></Track></perf><prod><loc>c</loc></prod>"
         "<LED><endpoint>/e</endpoint></LED></c>",
         true, "LED off token= test=a|| prod=|/e|; Track off token= test=b|| prod=c||; kill-switch-clear=0"},
        {"before any channel element: tracking channel, production",
         "<c><loc>x</loc><token>t</token><enable>true</enable></c>", true,
         "LED off token= test=|| prod=||; Track on token=t test=|| prod=x||; kill-switch-clear=0"},
        {"names are case-sensitive", "<c><Led/><ENABLE>true</ENABLE><Enable>true</Enable><Token>t</Token></c>", true,
         kOff},
        {"a later element overrides", "<c><LED><token>one</token><token>two</token></LED></c>", true,
         "LED off token=two test=|| prod=||; Track off token= test=|| prod=||; kill-switch-clear=0"},
        {"kill switch \"true\"", "<c><KILL_SWITCH value=\"true\"/></c>", true, kOff},
        {"kill switch other value", "<c><KILL_SWITCH value=\"off\"/></c>", true,
         "LED off token= test=|| prod=||; Track off token= test=|| prod=||; kill-switch-clear=1"},
        {"kill switch first attribute counts", "<c><KILL_SWITCH a=\"no\" b=\"true\"/></c>", true,
         "LED off token= test=|| prod=||; Track off token= test=|| prod=||; kill-switch-clear=1"},
        {"kill switch without attribute", "<c><KILL_SWITCH>x</KILL_SWITCH></c>", true, kOff},
        {"kill switch children are not read",
         "<c><KILL_SWITCH v=\"true\"><LED><enable>true</enable></LED></KILL_SWITCH></c>", true, kOff},
        {"not well-formed", "<c><LED><enable>true</enable></c>", false, kOff},
        {"not XML at all", "404 Not Found", false, kOff},
        {"empty", "", false, kOff},
        {"internal entity",
         "<?xml version=\"1.0\"?><!DOCTYPE c [<!ENTITY on \"true\">]><c><LED><enable>&on;</enable></LED></c>", false,
         kOff},
        {"external entity",
         "<?xml version=\"1.0\"?><!DOCTYPE c [<!ENTITY ext SYSTEM \"http://127.0.0.1:9/x\">]>"
         "<c><LED><token>&ext;</token><enable>true</enable></LED></c>",
         false, kOff},
        {"external document type",
         "<!DOCTYPE c SYSTEM \"http://127.0.0.1:9/c.dtd\"><c><LED><enable>true</enable></LED></c>", false, kOff},
        {"nested too deep", Nested(100), false, kOff},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TelemetryEndpointConfig config;
        // A document that does not parse disables channels a previous one enabled.
        ASSERT_TRUE(
            config.ApplyConfiguration("<c><LED><enable>true</enable></LED><Track><enable>true</enable></Track></c>"));
        TelemetryEndpointConfig fresh;
        TelemetryEndpointConfig& target = c.parses ? fresh : config;
        EXPECT_EQ(c.parses, target.ApplyConfiguration(c.xml));
        EXPECT_EQ(c.described, Describe(target));
    }
}

TEST(TelemetryConfigWalk, ElementTreeInDocumentOrder) {
    tw::XmlElement root;
    std::string error;
    ASSERT_TRUE(
        tw::XmlElementTree::Parse("<r a=\"1\" b=\"2\"><x>one</x><!-- c --><y><z>two</z></y>tail</r>", root, error))
        << error;
    EXPECT_EQ("r", root.name);
    ASSERT_EQ(2u, root.attributes.size());
    EXPECT_EQ("a", root.attributes[0].first);
    EXPECT_EQ("2", root.attributes[1].second);
    ASSERT_EQ(2u, root.children.size());
    EXPECT_EQ("x", root.children[0].name);
    EXPECT_EQ("one", root.children[0].text);
    EXPECT_EQ("y", root.children[1].name);
    ASSERT_EQ(1u, root.children[1].children.size());
    EXPECT_EQ("two", root.children[1].children[0].text);
    EXPECT_FALSE(tw::XmlElementTree::Parse("<r><x></r>", root, error));
    EXPECT_NE(std::string::npos, error.find("well-formed")) << error;
}

TEST(TelemetryFormEncoding, ValuesTable) {
    struct Case {
        const char* value;
        const char* encoded;
    };
    const Case cases[] = {
        {"", ""},
        {"Abc-09_.*", "Abc-09_.*"},
        {"a b", "a+b"},
        {"a&b=c", "a%26b%3Dc"},
        {"1+1%", "1%2B1%25"},
        {"say \"hi\"", "say+%22hi%22"},
        {"C:\\Program Files\\Tallyworks", "C%3A%5CProgram+Files%5CTallyworks"},
        {"caf\xE9 \xC3\xA9", "caf%E9+%C3%A9"},
        {"line\r\nnext", "line%0D%0Anext"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.encoded, FormEncoding::EncodeValue(c.value)) << c.value;
    EXPECT_EQ("\"a+b%26\"", FormEncoding::EncodeQuotedValue("\"a b&\""));
    EXPECT_EQ("%22x", FormEncoding::EncodeQuotedValue("\"x"));
}

TEST(TelemetryFormEncoding, FieldListTable) {
    struct Case {
        const char* fields;
        const char* encoded;
    };
    const Case cases[] = {
        {"", ""},
        {"OS=\"64 Bit Windows10\"&OS_BUILD_NUMBER=19045&", "OS=\"64+Bit+Windows10\"&OS_BUILD_NUMBER=19045&"},
        {"OS=\"64 Bit Windows7 SP1\"&OS_RELEASE_VERSION=NA&OS_EDITION_NAME=Pro N&"
         "OS_VERSION_CODES=10/0/19045/2/0/0/0000000000000/1&",
         "OS=\"64+Bit+Windows7+SP1\"&OS_RELEASE_VERSION=NA&OS_EDITION_NAME=Pro+N&"
         "OS_VERSION_CODES=10%2F0%2F19045%2F2%2F0%2F0%2F0000000000000%2F1&"},
        // An "&" or "=" inside a value does not start a field of its own.
        {"OS_RELEASE_VERSION=a&b=c&OS_EDITION_NAME=x=y&", "OS_RELEASE_VERSION=a%26b%3Dc&OS_EDITION_NAME=x%3Dy&"},
        {"OS_EDITION_NAME=Pro", "OS_EDITION_NAME=Pro"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.encoded, FormEncoding::EncodeFieldList(c.fields)) << c.fields;
}

// Undoes application/x-www-form-urlencoded for one value.
std::string FormDecode(const std::string& value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '+') {
            out += ' ';
        } else if (value[i] == '%' && i + 2 < value.size()) {
            out += static_cast<char>(std::stoi(value.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += value[i];
        }
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> SplitBody(const std::string& body) {
    std::vector<std::pair<std::string, std::string>> fields;
    size_t pos = 0;
    while (pos <= body.size()) {
        size_t amp = body.find('&', pos);
        if (amp == std::string::npos) amp = body.size();
        std::string piece = body.substr(pos, amp - pos);
        size_t eq = piece.find('=');
        if (!piece.empty())
            fields.emplace_back(piece.substr(0, eq), eq == std::string::npos ? "" : FormDecode(piece.substr(eq + 1)));
        pos = amp + 1;
    }
    return fields;
}

class TelemetryBodyTest : public ::testing::Test {
protected:
    void SetUp() override {
        tracker.SetCountry("US");
        tracker.SetServer("PROD");
        tracker.SetSlipStream("4007");
        tracker.SetPrevSlipStream("R5");
        tracker.SetMajorVersion(28);
        tracker.SetSKU("ALL");
        ASSERT_TRUE(config.ApplyConfiguration(
            "<c><LED><token>led tok&amp;en</token></LED><Track><token>track-token</token></Track></c>"));
    }
    TrackingMessage Message(const char* text, bool isError, const std::string& osFields) {
        TrackingMessage m;
        tracker.BuildMessage(text, isError, {}, m);
        m.osFields = osFields;
        return m;
    }

    twtest::SeamGuard guard;
    tw::InstallTracker& tracker = tw::InstallTracker::Instance();
    TelemetryEndpointConfig config;
};

TEST_F(TelemetryBodyTest, FieldsInOrderWithNewTransactionIds) {
    const std::regex tid("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$");
    struct Case {
        bool isError;
        const char* head;
        const char* message;
    };
    const Case cases[] = {
        {true,
         "appname=\"twdt\"&appcontext=\"led\"&scenario=\"\"&message=\"\"&messagetype=\"Error\"&token=led+tok%26en&tid="
         "\"",
         "& ErrorMessage=\"Patch%3A+apply+failed\"& SlipStream=\"4007\"& PrevSlipStream=\"R5\"& MajorVer=\"28\"&"
         " SKU=\"CDSTD\"& Country=\"US\""},
        {false,
         "appname=\"twdt\"&appcontext=\"InstallTracker\"&scenario=\"\"&message=\"\"&messagetype=\"Info\"&"
         "token=track-token&tid=\"",
         "& TrackingMessage=\"Patch+Installation+Success%22\"& SlipStream=\"4007\"& PrevSlipStream=\"R5\"&"
         " MajorVer=\"28\"& SKU=\"CDSTD\"& Country=\"US\""},
    };
    std::set<std::string> tids;
    for (const Case& c : cases) {
        for (int i = 0; i < 3; ++i) {
            std::string body =
                config.BuildBody(Message(c.isError ? "Patch: apply failed" : "Patch Installation Success\"", c.isError,
                                         "OS=\"64 Bit Windows10\"&OS_BUILD_NUMBER=19045&"));
            ASSERT_EQ(0u, body.find(c.head)) << body;
            std::string rest = body.substr(strlen(c.head));
            size_t quote = rest.find('"');
            ASSERT_NE(std::string::npos, quote) << body;
            std::string id = rest.substr(0, quote);
            EXPECT_TRUE(std::regex_match(id, tid)) << id;
            tids.insert(id);
            EXPECT_EQ(std::string("\"&ProjectName=\"TWDTInstaller\"&OS=\"64+Bit+Windows10\"&OS_BUILD_NUMBER=19045&") +
                          c.message,
                      rest.substr(quote));
        }
    }
    EXPECT_EQ(6u, tids.size());  // every message has its own transaction id
}

TEST_F(TelemetryBodyTest, HostileValuesCannotForgeOrBreakFields) {
    const std::vector<std::string> hostile = {
        "C:\\Program Files\\Tally & Co\\tww.exe",
        "a=b&Country=\"XX\"&SKU=\"forged\"",
        "100%&& SKU=x",
        "100% + 1 = \"two\"",
        "caf\xE9 \xC3\xA9\xC3\xA8 \x01\x7F",
    };
    for (const std::string& text : hostile) {
        SCOPED_TRACE(text);
        tracker.SetSKU(text.c_str());  // SKU stays one of its two texts
        std::string body = config.BuildBody(Message(text.c_str(), true, "OS_EDITION_NAME=x&y=z&"));
        auto fields = SplitBody(body);
        std::vector<std::string> names;
        for (auto& f : fields) names.push_back(f.first);
        const std::vector<std::string> expectedNames = {
            "appname",   "appcontext",  "scenario",        "message",       "messagetype", "token",
            "tid",       "ProjectName", "OS_EDITION_NAME", " ErrorMessage", " SlipStream", " PrevSlipStream",
            " MajorVer", " SKU",        " Country"};
        EXPECT_EQ(expectedNames, names) << body;
        ASSERT_EQ(expectedNames.size(), fields.size());
        EXPECT_EQ("\"" + text + "\"", fields[9].second);  // decodes to the message as it was
        EXPECT_EQ("x&y=z", fields[8].second);
        EXPECT_EQ("\"US\"", fields[14].second);
        for (unsigned char c : body) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << body;  // plain ASCII on the wire
    }
}

// A message or a caller's field value cannot add or cut a field, whatever it holds: each is
// encoded as one value.
TEST_F(TelemetryBodyTest, MessageTextCannotForgeAField) {
    const std::string forged = "x\"& Country=\"CA";
    TrackingMessage m;
    ASSERT_TRUE(tracker.BuildMessage(forged.c_str(), true, {{"InstallType", "Patch:Auto\"& SKU=\"forged"}}, m));
    m.osFields = "";
    auto fields = SplitBody(config.BuildBody(m));
    std::vector<std::string> names;
    for (auto& f : fields) names.push_back(f.first);
    const std::vector<std::string> expectedNames = {"appname",       "appcontext",   "scenario",    "message",
                                                    "messagetype",   "token",        "tid",         "ProjectName",
                                                    " ErrorMessage", " InstallType", " SlipStream", " PrevSlipStream",
                                                    " MajorVer",     " SKU",         " Country"};
    ASSERT_EQ(expectedNames, names);
    EXPECT_EQ("\"" + forged + "\"", fields[8].second);
    EXPECT_EQ("\"Patch:Auto\"& SKU=\"forged\"", fields[9].second);
    EXPECT_EQ("\"US\"", fields[14].second);
    // The joined text reads as before for recorders and the log.
    EXPECT_EQ(0u, m.text.find("& ErrorMessage=\"x\"& Country=\"CA\"& InstallType=\"Patch:Auto"));
}

TEST(TelemetrySenderState, LoadedAtFirstUseFromTheIsolatedAddress) {
    twtest::SeamGuard guard;
    tw::InstallTracker& tracker = tw::InstallTracker::Instance();
    // Test programs never point the sender at the maker's host.
    EXPECT_EQ(0u, tracker.GetConfigUrl().find("https://127.0.0.1:"));
    EXPECT_EQ(std::string::npos, tracker.GetConfigUrl().find("tallyworks"));
    tracker.ResetEndpointConfig();
    EXPECT_FALSE(tracker.IsConfigurationLoaded());
    // The first use loads it (and finds nothing there): no message waits for it later.
    EXPECT_TRUE(tw::InstallTracker::Instance().IsConfigurationLoaded());
    EXPECT_FALSE(tracker.IsErrorChannelEnabled());
    EXPECT_FALSE(tracker.IsTrackingChannelEnabled());
}

TEST(TelemetryConnectionFailures, EveryWayOfNotReachingTheServerDisablesTheChannel) {
    for (DWORD error :
         {ERROR_INTERNET_TIMEOUT, ERROR_INTERNET_NAME_NOT_RESOLVED, ERROR_INTERNET_CANNOT_CONNECT,
          ERROR_INTERNET_CONNECTION_ABORTED, ERROR_INTERNET_CONNECTION_RESET, ERROR_INTERNET_DISCONNECTED,
          ERROR_INTERNET_SERVER_UNREACHABLE, ERROR_INTERNET_PROXY_SERVER_UNREACHABLE, ERROR_INTERNET_INVALID_CA})
        EXPECT_TRUE(tw::BoundedHttpRequest::IsConnectionFailure(error)) << error;
    for (DWORD error : {DWORD(0), DWORD(ERROR_INTERNET_INCORRECT_HANDLE_STATE), DWORD(ERROR_NOT_ENOUGH_MEMORY)})
        EXPECT_FALSE(tw::BoundedHttpRequest::IsConnectionFailure(error)) << error;
}

TEST(TelemetryConfigurationText, Utf16DocumentWithItsMarkIsRead) {
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-16\"?><c><LED><enable>true</enable><token>t16</token></LED></c>";
    std::string little("\xFF\xFE", 2), big("\xFE\xFF", 2);
    for (char c : xml) {
        little += c;
        little += '\0';
        big += '\0';
        big += c;
    }
    for (const std::string* text : {&little, &big}) {
        TelemetryEndpointConfig config;
        EXPECT_TRUE(config.ApplyConfiguration(*text)) << config.LastFailure();
        EXPECT_TRUE(config.IsErrorChannelEnabled());
        EXPECT_EQ("t16", config.GetErrorToken());
    }
    // A document type is refused in UTF-16 as well.
    std::string doctype("\xFF\xFE", 2);
    for (char c : std::string("<!DOCTYPE c [<!ENTITY e \"x\">]><c><LED><token>&e;</token></LED></c>")) {
        doctype += c;
        doctype += '\0';
    }
    TelemetryEndpointConfig refused;
    EXPECT_FALSE(refused.ApplyConfiguration(doctype));
}

}  // namespace
