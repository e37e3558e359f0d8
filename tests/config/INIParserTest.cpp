#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "ConfigTestSupport.h"
#include "config/INIParser.h"

using tw::CINIParser;
using tw::KeyValueMap;

namespace {

class INIParserTest : public configtest::ConfigTest {
protected:
    CINIParser Parser() { return CINIParser(dir / "patch.ini"); }

    // The message of the runtime error that fn throws; "" when it does not throw.
    template <typename Fn>
    static std::string ErrorOf(Fn fn) {
        try {
            fn();
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "";
    }
};

struct SectionCase {
    const char* name;
    const char* content;
    std::vector<std::string> sections;
};

TEST_F(INIParserTest, SectionNamesInFileOrderTrimmed) {
    const SectionCase cases[] = {
        {"blanks around the name", "[  Title  ]\nProduct=Tallyworks\n", {"Title"}},
        {"tabs around the name", "[\tMSI Info\t]\nreinstall=ALL\n", {"MSI Info"}},
        {"file order kept", "[Zeta]\na=1\n[Alpha]\nb=2\n[Mid]\nc=3\n", {"Zeta", "Alpha", "Mid"}},
        {"empty section listed too", "[Empty]\n[Full]\nk=v\n", {"Empty", "Full"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WritePatchIni(c.content);
        CINIParser parser = Parser();
        EXPECT_EQ(c.sections, parser.GetSectionNames());
    }
}

TEST_F(INIParserTest, SectionNamesFailWithPathForMissingOrSectionlessFile) {
    const std::string path = dir / "patch.ini";
    const std::string expected = "Failed to read the section names in the config.ini file in the : " + path;
    // Missing file.
    EXPECT_EQ(expected, ErrorOf([&] { CINIParser(path).GetSectionNames(); }));
    // A file with text but no section header.
    WritePatchIni("key=value\nanother line\n");
    EXPECT_EQ(expected, ErrorOf([&] { CINIParser(path).GetSectionNames(); }));
    // Empty file.
    WritePatchIni("");
    EXPECT_EQ(expected, ErrorOf([&] { CINIParser(path).GetSectionNames(); }));
    // A default parser has no path and fails the same way.
    EXPECT_EQ("Failed to read the section names in the config.ini file in the : ",
              ErrorOf([&] { CINIParser().GetSectionNames(); }));
}

TEST_F(INIParserTest, KeyValuePairsFailForEmptyOrMissingSection) {
    WritePatchIni("[Empty]\n[Full]\nk=v\n");
    CINIParser parser = Parser();
    EXPECT_EQ("Could not read the key and value pairs from the section: Empty",
              ErrorOf([&] { parser.GetKeyValuePairs("Empty"); }));
    EXPECT_EQ("Could not read the key and value pairs from the section: Nowhere",
              ErrorOf([&] { parser.GetKeyValuePairs("Nowhere"); }));
    EXPECT_EQ((KeyValueMap{{"k", "v"}}), parser.GetKeyValuePairs("Full"));
}

TEST_F(INIParserTest, PairsOrderedByKeyBytesWithTrimmedKeys) {
    WritePatchIni(
        "[R5->R7]\n"
        "reinstall=ALL\n"
        "deltapatch=tw_core_5_7.msp\n"
        "cmdoptions=A=1\n"
        "reinstallmode=omus\n"
        "Zcapital=1\n"
        "  Standard  =  {CODE}  \n"
        "quoted=\"  kept  \"\n");
    KeyValueMap pairs = Parser().GetKeyValuePairs("R5->R7");
    std::vector<std::string> keys;
    for (const auto& p : pairs) keys.push_back(p.first);
    EXPECT_EQ((std::vector<std::string>{"Standard", "Zcapital", "cmdoptions", "deltapatch", "quoted", "reinstall",
                                        "reinstallmode"}),
              keys);
    EXPECT_EQ("{CODE}", pairs["Standard"]);
    EXPECT_EQ("A=1", pairs["cmdoptions"]);
    // Values are as the profile functions return them.
    char direct[100] = {};
    GetPrivateProfileStringA("R5->R7", "quoted", "", direct, sizeof(direct), (dir / "patch.ini").c_str());
    EXPECT_EQ(direct, pairs["quoted"]);
}

TEST_F(INIParserTest, DuplicateKeyGivesOneEntryWithTheProfileValue) {
    WritePatchIni("[S]\nkey=first\nother=x\nkey=second\n");
    KeyValueMap pairs = Parser().GetKeyValuePairs("S");
    EXPECT_EQ(2u, pairs.size());
    char direct[100] = {};
    GetPrivateProfileStringA("S", "key", "", direct, sizeof(direct), (dir / "patch.ini").c_str());
    EXPECT_EQ(direct, pairs["key"]);
    EXPECT_EQ("first", pairs["key"]);
}

TEST_F(INIParserTest, OversizedNamesAndValuesAreCutNeverOverflow) {
    const std::string longValue(12000, 'v');
    const std::string longSection = "R" + std::string(599, '7');
    std::string content = "[" + longSection + "]\nlong=" + longValue + "\nshort=" + std::string(6000, 's') + "\n";
    // Enough keys to overflow the 10000-character key list.
    std::string many = "[Many]\n";
    for (int i = 0; i < 600; ++i) many += "key_number_" + std::to_string(100000 + i) + "=" + std::to_string(i) + "\n";
    // Enough sections to overflow the 19584-character section list.
    std::string sections;
    for (int i = 0; i < 1200; ++i) sections += "[Section_number_" + std::to_string(100000 + i) + "]\nk=v\n";
    WritePatchIni(content + many + sections);

    CINIParser parser = Parser();
    std::vector<std::string> names = parser.GetSectionNames();
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(longSection, names[0]);
    EXPECT_EQ("Many", names[1]);
    size_t total = 0;
    for (const auto& n : names) total += n.size() + 1;
    EXPECT_LT(total, CINIParser::kSectionNamesSize);

    KeyValueMap pairs = parser.GetKeyValuePairs(longSection);
    EXPECT_EQ(std::string(4999, 'v'), pairs["long"]);
    EXPECT_EQ(std::string(4999, 's'), pairs["short"]);

    KeyValueMap manyPairs = parser.GetKeyValuePairs("Many");
    EXPECT_GT(manyPairs.size(), 100u);
    EXPECT_LT(manyPairs.size(), 600u);
    EXPECT_EQ("0", manyPairs["key_number_100000"]);
}

}  // namespace
