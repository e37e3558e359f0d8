#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "common/PlatformSeams.h"
#include "common/RegistryBackup.h"
#include "common/RunState.h"
#include "common/TestSupport.h"
#include "common/UpdateLogFolderGuard.h"
#include "logging/TWPatchLogUtil.h"
#include "common/TextUtil.h"

using tw::PatchStatusRecord;
using tw::TWPatchLogUtil;
using twtest::ReadTextFile;
using twtest::ScopedRegistryKey;
using twtest::UpdateLogFolderGuard;

namespace {

std::string CommonAppData() {
    char base[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base);
    return base;
}

// Lines of a file written in text mode, without their CR LF.
std::vector<std::string> Lines(const std::string& text) { return tw::SplitLines(text); }

class TWPatchLogUtilTest : public ::testing::Test {
protected:
    void SetUp() override {
        tw::Platform().Time64 = [this] { return now; };
        TWPatchLogUtil::SetProductPath(productDir.c_str());
    }

    void RegisterFlavor(const std::string& major, const std::string& flavor, const std::string& path) {
        ASSERT_TRUE(twtest::SetRegString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veltra\\Tallyworks\\" + major + "\\" + flavor,
                                         "Path", path));
    }

    twtest::SeamGuard seams;
    UpdateLogFolderGuard logFolder;
    ScopedRegistryKey productBranch{HKEY_LOCAL_MACHINE, "SOFTWARE\\Veltra"};
    std::string productDir = twtest::BinaryPath("tests\\fixtures\\fakeproduct");
    __time64_t now = 1780000000;
};

TEST_F(TWPatchLogUtilTest, UpdateLogFolderUnderCommonAppData) {
    TWPatchLogUtil util;
    EXPECT_EQ(logFolder.folder, util.GetLogFolder());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(util.GetLogFolder().c_str()));
    EXPECT_EQ(CommonAppData() + "\\Common Files\\Veltra\\Tallyworks\\twupdate\\Log", util.GetLogFolder());
}

TEST_F(TWPatchLogUtilTest, SplitFileVersion) {
    struct Case {
        const char* fileVersion;
        const char* major;
        const char* slip;
    };
    const Case cases[] = {
        {"28.0D WR12", "28.0", "R12"},
        {"28.0d R12w", "28.0", "R12"},
        {"27.0 R3", "27.0", "R3"},
        {"28.0D", "28.0", ""},
        {"", "", ""},
        {"30.0 Ww5", "30.0", "w5"},
    };
    for (const Case& c : cases) {
        std::string major, slip;
        TWPatchLogUtil::SplitFileVersion(c.fileVersion, major, slip);
        EXPECT_EQ(c.major, major) << c.fileVersion;
        EXPECT_EQ(c.slip, slip) << c.fileVersion;
    }
}

TEST_F(TWPatchLogUtilTest, ProductVersionFlavorAndChannel) {
    struct Case {
        const char* flavor;
        bool commandLine;
        const char* channel;
    };
    const Case cases[] = {
        {"pro", true, "TWPatchexe"},
        {"pro", false, "WebPatchChannel"},
        {"kyvacct", true, "ETWPatchexe"},
        {"kyvacct", false, "WebEPatchChannel"},
    };
    // The "Path" value is compared without regard to case.
    std::string upperPath = productDir + "\\TWW.EXE";
    for (char& c : upperPath) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.flavor) + (c.commandLine ? " auto" : " web"));
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veltra\\Tallyworks");
        RegisterFlavor("28.0", "other", "C:\\elsewhere\\tww.exe");
        RegisterFlavor("28.0", c.flavor, upperPath);
        tw::CRunState::Get().commandLineGiven = c.commandLine;

        TWPatchLogUtil util;
        EXPECT_EQ("28.0", util.GetProductMajor());
        EXPECT_EQ("R12", util.GetSlipStream());
        EXPECT_EQ(c.flavor, util.GetFlavor());
        EXPECT_EQ(c.channel, util.GetChannel());
        EXPECT_EQ(std::string("TWUpdate/28.0/R12/") + c.flavor, util.GetVersionText());
        EXPECT_TRUE(util.GetOSFlag());

        std::unique_ptr<PatchStatusRecord> record = util.CreateStatusRecord(c.commandLine);
        EXPECT_EQ(util.GetVersionText(), record->GetVersionText());
        EXPECT_EQ(c.channel, record->GetChannel());
        EXPECT_EQ(c.commandLine ? 1u : 0u, record->GetBackground());
        EXPECT_EQ(1u, record->GetOsFlag());
        EXPECT_EQ(1u, record->GetRunNumber());
        EXPECT_EQ(0u, record->GetErrorCode());
        EXPECT_EQ(now, record->GetStartTime());
    }
}

TEST_F(TWPatchLogUtilTest, UnknownProductGivesBareVersionText) {
    twtest::TempDir empty("noproduct");
    TWPatchLogUtil::SetProductPath(empty.Path().c_str());
    TWPatchLogUtil util;
    EXPECT_EQ("", util.GetProductMajor());
    EXPECT_EQ("unknown", util.GetFlavor());
    EXPECT_EQ("TWUpdate/", util.GetVersionText());
}

TEST_F(TWPatchLogUtilTest, VersionFoundThroughPatchIniOfCurrentFolder) {
    twtest::TempDir work("patchini");
    ASSERT_TRUE(CopyFileA((productDir + "\\tww.exe").c_str(), (work / "tww32.exe").c_str(), FALSE));
    ASSERT_TRUE(twtest::WriteTextFile(work / "Patch.ini",
                                      "[Title]\r\nProduct=Tallyworks Enterprise 28.0\r\n"
                                      "[PatchConfig]\r\nTWFileVersion=28.0\r\n"));
    // Only flavors starting with "kyv" count for the top edition.
    RegisterFlavor("28.0", "aaa", "C:\\nowhere\\TWW32.EXE");
    RegisterFlavor("28.0", "kyvent", work / "TWW32.exe");
    TWPatchLogUtil::SetProductPath(work.Path().c_str());  // no tww.exe there

    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    SetCurrentDirectoryA(work.Path().c_str());
    TWPatchLogUtil util;
    SetCurrentDirectoryA(previous);

    EXPECT_EQ("28.0", util.GetProductMajor());
    EXPECT_EQ("R12", util.GetSlipStream());
    EXPECT_EQ("unknown", util.GetFlavor());  // no flavor's "Path" is the product folder's tww.exe
    EXPECT_EQ("TWUpdate/28.0/R12/unknown", util.GetVersionText());
}

TEST_F(TWPatchLogUtilTest, AtMostFiveRecordsPerVersion) {
    RegisterFlavor("28.0", "pro", productDir + "\\tww.exe");
    tw::CRunState::Get().commandLineGiven = true;
    for (uint32_t run = 1; run <= 7; ++run) {
        SCOPED_TRACE(run);
        TWPatchLogUtil util;
        std::unique_ptr<PatchStatusRecord> record = util.CreateStatusRecord(true);
        // From the sixth run on no record is added, so the count stays at five.
        EXPECT_EQ(run < 6 ? run : 6u, record->GetRunNumber());
        util.FinishStatusRecord(*record, 1603);  // a run of 0 seconds
        EXPECT_EQ(1603u, record->GetErrorCode());
        EXPECT_EQ(now, record->GetEndTime());
    }
    std::vector<std::string> lines = Lines(ReadTextFile(logFolder.folder + "\\Patch.log"));
    ASSERT_EQ(5u, lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(0u, lines[i].find("(date-")) << lines[i];
        EXPECT_NE(std::string::npos, lines[i].find(";ver-TWUpdate/28.0/R12/pro;n-" + std::to_string(i + 1) + ";nfg-" +
                                                   std::to_string(i + 1) + ";err-1603;s-1;"))
            << lines[i];
        EXPECT_NE(std::string::npos, lines[i].find(";chan-TWPatchexe;dur-0;")) << lines[i];
    }
    // "Temp.log" gets the same records without line ends.
    std::string temp = ReadTextFile(logFolder.folder + "\\Temp.log");
    EXPECT_EQ(std::string::npos, temp.find('\n'));
    std::string joined;
    for (const std::string& line : lines) joined += line;
    EXPECT_EQ(joined, temp);

    // Another version still has its own five runs.
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veltra\\Tallyworks");
    RegisterFlavor("28.0", "kyvacct", productDir + "\\tww.exe");
    TWPatchLogUtil util;
    EXPECT_EQ(1u, util.CreateStatusRecord(true)->GetRunNumber());
}

TEST_F(TWPatchLogUtilTest, RunNumberReadBackFromPatchLog) {
    TWPatchLogUtil util;
    ASSERT_TRUE(twtest::WriteTextFile(logFolder.folder + "\\Patch.log",
                                      "(date-2026_01_01_00_00_00;ver-TWUpdate/a;n-1)\r\n"
                                      "a line without separators\r\n"
                                      "(x;ver\r\n"
                                      "(date-x;ver-TWUpdate/ab;n-1)\r\n"
                                      "(date-x;ver-TWUpdate/a;n-2)\r\n"
                                      "(date-x;ver-TWUpdate/a trailing;n-2)\r\n"
                                      "\r\n"));
    EXPECT_EQ(4u, util.ReadRunNumber("TWUpdate/a"));
    EXPECT_EQ(2u, util.ReadRunNumber("TWUpdate/ab"));
    EXPECT_EQ(1u, util.ReadRunNumber("TWUpdate/b"));

    // Counting stops at six matching lines.
    std::string many;
    for (int i = 0; i < 9; ++i) many += "(date-x;ver-TWUpdate/c;n-1)\r\n";
    ASSERT_TRUE(twtest::WriteTextFile(logFolder.folder + "\\Patch.log", many));
    EXPECT_EQ(7u, util.ReadRunNumber("TWUpdate/c"));
}

}  // namespace
