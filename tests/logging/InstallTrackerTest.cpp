#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/TestSupport.h"
#include "common/TrackingRecorder.h"
#include "logging/InstallTracker.h"

using tw::InstallTracker;
using tw::TrackingMessage;

namespace {

class InstallTrackerTest : public ::testing::Test {
protected:
    void SetUp() override {
        tracker.SetCountry("us");
        tracker.SetServer("pds");
        tracker.SetSlipStream("");
        tracker.SetPrevSlipStream("R5");
        tracker.SetMajorVersion(28);
        tracker.SetSKU("KYVacct,KYVpro");
        tracker.SetOSFields("OS=\"64 Bit Windows10\"&OS_BUILD_NUMBER=19045&");
    }

    twtest::SeamGuard guard;
    InstallTracker& tracker = InstallTracker::Instance();
    twtest::TrackingRecorder sender;
};

TEST_F(InstallTrackerTest, ErrorMessageFieldByField) {
    tracker.SendTrackingMessage(1603, "Patch: apply failed", true);
    ASSERT_EQ(1u, sender.messages.size());
    const TrackingMessage& m = sender.messages[0];
    EXPECT_TRUE(m.isError);
    EXPECT_EQ("PDS", m.server);  // "pds" is stored upper-cased and accepted
    EXPECT_EQ("OS=\"64 Bit Windows10\"&OS_BUILD_NUMBER=19045&", m.osFields);
    EXPECT_EQ(
        "& ErrorMessage=\"Patch: apply failed\"&"
        " SlipStream=\"NA\"&"
        " PrevSlipStream=\"R5\"&"
        " MajorVer=\"28\"&"
        " SKU=\"CDKYV\"&"
        " Country=\"US\"",
        m.text);
    // The error number is not part of the text.
    EXPECT_EQ(std::string::npos, m.text.find("1603"));
}

TEST_F(InstallTrackerTest, TrackingMessageFieldByField) {
    tracker.SetServer("");
    tracker.SetCountry("CA");
    tracker.SetSlipStream("4005");
    tracker.SetPrevSlipStream(nullptr);
    tracker.SetMajorVersion(0);
    tracker.SetSKU("acct");
    tracker.SendTrackingMessage(0, "Patch Installation Success\"", false);
    ASSERT_EQ(1u, sender.messages.size());
    const TrackingMessage& m = sender.messages[0];
    EXPECT_FALSE(m.isError);
    EXPECT_EQ("", m.server);
    EXPECT_EQ(
        "& TrackingMessage=\"Patch Installation Success\"\"&"
        " SlipStream=\"4005\"&"
        " PrevSlipStream=\"NA\"&"
        " MajorVer=\"NA\"&"
        " SKU=\"CDSTD\"&"
        " Country=\"CA\"",
        m.text);
}

TEST_F(InstallTrackerTest, CountryAndServerRule) {
    struct Case {
        const char* country;
        const char* server;
        bool sent;
    };
    const Case cases[] = {
        {"US", "PROD", true},   {"us", "prod", true},  {"CA", "", true},    {"ca", "Pds", true}, {"US", "TEST", false},
        {"US", "PROD2", false}, {"GB", "PROD", false}, {"", "PROD", false}, {"USA", "", false},  {"IN", "PDS", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.country) + "/" + c.server);
        sender.messages.clear();
        tracker.SetCountry(c.country);
        tracker.SetServer(c.server);
        tracker.SendTrackingMessage(0, "text", false);
        tracker.SendTrackingMessage(1, "text", true);
        EXPECT_EQ(c.sent ? 2u : 0u, sender.messages.size());
    }
}

TEST_F(InstallTrackerTest, ContextSetters) {
    struct SkuCase {
        const char* reinstall;
        const char* sku;
    };
    for (const SkuCase& c : {SkuCase{"kyvpro", "CDKYV"}, SkuCase{"ALL,KyV", "CDKYV"}, SkuCase{"pro,acct", "CDSTD"},
                             SkuCase{"", "CDSTD"}, SkuCase{nullptr, "CDSTD"}}) {
        tracker.SetSKU(c.reinstall);
        EXPECT_EQ(c.sku, tracker.GetSKU()) << (c.reinstall ? c.reinstall : "(null)");
    }
    tracker.SetMajorVersion(-1);
    EXPECT_EQ("NA", tracker.GetMajorVersion());
    tracker.SetMajorVersion(1);
    EXPECT_EQ("1", tracker.GetMajorVersion());
    tracker.SetSlipStream("R12");
    EXPECT_EQ("R12", tracker.GetSlipStream());
    tracker.SetSlipStream("");
    EXPECT_EQ("NA", tracker.GetSlipStream());
    tracker.SetCountry("ca");
    EXPECT_EQ("CA", tracker.GetCountry());
}

TEST_F(InstallTrackerTest, WithoutContextNothingIsSent) {
    tracker.ResetContext();  // no country yet
    tracker.SendTrackingMessage(0, "text", true);
    EXPECT_TRUE(sender.messages.empty());
}

TEST_F(InstallTrackerTest, BuiltInSenderSendsNothing) {
    tracker.SetSender(nullptr);
    tracker.SendTrackingMessage(0, "text", false);  // dropped, no effect
    EXPECT_TRUE(sender.messages.empty());
    EXPECT_EQ(nullptr, dynamic_cast<twtest::TrackingRecorder*>(tracker.SetSender(&sender)));
}

}  // namespace
