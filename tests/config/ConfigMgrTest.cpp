#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "ConfigTestSupport.h"
#include "common/RunState.h"
#include "config/ConfigMgr.h"
#include "config/ConfigNotes.h"
#include "config/PatchIniMgr.h"
#include "fixtures/sampleproduct/SampleProduct.h"

using tw::AgentInfo;
using tw::CConfigMgr;
using Kind = tw::CConfigMgr::SectionKind;

namespace {

const std::string kProgramError =
    "Program error: The patch.ini file is not formatted correctly or there are other program errors";

class ConfigMgrTest : public configtest::ConfigTest {
protected:
    bool FirstPass(const std::string& ini) {
        WritePatchIni(ini);
        return config.ReadConfInfoFromFile(dir.Path().c_str());
    }
    std::vector<std::string> ListFiles() const {
        std::vector<std::string> files;
        for (auto* e = config.GetDeltaPatchList().Head(); e; e = e->next.get()) {
            std::string name = e->patchFile.substr(e->patchFile.rfind('\\') + 1);
            files.push_back(name);
        }
        return files;
    }

    CConfigMgr config;
};

TEST_F(ConfigMgrTest, SectionKindsInTestOrder) {
    struct Case {
        const char* name;
        Kind kind;
    } cases[] = {
        {"Title", Kind::Title},
        {"QATest", Kind::QaTest},
        {"HistoryPatch", Kind::HistoryPatch},
        {"MSI Info", Kind::Msi},
        {"R5->R7", Kind::DeltaPatch},
        {"AutoPatch", Kind::AutoPatch},
        {"TWRelatedApps", Kind::RelatedApps},
        {"AgentData", Kind::AgentData},
        {"PatchConfig", Kind::PatchConfig},
        {"Enable", Kind::Unknown},
        {"MSI Title", Kind::Title},
        {"HistoryPatch->MSI", Kind::HistoryPatch},
        {"MSI R5->R7", Kind::Msi},
        {"R5->R7 AutoPatch", Kind::DeltaPatch},
        {"", Kind::Unknown},
    };
    for (const auto& c : cases) EXPECT_EQ(c.kind, CConfigMgr::ClassifySection(c.name)) << c.name;
}

TEST_F(ConfigMgrTest, FirstPassCollectsSettings) {
    ASSERT_TRUE(
        FirstPass("[ Title ]\nProduct=Tallyworks 2028 Update\n"
                  "[Enable]\nIsNetEnabled=1\nIsFeatureEnabled=0\n"
                  "[PatchConfig]\nTWName=Tallyworks 2028\nTWFileVersion=30.0.4015.1\n"
                  "[AutoPatch]\nTWVersion=304015000\nCountry=IN\nServer=pds.local\nLastSchemaChangeReleaseNum=3\n"
                  "[MSI Info]\nProductCode={11111111-2222-3333-4444-555555555555}\nProductCodeStandard=\n"
                  "ReinstallMode=\nReinstall=Main\ncmdoptions=FIRST=1\nLoggingEnable=1\nLoggingMode=16383\n"
                  "SaveTempFiles=1\nLogInfoMsg=2\nLogProgressMsg=3\nSomethingElse=ignored\n"
                  "[MSI More]\ncmdoptions=\nProductCodeEnterprise={EEEE}\n"
                  "[AgentData]\nOneAgentData1=a , b,c,d,e\nOneAgentData2=AgentClass\n"
                  "[TWRelatedApps]\nOneTWRelatedApp1=Cls,Title,proc.exe,Display\n"
                  "[QATest]\nx=1\n"
                  "[HistoryPatch]\nHistoryPatch1=missing.msp\n"
                  "[R5->R7]\ndeltapatch=tw_core_missing.msp\n"
                  "[Whatever]\nk=v\n"));

    EXPECT_EQ("15", config.GetTWVersionDigits());
    EXPECT_EQ("IN", config.GetCountry());
    EXPECT_EQ("pds.local", config.GetServer());
    EXPECT_STREQ("Tallyworks 2028", config.GetTWName());
    EXPECT_STREQ("30.0.4015.1", config.GetTWFileVersion());
    EXPECT_STREQ("304015000", config.GetTWVersion());
    EXPECT_EQ(304015000L, config.GetTWVersionAsLong());
    EXPECT_STREQ(dir.Path().c_str(), config.GetPatchFolder());
    EXPECT_EQ(dir / "patch.ini", config.GetConfigFilePath());

    EXPECT_EQ("{11111111-2222-3333-4444-555555555555}", config.GetProductCode());
    EXPECT_EQ("Error! no standard product code.", config.GetProductCodeStandard());
    EXPECT_EQ("{EEEE}", config.GetProductCodeEnterprise());
    EXPECT_EQ("Main", config.GetReinstall());
    EXPECT_EQ("omus", config.GetReinstallMode());  // empty value keeps the default
    EXPECT_EQ("", config.GetCmdOptions());         // the later empty value empties it
    EXPECT_TRUE(config.GetLoggingEnable());
    EXPECT_EQ(16383, config.GetLoggingMode());
    EXPECT_TRUE(config.GetSaveTempFiles());
    EXPECT_EQ(2, config.GetLogInfoMsg());
    EXPECT_EQ(3, config.GetLogProgressMsg());

    std::vector<AgentInfo> agents = config.GetAgentList();
    ASSERT_EQ(2u, agents.size());
    EXPECT_EQ("a", *agents[0].windowClass);
    EXPECT_EQ("b", *agents[0].windowTitle);
    EXPECT_EQ("c", *agents[0].processName);
    EXPECT_EQ("d,e", *agents[0].displayName);
    EXPECT_EQ("AgentClass", *agents[1].windowClass);
    EXPECT_FALSE(agents[1].windowTitle.has_value());
    std::vector<AgentInfo> related = config.GetRelatedAppsList();
    ASSERT_EQ(1u, related.size());
    EXPECT_EQ("Display", *related[0].displayName);

    // History and unknown sections are logged; the delta-patch section is not looked at.
    EXPECT_TRUE(LogHas("CConfigMgr::ReadPatchIniFile: Section name \"HistoryPatch\" is unknown"));
    EXPECT_TRUE(LogHas("CConfigMgr::ReadPatchIniFile: Section name \"Whatever\" is unknown"));
    EXPECT_TRUE(LogHas("CConfigMgr::ReadPatchIniFile: Section name \"Enable\" is unknown"));
    EXPECT_FALSE(LogHas("R5->R7"));
    EXPECT_EQ(0u, config.GetDeltaPatchCount());
    EXPECT_TRUE(boxes.Calls().empty());

    EXPECT_STREQ("Tallyworks 2028 Update", config.GetProductTitle());
    EXPECT_STREQ("1", config.GetIsNetEnabled());
    EXPECT_STREQ("0", config.GetIsFeatureEnabled());

    // Reading again gives the same lists.
    ASSERT_TRUE(config.ReadConfInfoFromFile(dir.Path().c_str()));
    EXPECT_EQ(2u, config.GetAgentList().size());
}

TEST_F(ConfigMgrTest, DefaultsAndTitlesBeforeAnyRead) {
    EXPECT_EQ("Error! no standard product code.", config.GetProductCodeStandard());
    EXPECT_EQ("Error! no enterprise product code.", config.GetProductCodeEnterprise());
    EXPECT_EQ("", config.GetProductCode());
    EXPECT_EQ("ALL", config.GetReinstall());
    EXPECT_EQ("omus", config.GetReinstallMode());
    EXPECT_EQ(8159, config.GetLoggingMode());
    EXPECT_FALSE(config.GetLoggingEnable());
    EXPECT_FALSE(config.GetSaveTempFiles());
    EXPECT_EQ("", config.GetTWVersionDigits());
    EXPECT_EQ(10, config.GetVersionInfo().majorVersion);
    EXPECT_EQ(1, config.GetVersionInfo().revision);
    EXPECT_EQ(1, config.GetVersionInfo().build);
    EXPECT_STREQ("", config.GetProductTitle());
    EXPECT_STREQ("", config.GetIsNetEnabled());
}

TEST_F(ConfigMgrTest, AutoPatchKeysBySubstring) {
    ASSERT_TRUE(FirstPass("[autopatch]\nCountryServer=both\nTWVersion=\n"));
    EXPECT_EQ("both", config.GetCountry());
    EXPECT_EQ("both", config.GetServer());
    EXPECT_EQ("", config.GetTWVersionDigits());  // empty twversion leaves the digits alone
    CConfigMgr shortVersion;
    WritePatchIni("[AutoPatch]\nTWVersion=3040\n");
    ASSERT_TRUE(shortVersion.ReadConfInfoFromFile(dir.Path().c_str()));
    EXPECT_EQ("", shortVersion.GetTWVersionDigits());
    WritePatchIni("[AutoPatch]\nTWVersion=30401\n");
    ASSERT_TRUE(shortVersion.ReadConfInfoFromFile(dir.Path().c_str()));
    EXPECT_EQ("1", shortVersion.GetTWVersionDigits());
}

TEST_F(ConfigMgrTest, AgentListsHoldAtMostFiftyRecords) {
    std::string fifty = "[AgentData]\n";
    for (int i = 1; i <= 50; ++i) fifty += "OneAgentData" + std::to_string(i) + "=Class" + std::to_string(i) + "\n";
    ASSERT_TRUE(FirstPass(fifty));
    EXPECT_EQ(50u, config.GetAgentList().size());

    CConfigMgr second;
    WritePatchIni(fifty + "OneAgentData51=Class51\n");
    EXPECT_FALSE(second.ReadConfInfoFromFile(dir.Path().c_str()));
    // Keys come in key order, so the 51st handled is "OneAgentData9".
    EXPECT_TRUE(
        LogHas("CConfigMgr::ProcessAgentListSection: In the agent data section, key value pair skipped: "
               "OneAgentData9 = Class9"));

    CConfigMgr badKey;
    WritePatchIni("[TWRelatedApps]\nOneTWRelatedApp1=a\nSomething=b\n[PatchConfig]\nTWName=x\n");
    EXPECT_FALSE(badKey.ReadConfInfoFromFile(dir.Path().c_str()));
    EXPECT_TRUE(
        LogHas("CConfigMgr::ProcessAgentListSection: In the agent data section, key value pair skipped: "
               "Something = b"));
    EXPECT_STREQ("", badKey.GetTWName());  // the walk stopped
    EXPECT_TRUE(boxes.Calls().empty());
}

TEST_F(ConfigMgrTest, BadPatchConfigKeyFailsWithBox) {
    EXPECT_FALSE(FirstPass("[PatchConfig]\nTWName=Tallyworks 2028\nTWBogus=1\nTWFileVersion=28.0.1.1\n"));
    EXPECT_TRUE(
        LogHas("CConfigMgr::ProcessKeyValuePairsInOneSection: in the TWName and TWFileVersion section,  key "
               "and value pair skipped, the pair is TWBogus = 1"));
    ASSERT_EQ(1u, boxes.Calls().size());
    EXPECT_EQ(kProgramError, boxes.Calls()[0].text);
    EXPECT_EQ("Severe Error", boxes.Calls()[0].title);
    // Long values are cut to their fields.
    CConfigMgr longValues;
    WritePatchIni("[PatchConfig]\nTWName=" + std::string(300, 'n') + "\nTWFileVersion=" + std::string(100, '9') + "\n");
    ASSERT_TRUE(longValues.ReadConfInfoFromFile(dir.Path().c_str()));
    EXPECT_EQ(std::string(127, 'n'), longValues.GetTWName());
    EXPECT_EQ(std::string(31, '9'), longValues.GetTWFileVersion());
}

TEST_F(ConfigMgrTest, MalformedFilesAndFolders) {
    // Folder not given or too long.
    EXPECT_FALSE(config.ReadConfInfoFromFile(nullptr));
    EXPECT_FALSE(config.ReadPatchIniFile(""));
    EXPECT_TRUE(LogHas("In CConfigMgr::ReadConfInfoFromFile, directory name of the configuration file not given."));
    const std::string longFolder = "C:\\" + std::string(600, 'f');
    EXPECT_FALSE(config.ReadConfInfoFromFile(longFolder.c_str()));
    EXPECT_TRUE(LogHas("In CConfigMgr::ReadConfInfoFromFile, could not get the full file path name."));

    // The parser's errors leave both passes.
    const std::string path = dir / "patch.ini";
    EXPECT_THROW(config.ReadConfInfoFromFile(dir.Path().c_str()), std::runtime_error);  // missing file
    WritePatchIni("just text\n");
    EXPECT_THROW(config.ReadPatchIniFile(dir.Path().c_str()), std::runtime_error);
    WritePatchIni("[PatchConfig]\nTWName=x\n[QATest]\n");
    try {
        config.ReadConfInfoFromFile(dir.Path().c_str());
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ("Could not read the key and value pairs from the section: QATest", e.what());
    }
}

// Second pass against a scripted installed version 28.0.4005.1 (level 4, revision 5).
class SecondPassTest : public ConfigMgrTest {
protected:
    void SetUp() override {
        ConfigMgrTest::SetUp();
        ScriptInstalledVersion("28.0.4005.1");
        tw::CRunState::Get().productExePath = "C:\\Program Files\\Veltra\\Tallyworks\\tww32.exe";
        for (const char* name : {"tw_core_5_7.msp", "tw_core_7_8.msp", "hist_b.msp"}) WritePatchFile(name, 100);
    }
    static std::string Header(const char* twversion) {
        return std::string(
                   "[MSI]\nProductCode={PC}\n[PatchConfig]\nTWName=Tallyworks 2028\nTWFileVersion=28.0.4005.1\n") +
               "[AutoPatch]\nTWVersion=" + twversion + "\n";
    }
    bool BothPasses(const std::string& ini) {
        WritePatchIni(ini);
        return config.ReadConfInfoFromFile(dir.Path().c_str()) && config.ReadPatchIniFile(dir.Path().c_str());
    }
};

TEST_F(SecondPassTest, BuildsTheOrderedPatchList) {
    ASSERT_TRUE(BothPasses(Header("284008000") +
                           "[R3->R5]\ndeltapatch=tw_core_3_5.msp\n"      // skipped: installed revision 5
                           "[HistoryPatch]\nHistoryPatch1=hist_a.msp\n"  // skipped with it
                           "[R5->R7]\nreinstall=Main\ndeltapatch=tw_core_5_7.msp\n"
                           "[HistoryPatch2]\nHistoryPatch1=hist_b.msp\n"
                           "[R7->R8]\ncmdoptions=X=1\ndeltapatch=tw_core_7_8.msp\n"
                           "[R5->R07]\ndeltapatch=TW_CORE_5_7.MSP\n"  // the same file again
                           "[Title]\nProduct=x\n"));
    EXPECT_EQ("{PC}", lastProductCode);
    EXPECT_EQ((std::vector<std::string>{"tw_core_5_7.msp", "hist_b.msp", "tw_core_7_8.msp"}), ListFiles());
    EXPECT_EQ(3u, config.GetDeltaPatchCount());
    EXPECT_EQ(300ull, config.GetDeltaPatchTotalSize());
    const auto* first = config.GetDeltaPatchList().Head();
    EXPECT_EQ("C:\\Program Files\\Veltra\\Tallyworks", first->targetFolder);
    EXPECT_EQ(std::optional<std::string>("Main"), first->reinstall);
    EXPECT_EQ(std::optional<std::string>("X=1"), first->next->cmdOptions);  // the entry before its section
    EXPECT_EQ(8u, config.GetPatchRevision());
    EXPECT_EQ(5u, config.GetInstalledRevision());
    EXPECT_EQ(4, config.GetVersionInfo().installedLevel);
    EXPECT_TRUE(
        LogHas("The section R3->R5 in the patch.ini is skipped because revision on the machine is newer than "
               "that in the section"));
    EXPECT_TRUE(boxes.Calls().empty());

    // A second read gives the same list, and take-first empties it in order.
    ASSERT_TRUE(config.ReadPatchIniFile(dir.Path().c_str()));
    EXPECT_EQ(3u, config.GetDeltaPatchCount());
    auto taken = config.GetDeltaPatchList().TakeFirst();
    EXPECT_EQ(dir / "tw_core_5_7.msp", taken->patchFile);
    EXPECT_EQ(2u, config.GetDeltaPatchCount());
}

TEST_F(SecondPassTest, FailuresStopThePass) {
    struct Case {
        const char* name;
        std::string ini;
        std::string box;  // expected last box text, empty: none
    } cases[] = {
        {"delta section before the auto-patch section",
         "[PatchConfig]\nTWFileVersion=28.0.4005.1\n[R5->R7]\ndeltapatch=tw_core_5_7.msp\n[AutoPatch]\nTWVersion="
         "284008000\n",
         "The patch.ini file is not well formated:\nTrying to update to a revision higher than that in TWVersion. "
         "\nDelta patch section is from revision: 5 to revision: 7 \nwhile the revision in TWVersion is: 0\n"},
        {"installed revision newer", Header("284004000") + "[R5->R7]\ndeltapatch=tw_core_5_7.msp\n", ""},
        {"ill-formed section", Header("284008000") + "[R6->R5]\ndeltapatch=tw_core_5_7.msp\n",
         "The section name R6->R5 in the patch.ini file is ill formed"},
        {"patch file missing", Header("284008000") + "[R5->R7]\ndeltapatch=tw_core_5_6.msp\n", "missing"},
        {"patch name without _core_", Header("284008000") + "[R5->R7]\ndeltapatch=tw_5_7.msp\n",
         "Patch name not formed correctly.  Unknown patch name: tw_5_7.msp"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CConfigMgr fresh;
        WritePatchIni(c.ini);
        ASSERT_TRUE(fresh.ReadConfInfoFromFile(dir.Path().c_str()));
        const size_t boxesBefore = boxes.Calls().size();
        EXPECT_FALSE(fresh.ReadPatchIniFile(dir.Path().c_str(), "C:\\TW", "{PC}"));
        if (c.box.empty()) {
            EXPECT_EQ(boxesBefore, boxes.Calls().size());
        } else if (c.box == "missing") {
            ASSERT_EQ(boxesBefore + 1, boxes.Calls().size());
            EXPECT_EQ("Tallyworks Update Files Missing", boxes.Calls().back().title);
            EXPECT_NE(std::string::npos, boxes.Calls().back().text.find(dir / "tw_core_5_6.msp"));
        } else {
            ASSERT_EQ(boxesBefore + 1, boxes.Calls().size());
            EXPECT_EQ(c.box, boxes.Calls().back().text);
        }
    }
}

// What a pass records is what it writes and shows when it announces: the update-folder
// checker reports the recorded texts, so they must be the installer's own, in order, and
// recording must neither write to the patch log nor show a box.
TEST_F(SecondPassTest, RecordedPassesSayWhatAnnouncedOnesDo) {
    const std::string installed = "28.0.4005.1";
    const struct Case {
        const char* name;
        std::string ini;
    } cases[] = {
        {"accepted, with a skipped section",
         Header("284008000") + "[R3->R5]\ndeltapatch=tw_core_3_5.msp\n[R5->R7]\ndeltapatch=tw_core_5_7.msp\n"},
        {"unknown section and gate keys",
         Header("284008000") +
             "Country=IN\nServer=pds\nBogus=1\n[Whatever]\nk=v\n[R5->R7]\ndeltapatch=tw_core_5_7.msp\n"},
        {"bad patch configuration key", "[PatchConfig]\nTWName=x\nOther=y\n"},
        {"level differs", Header("283008000") + "[R5->R7]\ndeltapatch=tw_core_5_7.msp\n"},
        {"major differs", Header("294008000")},
        {"short target version", Header("2840")},
        {"ill-formed section", Header("284008000") + "[R6->R5]\ndeltapatch=tw_core_5_7.msp\n"},
        {"patch file missing", Header("284008000") + "[R5->R7]\ndeltapatch=tw_core_5_6.msp\n"},
        {"unknown section key", Header("284008000") + "[R5->R7]\ndeltapatch=tw_core_5_7.msp\nodd=1\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WritePatchIni(c.ini);

        // Announced: the texts as the patch log and the boxes have them.
        const std::string logBefore = Log();
        const size_t boxesBefore = boxes.Calls().size();
        CConfigMgr announced;
        const bool firstOk = announced.ReadConfInfoFromFile(dir.Path().c_str());
        const bool secondOk = firstOk && announced.ReadPatchIniFile(dir.Path().c_str(), "C:\\TW", "{PC}");
        const std::string logged = Log().substr(logBefore.size());
        std::vector<std::string> shown;
        for (size_t i = boxesBefore; i < boxes.Calls().size(); ++i) shown.push_back(boxes.Calls()[i].text);

        // Recorded: the same verdicts and texts, nothing written or shown.
        const std::string logAfter = Log();
        const size_t boxesAfter = boxes.Calls().size();
        tw::CConfigNotes notes;
        CConfigMgr recorded;
        EXPECT_EQ(firstOk, recorded.ReadConfInfoFromFile(dir.Path().c_str(), notes));
        if (firstOk) {
            const auto readInstalled = [&installed](tw::PatchIniMgr::InstalledVersion& version) {
                return tw::PatchIniMgr::ParseVersionString(installed.c_str(), version);
            };
            EXPECT_EQ(secondOk, recorded.ReadPatchIniFile(dir.Path().c_str(), "C:\\TW", readInstalled, notes));
        }
        EXPECT_EQ(logAfter, Log());
        EXPECT_EQ(boxesAfter, boxes.Calls().size());
        std::string recordedLog;
        for (const std::string& line : notes.LoggedTexts()) recordedLog += line + "\n";
        EXPECT_NE(std::string::npos, logged.rfind(recordedLog)) << logged;
        EXPECT_EQ(logged.size(), logged.rfind(recordedLog) + recordedLog.size()) << logged;
        EXPECT_EQ(shown, notes.ShownTexts());
        EXPECT_EQ(announced.GetDeltaPatchCount(), recorded.GetDeltaPatchCount());
    }
}

// A pass that the parser's error ends still writes what it found before the error.
TEST_F(ConfigMgrTest, ParserErrorAfterFindingsStillLogsThem) {
    WritePatchIni("[Whatever]\nk=v\n[PatchConfig]\nTWName=x\n[QATest]\n");
    EXPECT_THROW(config.ReadConfInfoFromFile(dir.Path().c_str()), std::runtime_error);
    EXPECT_TRUE(LogHas("CConfigMgr::ReadPatchIniFile: Section name \"Whatever\" is unknown"));
}

// The gate against the sample product really installed into the prefix through
// Windows Installer (VersionString 28.0.4005.1).
TEST_F(ConfigMgrTest, GateAgainstRealInstalledProduct) {
    ASSERT_TRUE(twtest::sampleproduct::EnsureInstalled()) << twtest::sampleproduct::MsiPath();
    char version[260] = {};
    DWORD size = sizeof(version);
    ASSERT_EQ(ERROR_SUCCESS, MsiGetProductInfoA(twtest::sampleproduct::kProductCode, "VersionString", version, &size));
    EXPECT_STREQ(twtest::sampleproduct::kProductVersion, version);
    // The product's executable as Windows Installer knows it gives the installation folder.
    char exePath[260] = {};
    size = sizeof(exePath);
    ASSERT_EQ(INSTALLSTATE_LOCAL, MsiGetComponentPathA(twtest::sampleproduct::kProductCode,
                                                       twtest::sampleproduct::kExeComponent, exePath, &size));
    tw::CRunState::Get().productExePath = exePath;

    WritePatchFile("tw_core_5_7.msp", 64);
    const std::string head = std::string("[MSI Info]\nProductCode=") + twtest::sampleproduct::kProductCode +
                             "\n[PatchConfig]\nTWFileVersion=28.0.4005.1\n";
    WritePatchIni(head +
                  "[AutoPatch]\nTWVersion=284007000\n[R3->R5]\ndeltapatch=tw_core_3_5.msp\n"
                  "[R5->R7]\ndeltapatch=tw_core_5_7.msp\n");
    ASSERT_TRUE(config.ReadConfInfoFromFile(dir.Path().c_str()));
    ASSERT_TRUE(config.ReadPatchIniFile(dir.Path().c_str()));
    EXPECT_EQ(5u, config.GetInstalledRevision());
    EXPECT_EQ(4, config.GetVersionInfo().installedLevel);
    EXPECT_EQ((std::vector<std::string>{"tw_core_5_7.msp"}), ListFiles());
    EXPECT_EQ(tw::CRunState::Get().ProductDir(), config.GetDeltaPatchList().Head()->targetFolder);
    EXPECT_NE(std::string::npos, config.GetDeltaPatchList().Head()->targetFolder.find("Tallyworks"));
    EXPECT_TRUE(boxes.Calls().empty());

    // A patch for another major version is refused.
    WritePatchIni(std::string("[MSI Info]\nProductCode=") + twtest::sampleproduct::kProductCode +
                  "\n[PatchConfig]\nTWFileVersion=29.0.1.1\n[AutoPatch]\nTWVersion=294007000\n");
    CConfigMgr other;
    ASSERT_TRUE(other.ReadConfInfoFromFile(dir.Path().c_str()));
    EXPECT_FALSE(other.ReadPatchIniFile(dir.Path().c_str()));
    ASSERT_EQ(1u, boxes.Calls().size());
    EXPECT_EQ("Installed Tallyworks version = 28 not matched with the version = 29 in the patch",
              boxes.Calls()[0].text);
}

}  // namespace
