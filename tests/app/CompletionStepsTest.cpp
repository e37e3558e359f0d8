#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "InstallerTestSupport.h"
#include "app/AutoPatchInstaller.h"
#include "app/InstalledFlavors.h"
#include "app/WebPatchInstaller.h"
#include "common/PlatformSeams.h"
#include "common/RunState.h"
#include "datastore/DataStoreFixture.h"

namespace {

using tw::CRunState;
using namespace twtest;

class CompletionStepsTest : public ::testing::Test {
protected:
    void SetUp() override { CRunState::Get().productExePath = product / "tww.exe"; }

    SeamGuard seams;
    TrackingRecorder sender;
    MessageBoxRecorder boxes;
    TempDir product{"twproduct"};
    TestInstaller installer;
};

// --- CriticalFixes ---

TEST_F(CompletionStepsTest, MissingCriticalFixesFolderIsReportedAndGetsNoMarker) {
    EXPECT_FALSE(installer.ResetCriticalFixesFolder());
    EXPECT_STREQ(
        "Patch: CPatchInstallerBase::ResetCriticalFixesFolder, Failed to delete all the files from "
        "CriticalFixes folder.",
        installer.GetLastFailureText());
    EXPECT_FALSE(FileExists(product / "CriticalFixes"));
    // The folder's absence itself is what the deletion reported first.
    EXPECT_FALSE(installer.DeleteFiles((product / "CriticalFixes\\").c_str()));
    EXPECT_STREQ("Patch: CPatchInstallerBase::DeleteFiles, Directory does not exist", installer.GetLastFailureText());
}

TEST_F(CompletionStepsTest, CriticalFixesFolderIsEmptiedAndGetsTheMarker) {
    ASSERT_TRUE(MakeDirs(product / "CriticalFixes\\sub"));
    ASSERT_TRUE(WriteTextFile(product / "CriticalFixes\\fix1.dll", "a"));
    ASSERT_TRUE(WriteTextFile(product / "CriticalFixes\\fix2.dat", "b"));
    ASSERT_TRUE(::SetFileAttributesA((product / "CriticalFixes\\fix2.dat").c_str(), FILE_ATTRIBUTE_READONLY));

    EXPECT_TRUE(installer.ResetCriticalFixesFolder());
    EXPECT_FALSE(FileExists(product / "CriticalFixes\\fix1.dll"));
    EXPECT_FALSE(FileExists(product / "CriticalFixes\\fix2.dat"));  // read-only files go too
    EXPECT_TRUE(FileExists(product / "CriticalFixes\\force_apply_ulip.dat"));
    EXPECT_EQ("", ReadTextFile(product / "CriticalFixes\\force_apply_ulip.dat"));
    // A subfolder is not descended into: its deletion fails and is reported.
    EXPECT_TRUE(FileExists(product / "CriticalFixes\\sub"));
    EXPECT_EQ(
        0u, std::string(installer.GetLastFailureText())
                .find("Patch: CPatchInstallerBase::DeleteFiles Failed to delete the File : sub  with GetLastError : "));
}

TEST_F(CompletionStepsTest, WithoutProductPathTheResetFails) {
    CRunState::Get().productExePath.clear();
    EXPECT_FALSE(installer.ResetCriticalFixesFolder());
    EXPECT_STREQ("Patch: CPatchInstallerBase::ResetCriticalFixesFolder, Failed to read TW app path.",
                 installer.GetLastFailureText());
}

// --- Post-patch batch file ---

TEST_F(CompletionStepsTest, PostPatchBatchFileRunsInTheProductFolderAndIsWaitedFor) {
    // The batch file works in its own folder: it leaves a file there.
    ASSERT_TRUE(
        WriteTextFile(product / "PostPatch.bat",
                      "@echo off\r\nfor /L %%i in (1,1,300) do echo %%i> counting.txt\r\necho done> ran.txt\r\n"));
    char before[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, before);

    tw::CAutoPatchInstaller autoInstaller;
    autoInstaller.DoPostPatchBatchFile();
    EXPECT_EQ("done\r\n", ReadTextFile(product / "ran.txt"));  // finished before the call returned

    ASSERT_TRUE(::DeleteFileA((product / "ran.txt").c_str()));
    tw::CWebPatchInstaller webInstaller;
    webInstaller.DoPostPatchBatchFile();
    EXPECT_EQ("done\r\n", ReadTextFile(product / "ran.txt"));

    char after[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, after);
    EXPECT_STREQ(before, after);
}

TEST_F(CompletionStepsTest, FolderWithoutPostPatchBatchFileRunsNothing) {
    ASSERT_TRUE(WriteTextFile(product / "PostPatch.pif", "x"));
    tw::CWebPatchInstaller webInstaller;
    webInstaller.DoPostPatchBatchFile();
    installer.RunPostPatchBatchFile();
    EXPECT_FALSE(FileExists(product / "ran.txt"));
    EXPECT_STREQ("", installer.GetLastFailureText());
}

// --- Completion message ---

TEST_F(CompletionStepsTest, CompletionMessageNamesTheRelease) {
    tw::CAutoPatchInstaller autoInstaller;
    TempDir dir("twini");
    ASSERT_TRUE(WriteTextFile(dir / "patch.ini", PatchIni()));
    ASSERT_TRUE(autoInstaller.Config().ReadConfInfoFromFile(dir.Path().c_str()));
    autoInstaller.PostPatchProcessing();
    ASSERT_EQ(1u, boxes.Calls().size());
    EXPECT_EQ("Congratulations!\n\nYour version of Tallyworks 2028 is now up to date.", boxes.Calls()[0].text);
    EXPECT_EQ("Update complete", boxes.Calls()[0].title);
    EXPECT_EQ(static_cast<UINT>(MB_ICONINFORMATION), boxes.Calls()[0].type);
}

TEST_F(CompletionStepsTest, ReleaseVersionStringStartsAtTheFirstDigit) {
    struct Case {
        const char* name;
        size_t size;
        const char* expected;
    } cases[] = {
        {"Tallyworks 2028", 10, "2028"},
        {"Tallyworks", 10, ""},
        {"Tallyworks 2028 Accountant Edition", 10, "2028 Acco"},  // cut to the buffer
        {"Tallyworks 2028", 3, "20"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestInstaller fresh;
        ASSERT_TRUE(fresh.LoadConfig(std::string("[PatchConfig]\nTWName=") + c.name + "\n"));
        char buffer[32];
        std::memset(buffer, 'x', sizeof(buffer));
        fresh.GetReleaseVersionString(buffer, c.size);
        EXPECT_STREQ(c.expected, buffer);
    }
    installer.GetReleaseVersionString(nullptr, 10);  // logged, nothing else
}

// --- Installed flavors and their revision ---

class FlavorTest : public CompletionStepsTest {
protected:
    void SetUp() override {
        CompletionStepsTest::SetUp();
        ResetDataStore();
        ASSERT_TRUE(WriteTextFile(common / "twm3t2.dat", "catalogue"));
        SetString(HKEY_LOCAL_MACHINE, kCommonKey, "CommonFilesPath", common.Path());
        ASSERT_TRUE(::CopyFileA(VersionExe("ver28").c_str(), (product / "tww.exe").c_str(), FALSE));
        installer.SetMajorVersion(28);
    }
    void TearDown() override { ResetDataStore(); }

    // The reader and its catalogue go with the rest of the process state (the guard).
    static void ResetDataStore() { RemoveVendorKeys(); }

    static std::string FlavorKey(const std::string& flavor) { return std::string(kProductKey) + "\\28.0\\" + flavor; }

    // A flavor of this product folder: its edition executable beside tww.exe, its key
    // pointing at tww.exe.
    void RegisterFlavor(const std::string& flavor, const std::string& exeSuffix, const char* timeStamp,
                        const char* revision) {
        ASSERT_TRUE(WriteTextFile(product / ("tww" + exeSuffix + ".exe"), "edition"));
        SetString(HKEY_LOCAL_MACHINE, FlavorKey(flavor), "Path", product / "tww.exe");
        if (timeStamp) SetString(HKEY_LOCAL_MACHINE, FlavorKey(flavor), "InstallTimeStamp", timeStamp);
        if (revision) SetString(HKEY_LOCAL_MACHINE, FlavorKey(flavor), "TWVersion", revision);
    }

    TempDir common{"twcommon"};
};

TEST_F(FlavorTest, NewestTimeStampChoosesTheCurrentFlavor) {
    RegisterFlavor("cedar", "Cedar", "03/01/2027 10:00:00 AM", nullptr);
    RegisterFlavor("ember", "Ember", "02/01/2027 10:00:00 AM", nullptr);
    // Registered for another folder: not one of this product's flavors.
    TempDir elsewhere("twother");
    ASSERT_TRUE(::CopyFileA(VersionExe("ver28").c_str(), (elsewhere / "tww.exe").c_str(), FALSE));
    ASSERT_TRUE(WriteTextFile(elsewhere / "twwSlate.exe", "edition"));
    SetString(HKEY_LOCAL_MACHINE, FlavorKey("slate"), "Path", elsewhere / "tww.exe");
    SetString(HKEY_LOCAL_MACHINE, FlavorKey("slate"), "InstallTimeStamp", "12/01/2027 10:00:00 AM");

    EXPECT_TRUE(installer.GetInstalledFlavors());
    EXPECT_EQ((std::vector<std::string>{"cedar", "ember"}), installer.GetInstalledFlavorList());
    EXPECT_EQ("cedar", installer.GetCurrentFlavor());
}

TEST_F(FlavorTest, LastFlavorIdWinsOverTimeStampsWhenValid) {
    RegisterFlavor("cedar", "Cedar", "03/01/2027 10:00:00 AM", nullptr);
    RegisterFlavor("ember", "Ember", "02/01/2027 10:00:00 AM", nullptr);
    struct Case {
        const char* lastFlavor;
        const char* current;
    } cases[] = {{"ember", "ember"}, {"slate", "cedar"}, {"", "cedar"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lastFlavor);
        ASSERT_TRUE(WriteTextFile(product / "TWW.INI", std::string("[FLAVOR]\nLastFlavorID=") + c.lastFlavor + "\n"));
        EXPECT_TRUE(installer.GetInstalledFlavors());
        EXPECT_EQ((std::vector<std::string>{"cedar", "ember"}), installer.GetInstalledFlavorList());
        EXPECT_EQ(c.current, installer.GetCurrentFlavor());
    }
}

TEST_F(FlavorTest, ExecutablePathSpelledDifferentlyStillFindsTheFlavor) {
    RegisterFlavor("cedar", "Cedar", "03/01/2027 10:00:00 AM", nullptr);
    const std::string productDir = product.Path();
    const std::string spellings[] = {
        productDir + "\\\\tww.exe",  // folder given with a trailing backslash
        productDir + "/tww.exe",
        productDir + "\\.\\TWW.EXE",
    };
    for (const std::string& running : spellings) {
        SCOPED_TRACE(running);
        CRunState::Get().productExePath = running;
        EXPECT_TRUE(installer.GetInstalledFlavors());
        EXPECT_EQ(std::vector<std::string>{"cedar"}, installer.GetInstalledFlavorList());
    }
}

TEST_F(FlavorTest, AlternateComponentAndMissingPath) {
    RegisterFlavor("cedar", "Cedar", "03/01/2027 10:00:00 AM", nullptr);
    CRunState::Get().alternateComponent = true;
    EXPECT_FALSE(installer.GetInstalledFlavors());
    CRunState::Get().alternateComponent = false;
    CRunState::Get().productExePath.clear();
    EXPECT_TRUE(installer.GetInstalledFlavors());
    EXPECT_TRUE(installer.GetInstalledFlavorList().empty());
}

TEST_F(FlavorTest, RevisionIsRaisedPerFlavorFromTheRememberedValue) {
    struct Case {
        const char* first;   // stored TWVersion of "cedar" (listed first), null when missing
        const char* second;  // of "ember"
        const char* expectedFirst;
        const char* expectedSecond;
    } cases[] = {
        {"5", nullptr, "7", "7"},
        {"9", nullptr, "9", "<missing>"},  // the remembered 9 is not below 7
        {nullptr, "3", "7", "7"},
    };
    ASSERT_TRUE(installer.LoadConfig(PatchIni()));  // patch number 07
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.first ? c.first : "-") + "/" + (c.second ? c.second : "-"));
        ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(kProductKey) + "\\28.0").c_str());
        RegisterFlavor("cedar", "Cedar", "03/01/2027 10:00:00 AM", c.first);
        RegisterFlavor("ember", "Ember", "02/01/2027 10:00:00 AM", c.second);
        installer.NotifyTWOnSuccess();
        EXPECT_EQ(c.expectedFirst, GetString(HKEY_LOCAL_MACHINE, FlavorKey("cedar"), "TWVersion"));
        EXPECT_EQ(c.expectedSecond, GetString(HKEY_LOCAL_MACHINE, FlavorKey("ember"), "TWVersion"));
    }
}

TEST_F(FlavorTest, NoInstalledFlavorWritesNothing) {
    ASSERT_TRUE(installer.LoadConfig(PatchIni()));
    installer.NotifyTWOnSuccess();
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, FlavorKey("cedar")));
}

}  // namespace

namespace {

TEST_F(FlavorTest, OlderProductsTakeVersionAndFlavorFromTheExecutable) {
    struct Case {
        const char* exe;
        unsigned major;
        const char* flavor;  // registered flavor, "" for the version key itself
        bool dataFile;
        std::vector<std::string> flavors;
        const char* revisionKey;  // where the raised revision goes, null when nothing is written
    } cases[] = {
        {"ver13", 13, "kyv", true, {"kyv"}, "Software\\Veltra\\Tallyworks\\13.0\\kyv"},
        {"ver9", 9, "", true, {""}, "Software\\Veltra\\Tallyworks\\9.0"},
        {"ver13", 13, "atlas", false, {}, nullptr},  // the flavor data file cannot be read
    };
    ASSERT_TRUE(installer.LoadConfig(PatchIni()));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.exe + std::string(" ") + c.flavor);
        ResetDataStore();
        TempDir folder("twold");
        ASSERT_TRUE(::CopyFileA(VersionExe(c.exe).c_str(), (folder / "tww.exe").c_str(), FALSE));
        if (c.dataFile) {
            ASSERT_TRUE(WriteTextFile(folder / "twf5a86r.dat", "x"));
        }
        std::string key = std::string(kProductKey) + "\\" + std::to_string(c.major) + ".0";
        if (*c.flavor) key += std::string("\\") + c.flavor;
        SetString(HKEY_LOCAL_MACHINE, key, "Path", folder / "tww.exe");
        CRunState::Get().productExePath = folder / "tww.exe";

        TestInstaller fresh;
        ASSERT_TRUE(fresh.LoadConfig(PatchIni()));
        EXPECT_TRUE(fresh.GetInstalledFlavors());
        EXPECT_EQ(c.flavors, fresh.GetInstalledFlavorList());
        EXPECT_EQ(c.flavors.empty() ? 0u : c.major, fresh.GetMajorVersion());  // kept as it was on error
        fresh.NotifyTWOnSuccess();
        if (c.revisionKey) {
            EXPECT_EQ("7", GetString(HKEY_LOCAL_MACHINE, c.revisionKey, "TWVersion"));
        } else {
            EXPECT_EQ("<missing>", GetString(HKEY_LOCAL_MACHINE, key, "TWVersion"));
            EXPECT_EQ(0u, std::string(fresh.GetLastFailureText())
                              .find("Patch: In CPatchInstallerBase::GetInstalledFlavors, failed to call "
                                    "CAppParamUtility::GetTWVersionFlavor, TW path file name: "));
        }
    }
}

}  // namespace

namespace {

using tw::CInstalledFlavors;
using tw::FlavorRecord;

// The flavor match on records as the search reads them from the flavor keys.
TEST(FlavorMatchTest, InstalledAndCurrentFlavorFromTheRecords) {
    struct Case {
        const char* name;
        std::vector<FlavorRecord> records;
        std::string lastFlavor;
        std::vector<std::string> installed;
        std::string current;
    } cases[] = {
        {"none installed here", {{"pro", false, true, 50}, {"acct", false, true, 90}}, "", {}, ""},
        {"newest install time wins",
         {{"pro", true, true, 50}, {"acct", true, true, 90}, {"prem", true, true, 70}},
         "",
         {"pro", "acct", "prem"},
         "acct"},
        {"the first of equal times wins",
         {{"pro", true, true, 50}, {"acct", true, true, 50}},
         "",
         {"pro", "acct"},
         "pro"},
        {"a time stamp of 0 still counts",
         {{"pro", true, true, 0}, {"acct", true, true, -5}},
         "",
         {"pro", "acct"},
         "pro"},
        {"a flavor elsewhere does not count however new",
         {{"pro", true, true, 50}, {"acct", false, true, 90}},
         "",
         {"pro"},
         "pro"},
        {"without a time stamp installed but not current",
         {{"pro", true, false, 0}, {"acct", true, true, 10}},
         "",
         {"pro", "acct"},
         "acct"},
        {"no time stamp at all: no current flavor", {{"pro", true, false, 0}}, "", {"pro"}, ""},
        {"the last flavor is current over any time stamp",
         {{"pro", true, true, 50}, {"acct", true, true, 90}},
         "pro",
         {"pro", "acct"},
         "pro"},
        {"the last flavor is current even when installed elsewhere", {{"pro", false, true, 50}}, "prem", {}, "prem"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const tw::FlavorMatch match = CInstalledFlavors::MatchFlavors(c.records, c.lastFlavor);
        EXPECT_EQ(c.installed, match.installed);
        EXPECT_EQ(c.current, match.current);
    }
}

TEST(FlavorMatchTest, ValidFlavorNamesAreTheTextsAfterTheHyphen) {
    char first[] = "28.0-pro";
    char second[] = "28.0-acct-x";
    char noHyphen[] = "28.0";
    char* installs[] = {first, nullptr, second, noHyphen, first};
    EXPECT_EQ((std::set<std::string>{"pro", "acct-x"}), CInstalledFlavors::ValidFlavorNames(installs, 5));
    EXPECT_TRUE(CInstalledFlavors::ValidFlavorNames(nullptr, 3).empty());
}

}  // namespace
