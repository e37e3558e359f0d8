#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "TestSupport.h"
#include "common/PathRules.h"

using tw::CPathRules;

namespace {

// Every text that reaches the elevated program from a file it did not write goes through
// these rules: patch.ini's package names, manifest file texts, cabinet entries, journal
// entries. One row per kind of text.
TEST(PathRulesTest, RelativePathsAndDeviceNames) {
    struct Case {
        std::string text;
        bool safe;    // IsSafeRelativePath
        bool device;  // IsDeviceName of the whole text
    } cases[] = {
        // plain names and levels
        {"a.dll", true, false},
        {"bin\\a.dll", true, false},
        {"bin\\sub\\a.dll.r5", true, false},
        {"a..b.dll", true, false},
        {".hidden", true, false},
        {"console.dll", true, false},
        {"con1.dll", true, false},
        {"comx.dll", true, false},
        {"com10.dll", true, false},
        {"lpt10", true, false},
        {"nul_x\\y", true, false},
        {"CONIN", true, false},
        {"CLOCK", true, false},
        // drive, root, share, "..", ":" and "/"
        {"", false, false},
        {"..", false, false},
        {".", false, false},
        {"..\\a.dll", false, false},
        {"bin\\..\\..\\a.dll", false, false},
        {".\\a.dll", false, false},
        {"bin\\...\\a", false, false},
        {". \\a", false, false},
        {"\\a.dll", false, false},
        {"\\\\srv\\share\\x", false, false},
        {"C:\\a.dll", false, false},
        {"c:a.dll", false, false},
        {"a.dll:stream", false, false},
        {"bin/a.dll", false, false},
        {"/a.dll", false, false},
        {"bin\\", false, false},
        {"bin\\\\a.dll", false, false},
        // names Windows changes: trailing dots and spaces
        {"a.dll.", false, false},
        {"a.dll ", false, false},
        // wildcards and control characters
        {"a*.dll", false, false},
        {"a?.dll", false, false},
        {"a|b", false, false},
        {"a\"b", false, false},
        {"a<b", false, false},
        {"a>b", false, false},
        {"a\x01.dll", false, false},
        // device names, any case, with or without extension, trailing dots and spaces
        {"CON", false, true},
        {"con.txt", false, true},
        {"Prn.x.y", false, true},
        {"aux", false, true},
        {"NUL.msp", false, true},
        {"CONIN$", false, true},
        {"conout$.log", false, true},
        {"CLOCK$", false, true},
        {"COM0", false, true},
        {"com1 .dll", false, true},
        {"COM9.txt", false, true},
        {"LPT0", false, true},
        {"lpt9.txt", false, true},
        {"CON .txt", false, true},
        {"nul..txt", false, true},
        {"COM\xB9", false, true},
        {"com\xB2.dll", false, true},
        {"LPT\xB3.txt", false, true},
        {"bin\\NUL.txt", false, false},
        {"aux\\a.dll", false, false},
        {"x32\\COM1", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.safe, CPathRules::IsSafeRelativePath(c.text));
        EXPECT_EQ(c.device, CPathRules::IsDeviceName(c.text));
        if (c.text.find('\\') == std::string::npos) {
            EXPECT_EQ(c.safe, CPathRules::IsSafeName(c.text));
        }
    }
}

TEST(PathRulesTest, InsideAFolderComparesNormalisedFullPaths) {
    struct Case {
        const char* folder;
        const char* path;
        bool inside;
    } cases[] = {
        {"C:\\Base", "C:\\Base\\a\\b.dll", true},
        {"C:\\Base\\", "c:\\base\\a.dll", true},
        {"c:/base", "C:\\BASE\\a.dll", true},
        {"C:\\Base\\.", "C:\\Base\\sub\\..\\a.dll", true},
        {"C:\\", "C:\\a.dll", true},
        {"C:\\Base", "C:\\Base", false},
        {"C:\\Base", "C:\\Base\\", false},
        {"C:\\Base", "C:\\BaseX\\a.dll", false},
        {"C:\\Base", "C:\\Base\\..\\a.dll", false},
        {"C:\\Base", "C:\\Base\\sub\\..\\..\\Other\\a.dll", false},
        {"C:\\Base", "D:\\Base\\a.dll", false},
        {"C:\\Base", "\\\\srv\\share\\Base\\a.dll", false},
        {"", "C:\\Base\\a.dll", false},
        {"C:\\Base", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.folder) + " | " + c.path);
        EXPECT_EQ(c.inside, CPathRules::IsInsideFolder(c.folder, c.path));
    }

    struct NameCase {
        const char* name;
        bool inside;
    } names[] = {{"a.msp", true},        {"sub\\a.msp", true}, {"..\\a.msp", false}, {"sub\\..\\..\\a.msp", false},
                 {"C:\\Base\\a", false}, {"\\Base\\a", false}, {"NUL", false},       {"sub/a.msp", false},
                 {"COM\xB9.msp", false}, {"a.msp.", false}};
    for (const auto& c : names) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.inside, CPathRules::IsNameInsideFolder("C:\\Base", c.name));
    }

    EXPECT_TRUE(CPathRules::IsSamePath("C:\\Base\\", "c:/base"));
    EXPECT_FALSE(CPathRules::IsSamePath("", ""));
    EXPECT_EQ("C:\\", CPathRules::Normalise("C:\\"));
    EXPECT_EQ("C:\\Base\\a", CPathRules::Normalise("C:/Base/x/../a/"));
}

TEST(PathRulesTest, WalkOfExistingLevelsFindsNoReparsePointInPlainFolders) {
    twtest::TempDir dir("pathrules");
    ASSERT_TRUE(twtest::MakeDirs(dir / "a\\b"));
    ASSERT_TRUE(twtest::WriteTextFile(dir / "a\\b\\c.txt", "x"));
    std::string where = "unchanged";
    EXPECT_TRUE(CPathRules::HasNoReparsePointOnTheWay(dir / "a\\b\\c.txt", &where));
    EXPECT_TRUE(CPathRules::HasNoReparsePointOnTheWay(dir / "a\\missing\\deeper\\c.txt", &where));
    EXPECT_EQ("unchanged", where);
    EXPECT_FALSE(CPathRules::IsReparsePoint(dir / "a\\b"));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, CPathRules::EntryAttributes(dir / "a\\b\\"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, CPathRules::EntryAttributes(dir / "a\\missing"));
}

}  // namespace
