#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/AutoPatchInstaller.h"
#include "app/PatchCmdInfo.h"
#include "app/PatchInstallerBase.h"
#include "app/WebPatchInstaller.h"
#include "common/TestSupport.h"

namespace {

using tw::PatchCmdInfo;

struct CommandLineCase {
    const char* commandLine;
    int mode;
    int pathGiven;
    const char* productDir;
};

class CommandLineTest : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLineTest, AutoVariantParsesSwitches) {
    const CommandLineCase& c = GetParam();
    tw::CAutoPatchInstaller installer;
    PatchCmdInfo info;
    std::memset(&info, 0, sizeof(info));
    installer.ParseCmdLine(info, c.commandLine);
    EXPECT_EQ(c.mode, info.mode);
    EXPECT_EQ(c.pathGiven, info.pathGiven);
    EXPECT_STREQ(c.productDir, info.productDir);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLineTest,
    ::testing::Values(
        // Lower-case switch, several blanks, a path with blanks kept as it is.
        CommandLineCase{"/p    C:\\Program Files\\Tallyworks 28", 0, 1, "C:\\Program Files\\Tallyworks 28"},
        CommandLineCase{"/Q /P C:\\TW", 2, 1, "C:\\TW"},
        // A switch after the path stays part of it and still takes effect.
        CommandLineCase{"/P C:\\TW /A", 1, 1, "C:\\TW /A"}, CommandLineCase{"/a", 1, 0, ""},
        CommandLineCase{"/q\t/A", 1, 0, ""},
        // Unknown switches and other items are skipped.
        CommandLineCase{"/X /1 word /Z", 0, 0, ""},
        CommandLineCase{"/P\t\"C:\\Quoted Path\"", 0, 1, "\"C:\\Quoted Path\""}, CommandLineCase{"/P", 0, 1, ""},
        CommandLineCase{"/", 0, 0, ""}, CommandLineCase{"", 0, 0, ""}, CommandLineCase{"\n/A\n", 1, 0, ""}));

TEST(CommandLine, NullLineLeavesRecordAlone) {
    tw::CAutoPatchInstaller installer;
    PatchCmdInfo info;
    std::memset(&info, 0, sizeof(info));
    info.pathGiven = 1;
    info.mode = 2;
    installer.ParseCmdLine(info, nullptr);
    EXPECT_EQ(0, info.pathGiven);
    EXPECT_EQ(2, info.mode);
}

TEST(CommandLine, PathLongerThanTheRecordIsRefusedNotCut) {
    std::string longPath = "C:\\" + std::string(300, 'd');
    std::string line = "/A /P " + longPath;
    tw::CAutoPatchInstaller installer;
    PatchCmdInfo info;
    std::memset(&info, 0, sizeof(info));
    installer.ParseCmdLine(info, line.c_str());
    EXPECT_EQ(0, info.pathGiven);
    EXPECT_STREQ("", info.productDir);
    EXPECT_EQ(1, info.mode);

    std::string fits = "C:\\" + std::string(254, 'e');  // 257 characters
    line = "/P " + fits;
    installer.ParseCmdLine(info, line.c_str());
    EXPECT_EQ(1, info.pathGiven);
    EXPECT_EQ(fits, info.productDir);
}

TEST(CommandLine, WebVariantIgnoresTheCommandLine) {
    tw::CWebPatchInstaller installer;
    PatchCmdInfo info;
    std::memset(&info, 0, sizeof(info));
    installer.ParseCmdLine(info, "/A /P C:\\TW");
    EXPECT_EQ(0, info.mode);
    EXPECT_EQ(0, info.pathGiven);
}

}  // namespace
