#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "ConfigTestSupport.h"
#include "common/RunState.h"
#include "config/GeneralUtil.h"

using tw::AgentInfo;
using tw::GeneralUtil;

namespace {

class GeneralUtilTest : public configtest::ConfigTest {};

TEST_F(GeneralUtilTest, FullFilePathName) {
    struct Case {
        const char* folder;
        const char* file;
        const char* expected;  // null: fails
    } cases[] = {
        {"C:\\patch", "patch.ini", "C:\\patch\\patch.ini"},
        {"C:\\patch\\", "patch.ini", "C:\\patch\\patch.ini"},
        {"", "patch.ini", "patch.ini"},
        {nullptr, "patch.ini", "patch.ini"},
        {"C:\\patch", "", "C:\\patch\\"},
        {"", "", nullptr},
        {nullptr, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.folder ? c.folder : "(null)") + " + " + (c.file ? c.file : "(null)"));
        char out[64] = "garbage";
        const char* result = GeneralUtil::GetFullFilePathName(c.folder, c.file, out, sizeof(out));
        if (c.expected) {
            ASSERT_EQ(out, result);
            EXPECT_STREQ(c.expected, out);
        } else {
            EXPECT_EQ(nullptr, result);
        }
    }
    EXPECT_TRUE(
        LogHas("In GeneralUtil::GetFullFilePathName, directory and file name not given or full file path name "
               "not allocated memory!"));
    // No output buffer.
    EXPECT_EQ(nullptr, GeneralUtil::GetFullFilePathName("C:\\a", "b", nullptr, 10));
    // A result longer than the buffer is refused rather than cut.
    char small[8];
    EXPECT_EQ(nullptr, GeneralUtil::GetFullFilePathName("C:\\folder", "patch.ini", small, sizeof(small)));
    EXPECT_STREQ("", small);
}

TEST_F(GeneralUtilTest, DirNameForGivenPathFileName) {
    char path[] = "C:\\a\\b\\file.txt";
    EXPECT_EQ(path, GeneralUtil::GetDirNameForGivenPathFileName(path));
    EXPECT_STREQ("C:\\a\\b", path);
    char bare[] = "file.txt";
    EXPECT_EQ(nullptr, GeneralUtil::GetDirNameForGivenPathFileName(bare));
    EXPECT_STREQ("file.txt", bare);
    char empty[] = "";
    EXPECT_EQ(nullptr, GeneralUtil::GetDirNameForGivenPathFileName(empty));
    EXPECT_EQ(nullptr, GeneralUtil::GetDirNameForGivenPathFileName(nullptr));
    EXPECT_TRUE(LogHas("In GeneralUtil::GetDirNameForGivenPathFileName, the full path file name not given!"));
}

TEST_F(GeneralUtilTest, TrimBlanksOnlySpacesAndTabs) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {{"  Title  ", "Title"}, {"\t Title\t", "Title"}, {"   ", ""},       {"", ""},
                 {"a b", "a b"},         {"\nx\n", "\nx\n"},      {" \t a \t ", "a"}};
    for (const auto& c : cases) {
        char buffer[32];
        std::strcpy(buffer, c.in);
        GeneralUtil::TrimBlanks(buffer);
        EXPECT_STREQ(c.out, buffer);
        std::string s = c.in;
        GeneralUtil::TrimBlanks(s);
        EXPECT_EQ(c.out, s);
    }
    GeneralUtil::TrimBlanks(static_cast<char*>(nullptr));
}

TEST_F(GeneralUtilTest, SplitAgentValue) {
    using O = std::optional<std::string>;
    struct Case {
        const char* value;
        O f1, f2, f3, f4;
    } cases[] = {
        {"a , b,c,d,e", O("a"), O("b"), O("c"), O("d,e")},
        {"AtollFrame, Tallyworks , tww.exe, Tallyworks Main", O("AtollFrame"), O("Tallyworks"), O("tww.exe"),
         O("Tallyworks Main")},
        {"only one  ", O("only one  "), std::nullopt, std::nullopt, std::nullopt},
        {"a,b", O("a"), O("b"), std::nullopt, std::nullopt},
        {"a,b,c", O("a"), O("b"), O("c"), std::nullopt},
        {"a,b,c,", O("a"), O("b"), O("c"), O("")},
        {",,,", O(""), O(""), O(""), O("")},
        {"", O(""), std::nullopt, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        AgentInfo agent = GeneralUtil::SplitAgentValue(c.value);
        EXPECT_EQ(c.f1, agent.windowClass);
        EXPECT_EQ(c.f2, agent.windowTitle);
        EXPECT_EQ(c.f3, agent.processName);
        EXPECT_EQ(c.f4, agent.displayName);
    }
}

TEST_F(GeneralUtilTest, SevereErrorBoxAndNothingForEmptyText) {
    GeneralUtil::ShowSevereError(nullptr);
    GeneralUtil::ShowSevereError("");
    EXPECT_TRUE(boxes.Calls().empty());
    GeneralUtil::ShowSevereError("Bad things");
    ASSERT_EQ(1u, boxes.Calls().size());
    EXPECT_EQ("Bad things", boxes.Calls()[0].text);
    EXPECT_EQ("Severe Error", boxes.Calls()[0].title);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), boxes.Calls()[0].type);
    EXPECT_EQ(nullptr, boxes.Calls()[0].owner);
}

TEST_F(GeneralUtilTest, LowDiskSpaceWarning) {
    GeneralUtil::ShowLowDiskSpaceWarning(300ull * 1024000ull + 5, "D:\\Program Files\\Tallyworks");
    ASSERT_EQ(1u, boxes.Calls().size());
    const std::string expected =
        "You have only 300 MBs of free disk space left on drive D:\nYou need at least 398 MBs of free disk space to "
        "run the update program.";
    EXPECT_EQ(expected, boxes.Calls()[0].text);
    EXPECT_EQ("Tallyworks Update", boxes.Calls()[0].title);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONERROR), boxes.Calls()[0].type);
    EXPECT_TRUE(LogHas(expected));
    // Without a folder the run's product directory gives the drive.
    tw::CRunState::Get().productExePath = "E:\\TW\\tww32.exe";
    GeneralUtil::ShowLowDiskSpaceWarning(0);
    ASSERT_EQ(2u, boxes.Calls().size());
    EXPECT_NE(std::string::npos, boxes.Calls()[1].text.find("only 0 MBs of free disk space left on drive E:"));
}

}  // namespace

#include "common/ModuleVersion.h"

namespace {

TEST_F(GeneralUtilTest, ModuleVersionReadsOwnVersionResource) {
    char self[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
    tw::CModuleVersion version;
    ASSERT_TRUE(version.GetFileVersionInfo(self));
    EXPECT_EQ(static_cast<DWORD>(VS_FFI_SIGNATURE), version.dwSignature);
    EXPECT_EQ(0x00010000u, version.dwFileVersionMS);
    EXPECT_EQ(0x409, version.Language());
    EXPECT_EQ(1252, version.CodePage());
    EXPECT_EQ("1.0.0.0", version.GetValue("FileVersion"));
    EXPECT_EQ("Veltra", version.GetValue("CompanyName"));
    EXPECT_EQ("", version.GetValue("NoSuchValue"));

    // A file without a version resource.
    WritePatchFile("plain.txt");
    tw::CModuleVersion none;
    EXPECT_FALSE(none.GetFileVersionInfo((dir / "plain.txt").c_str()));
    EXPECT_EQ("", none.GetValue("FileVersion"));
    EXPECT_FALSE(none.GetFileVersionInfo(nullptr));
}

}  // namespace
