// Reading patch packages and their transform summaries, including damaged ones.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "UpdateFolderFixture.h"
#include "check/PatchPackageReader.h"

namespace checktest {
namespace {

using twcheck::CPatchPackageReader;

class PatchPackageReaderTest : public UpdateFolderFixture {};

TEST_F(PatchPackageReaderTest, ReadsTargetProductAndVersionsOfARealPackage) {
    twcheck::PatchPackageInfo info = CPatchPackageReader::Read(dir / "tw28_core_r6.msp", "tw28_core_r6.msp");
    EXPECT_TRUE(info.exists);
    EXPECT_EQ(tw::CPatchPackageCheck::Refusal::None, info.facts.fault) << info.facts.faultText;
    EXPECT_EQ(std::vector<std::string>{productCode}, info.targetProducts);
    ASSERT_EQ(1u, info.transforms.size());
    EXPECT_TRUE(info.transforms[0].readable);
    EXPECT_EQ("T1", info.transforms[0].name);
    EXPECT_EQ(productCode, info.transforms[0].productCode);
    EXPECT_EQ("28.0.4005.1", info.transforms[0].fromVersion);
    EXPECT_EQ("28.0.4006.1", info.transforms[0].toVersion);
}

// Every transform of the list is read, in its order; one the package does not hold is
// reported as unreadable.
TEST_F(PatchPackageReaderTest, ReadsEveryTransformOfTheList) {
    ASSERT_TRUE(WritePatch("multi.msp", "28.0.4005.1", "28.0.4006.1", std::string(), ":T1;:#T1;:T2;:T3",
                           {{"T2", "28.0.4004.1", "28.0.4006.1"}}));
    twcheck::PatchPackageInfo info = CPatchPackageReader::Read(dir / "multi.msp", "multi.msp");
    ASSERT_EQ(3u, info.transforms.size());
    EXPECT_EQ("T1", info.transforms[0].name);
    EXPECT_EQ("T2", info.transforms[1].name);
    EXPECT_TRUE(info.transforms[1].readable);
    EXPECT_EQ("28.0.4004.1", info.transforms[1].fromVersion);
    EXPECT_EQ("28.0.4006.1", info.transforms[1].toVersion);
    EXPECT_EQ("T3", info.transforms[2].name);
    EXPECT_FALSE(info.transforms[2].readable);
}

TEST_F(PatchPackageReaderTest, FilesThatAreNoPatchPackage) {
    const struct {
        const char* name;
        std::string content;
    } cases[] = {
        {"empty.msp", ""},
        {"text.msp", "not a patch\r\n"},
        {"patch.ini", ""},  // replaced below by the folder's patch.ini
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (std::string(c.name) != "patch.ini") {
            ASSERT_TRUE(twtest::WriteTextFile(dir / c.name, c.content));
        }
        twcheck::PatchPackageInfo info = CPatchPackageReader::Read(dir / c.name, c.name);
        EXPECT_TRUE(info.exists);
        EXPECT_NE(tw::CPatchPackageCheck::Refusal::None, info.facts.fault);
        EXPECT_FALSE(info.facts.faultText.empty());
    }
    twcheck::PatchPackageInfo missing = CPatchPackageReader::Read(dir / "none.msp", "none.msp");
    EXPECT_FALSE(missing.exists);
    EXPECT_EQ(tw::CPatchPackageCheck::Refusal::Missing, missing.facts.fault);
}

// Damaged summary streams are refused, never read past their end.
TEST(SummaryStreamTest, DamagedStreamsAreRefused) {
    // A valid stream with one text property 9 = "abc".
    // Header: byte order, version, system, class id, one section at offset 48.
    const std::vector<uint8_t> good = {0xFE, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1,
                                       0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 48, 0, 0, 0,
                                       // Section: size 28, one property (id 9 at offset 16): text of 4 bytes.
                                       28, 0, 0, 0, 1, 0, 0, 0, 9, 0, 0, 0, 16, 0, 0, 0, 30, 0, 0, 0, 4, 0, 0, 0, 'a',
                                       'b', 'c', 0};
    std::string value;
    ASSERT_TRUE(CPatchPackageReader::ReadSummaryText(good, 9, value));
    EXPECT_EQ("abc", value);
    EXPECT_FALSE(CPatchPackageReader::ReadSummaryText(good, 7, value));

    struct Damage {
        const char* name;
        size_t offset;
        uint8_t byte;
        size_t keep;  // bytes kept
    };
    const Damage damages[] = {
        {"empty", 0, 0xFE, 0},
        {"cut header", 0, 0xFE, 40},
        {"wrong byte order", 0, 0x00, good.size()},
        {"section beyond the end", 44, 0xF0, good.size()},
        {"section size too large", 48, 0xFF, good.size()},
        {"too many properties", 52, 0xFF, good.size()},
        {"property beyond the section", 60, 0x40, good.size()},
        {"text longer than the section", 68, 0x50, good.size()},
        {"cut text", 0, 0xFE, good.size() - 6},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.name);
        std::vector<uint8_t> stream(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(d.keep));
        if (d.offset < stream.size()) stream[d.offset] = d.byte;
        EXPECT_FALSE(CPatchPackageReader::ReadSummaryText(stream, 9, value));
    }
}

TEST(TransformRevisionTest, VersionsOfTheRevisionText) {
    const struct {
        const char* text;
        bool ok;
        const char* product;
        const char* from;
        const char* to;
    } cases[] = {
        {"{A}28.0.4005.1;{A}28.0.4006.1;{U}", true, "{A}", "28.0.4005.1", "28.0.4006.1"},
        {"{A}1.0;{A}2.0", true, "{A}", "1.0", "2.0"},
        {"{A}28.0.4005.1", false, "", "", ""},
        {"{A};{A}2.0;{U}", false, "", "", ""},
        {"A1.0;A2.0;U", false, "", "", ""},
        {"", false, "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string product, from, to;
        EXPECT_EQ(c.ok, CPatchPackageReader::SplitTransformRevision(c.text, product, from, to));
        if (c.ok) {
            EXPECT_EQ(c.product, product);
            EXPECT_EQ(c.from, from);
            EXPECT_EQ(c.to, to);
        }
    }
}

}  // namespace
}  // namespace checktest
