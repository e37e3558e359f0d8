#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ConfigTestSupport.h"
#include "common/ProductConstants.h"
#include "common/TextUtil.h"
#include "config/DeltaPatchInfo.h"
#include "config/DeltaPatchList.h"
#include "config/GeneralUtil.h"
#include "config/PatchIniMgr.h"

using tw::CDeltaPatchInfo;
using tw::CDeltaPatchList;
using tw::KeyValueMap;
using tw::PatchIniMgr;
using tw::TWVersionInfo;

namespace {

const std::string kProgramError =
    "Program error: The patch.ini file is not formatted correctly or there are other program errors";

class PatchIniMgrTest : public configtest::ConfigTest {
protected:
    std::string FilesMissingText(const std::string& path) const {
        return "Problem\nError 13. Unable to locate the update file.\n " + path +
               " \n\nSolution\nRepair the Tallyworks installation and then reset the update.  \nFor detailed "
               "solution steps, write down the error number and then type the following into a Web browser:\n\n" +
               tw::product::kSupportPageUrl;
    }
};

TEST_F(PatchIniMgrTest, AssignVersionInfoReadsFixedPositions) {
    struct Case {
        const char* text;
        int major, level, revision, build;
        bool error;
    } cases[] = {
        {"304015000", 30, 4, 15, 0, false},
        {"284007123", 28, 4, 7, 123, false},
        {"2840071234", 28, 4, 7, 123, false},  // characters after the ninth are not read
        {"2a4x07b23", 2, 4, 0, 0, false},      // a non-digit ends its group's number
        {"28400712", 10, 0, 1, 1, true},       // 8 characters: defaults kept
        {"", 10, 0, 1, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        TWVersionInfo info;
        tw::SafeCopy(info.targetVersion, c.text);
        size_t boxesBefore = boxes.Calls().size();
        PatchIniMgr::AssignVersionInfo(info);
        EXPECT_EQ(c.major, info.majorVersion);
        EXPECT_EQ(c.level, info.level);
        EXPECT_EQ(c.revision, info.revision);
        EXPECT_EQ(c.build, info.build);
        EXPECT_EQ(c.error ? boxesBefore + 1 : boxesBefore, boxes.Calls().size());
        if (c.error) {
            EXPECT_EQ(kProgramError, boxes.Calls().back().text);
            EXPECT_EQ("Severe Error", boxes.Calls().back().title);
        }
    }
    EXPECT_TRUE(LogHas("In PatchIniMgr::AssignVersionInfo: TWVersion value is incorrect."));
}

TEST_F(PatchIniMgrTest, LevelNames) {
    const char* names[] = {"Unknown", "Pre-alpha", "Alpha", "Beta", "Release", "Unknown"};
    for (int i = 0; i <= 5; ++i) EXPECT_STREQ(names[i], PatchIniMgr::LevelName(i));
    EXPECT_STREQ("Unknown", PatchIniMgr::LevelName(-1));
}

// One gate case: the TWFileVersion, the pairs of the auto-patch section, the installed
// "VersionString" (empty: cannot be read), and what must come out.
struct GateCase {
    const char* name;
    const char* fileVersion;
    KeyValueMap pairs;
    const char* installed;
    bool result;
    std::vector<std::string> boxTexts;
    std::vector<std::string> logLines;
    uint32_t patchRevision;
    uint32_t installedRevision;
};

TEST_F(PatchIniMgrTest, VersionGate) {
    const std::string unable =
        "Unable to locate Tallyworks version information. \n Please reinstall or repair Tallyworks before patching "
        "again. ";
    const GateCase cases[] = {
        {"newer patch passes", "28.0.4005.1", {{"twversion", "284007000"}}, "28.0.4005.1", true, {}, {}, 7, 5},
        {"equal revision passes", "28.0.4005.1", {{"TWVersion", "284005000"}}, "28.0.4005.1", true, {}, {}, 5, 5},
        {"older revision fails without box",
         "28.0.4005.1",
         {{"twversion", "284003000"}},
         "28.0.4005.1",
         false,
         {},
         {"In PatchIniMgr::ProcessOneKeyValuePairInTWVersionSection,  file revision of tww32.exe on user's machine is "
          "newer than or same as the current revision indicated in the patch.ini file.",
          "Revision in patch.ini = 3 and revision of the tww32.exe = 5"},
         3,
         5},
        {"other installed major",
         "28.0.4005.1",
         {{"twversion", "284007000"}},
         "27.0.4005.1",
         false,
         {"Installed Tallyworks version = 27 not matched with the version = 28 in the patch"},
         {"In PatchIniMgr::ProcessOneKeyValuePairInTWVersionSection,  major file version in Windows Registry on "
          "user's machine not matched with the current major version indicated in the patch.ini file.",
          "Installed Tallyworks version = 27 not matched with the version = 28 in the patch"},
         7,
         5},
        {"other level",
         "28.0.4005.1",
         {{"twversion", "283007000"}},
         "28.0.4005.1",
         false,
         {"Can't apply the Beta version of the patch to the Release version of Tallyworks."},
         {"In PatchIniMgr::ProcessOneKeyValuePairInTWVersionSection, level of tww32.exe on user's machine not equal "
          "to level in patch.ini.",
          "Level in patch.ini = 3 and level of the tww32.exe = 4"},
         7,
         5},
        {"file version missing",
         "",
         {{"twversion", "284007000"}},
         "28.0.4005.1",
         false,
         {"TWFileVersion in the patch.ini file is not available"},
         {"TWFileVersion in the patch.ini file is not available"},
         7,
         0},
        {"file version of another major",
         "27.0.1.1",
         {{"twversion", "284007000"}},
         "28.0.4005.1",
         false,
         {"Major version (27) of TWFileVersion in the patch.ini file not matched with that (28) in the patch.ini "
          "file"},
         {"Major version (27) of TWFileVersion in the patch.ini file not matched with that (28) in the patch.ini "
          "file"},
         7,
         0},
        {"installed version unreadable goes on with the next pairs",
         "28.0.4005.1",
         {{"country", "IN"}, {"twversion", "284007000"}, {"zserver", "pds"}},
         "",
         false,
         {unable},
         {"New key - Country in patch.ini added. \n Patch installer is suppressing the popup message. ",
          "In PatchIniMgr::ProcessOneKeyValuePairInTWVersionSection,  Unable to locate file version information for "
          "file C:\\Program Files\\Tallyworks\\tww32.exe. ",
          unable, "New key - Server PDS in patch.ini added. \n Patch installer is suppressing the popup message. "},
         7,
         0},
        {"installed version without three numbers",
         "28.0.4005.1",
         {{"twversion", "284007000"}},
         "28.0",
         false,
         {unable},
         {unable},
         7,
         0},
        {"short twversion keeps the default numbers",
         "10.0.1.1",
         {{"twversion", "10400100"}},
         "10.0.1.0",
         true,
         {kProgramError},
         {"In PatchIniMgr::AssignVersionInfo: TWVersion value is incorrect."},
         1,
         1},
        {"invalid key reported, result unchanged",
         "28.0.4005.1",
         {{"Bogus", "1"}, {"lastschemachangereleasenum", "9"}, {"twversion", "284007000"}},
         "28.0.4005.1",
         true,
         {kProgramError},
         {"PatchIniMgr::ProcessOneKeyValuePairInTWVersionSection: Invalid key name \"Bogus\""},
         7,
         5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t boxesBefore = boxes.Calls().size();
        ScriptInstalledVersion(c.installed);
        TWVersionInfo info;
        tw::SafeCopy(info.productFileVersion, c.fileVersion);
        bool result = PatchIniMgr::ProcessOneKeyValuePairInTWVersionSection(
            info, c.pairs, "C:\\Program Files\\Tallyworks", "{PRODUCT-CODE}");
        EXPECT_EQ(c.result, result);
        std::vector<std::string> texts;
        for (size_t i = boxesBefore; i < boxes.Calls().size(); ++i) {
            texts.push_back(boxes.Calls()[i].text);
            EXPECT_EQ("Severe Error", boxes.Calls()[i].title);
            EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), boxes.Calls()[i].type);
            EXPECT_EQ(nullptr, boxes.Calls()[i].owner);
        }
        EXPECT_EQ(c.boxTexts, texts);
        // The lines appear in this order in the log.
        const std::string log = Log();
        size_t pos = 0;
        for (const auto& line : c.logLines) {
            size_t found = log.find(line + "\n", pos);
            EXPECT_NE(std::string::npos, found) << line;
            if (found != std::string::npos) pos = found + line.size();
        }
        EXPECT_EQ(c.patchRevision, info.patchRevision);
        EXPECT_EQ(c.installedRevision, info.installedRevision);
        if (c.installed[0] != '\0' && c.fileVersion[0] != '\0') {
            EXPECT_EQ("{PRODUCT-CODE}", lastProductCode);
        }
    }
}

struct SectionCase {
    std::string name;
    uint32_t installed, patch;
    int32_t level;
    bool result, skip;
    std::string box;  // empty: none
};

std::string IllFormed(const std::string& name) {
    return "The section name " + name + " in the patch.ini file is ill formed";
}

std::string TooHigh(int from, int to, int patch) {
    return "The patch.ini file is not well formated:\nTrying to update to a revision higher than that in TWVersion. "
           "\nDelta patch section is from revision: " +
           std::to_string(from) + " to revision: " + std::to_string(to) +
           " \nwhile the revision in TWVersion is: " + std::to_string(patch) + "\n";
}

TEST_F(PatchIniMgrTest, DeltaPatchSectionNames) {
    const std::string longName = "R" + std::string(599, '1') + "->R5";
    const std::string longTarget = "R1->R" + std::string(600, '9');
    const SectionCase cases[] = {
        {"R4->R5", 4, 7, 0, true, false, ""},
        {"R5->R7", 5, 7, 0, true, false, ""},
        {"R3->R5", 4, 7, 0, true, true, ""},
        {"R5->R9", 5, 7, 0, false, true, TooHigh(5, 9, 7)},
        {"R0->R5", 0, 7, 0, false, true, IllFormed("R0->R5")},
        {"R6->R5", 0, 7, 0, false, true, IllFormed("R6->R5")},
        {"R->", 0, 7, 0, false, true, IllFormed("R->")},
        {"->", 0, 7, 0, false, true, IllFormed("->")},
        {"R5->R", 0, 7, 0, false, true, IllFormed("R5->R")},
        {"R5-R7", 0, 7, 0, false, true, IllFormed("R5-R7")},
        // Numbers too large for 32 bits saturate instead of wrapping.
        {longName, 0, 7, 0, false, true, IllFormed(longName)},
        {longTarget, 0, 7, 0, false, true, TooHigh(1, -1, 7)},
        {"B5->B7", 5, 7, 3, true, false, ""},
        {"B5->B7", 5, 7, 4, false, true,
         "Cannot install the upgrade because it does not apply to this version of Tallyworks."},
        {"R5->R7", 5, 7, 4, true, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.substr(0, 40));
        CDeltaPatchList list;
        bool skip = !c.skip;
        const size_t boxesBefore = boxes.Calls().size();
        EXPECT_EQ(c.result,
                  PatchIniMgr::ProcessNewDeltaPatchSection(list, c.name.c_str(), c.installed, c.patch, skip, c.level));
        EXPECT_EQ(c.skip, skip);
        EXPECT_EQ(0u, list.Count());
        if (c.box.empty()) {
            EXPECT_EQ(boxesBefore, boxes.Calls().size());
            continue;
        }
        ASSERT_EQ(boxesBefore + 1, boxes.Calls().size());
        EXPECT_EQ(c.box, boxes.Calls().back().text);
        EXPECT_EQ("Severe Error", boxes.Calls().back().title);
        EXPECT_TRUE(LogHas(c.box));
    }
    EXPECT_TRUE(
        LogHas("The section R3->R5 in the patch.ini is skipped because revision on the machine is newer than "
               "that in the section\nThe delta patch section is from revision: 3 to revision: 5 while the "
               "tww32.exe has the revision: 4 and the latest revision in patch.ini is: 7\n"));
}

TEST_F(PatchIniMgrTest, CreateOneEntry) {
    WritePatchFile("tw_core_a.msp", 100);
    WritePatchFile("tw_core_b.msp", 250);
    const std::string a = dir / "tw_core_a.msp";
    const std::string b = dir / "tw_core_b.msp";
    CDeltaPatchList list;

    EXPECT_TRUE(PatchIniMgr::CreateOneEntry(list, a.c_str(), "C:\\TW"));
    EXPECT_TRUE(PatchIniMgr::CreateOneEntry(list, b.c_str(), "C:\\TW"));
    // The same file for the same folder, in other case, is added once.
    std::string upper = a;
    for (char& ch : upper) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
    EXPECT_TRUE(PatchIniMgr::CreateOneEntry(list, upper.c_str(), "c:\\tw"));
    // The same file for another folder is another entry.
    EXPECT_TRUE(PatchIniMgr::CreateOneEntry(list, a.c_str(), "D:\\TW"));
    EXPECT_EQ(3u, list.Count());
    EXPECT_EQ(450ull, list.TotalSize());
    EXPECT_TRUE(boxes.Calls().empty());

    // Missing file: log line and the files-missing box.
    const std::string missing = dir / "tw_core_missing.msp";
    EXPECT_FALSE(PatchIniMgr::CreateOneEntry(list, missing.c_str(), "C:\\TW"));
    ASSERT_EQ(1u, boxes.Calls().size());
    EXPECT_EQ(FilesMissingText(missing), boxes.Calls()[0].text);
    EXPECT_EQ("Tallyworks Update Files Missing", boxes.Calls()[0].title);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONWARNING), boxes.Calls()[0].type);
    EXPECT_TRUE(
        LogHas("In PatchIniMgr::CreateOneEntry, can not find the patch file " + missing + ".  Error code = 2\n"));

    // Null and empty names.
    EXPECT_FALSE(PatchIniMgr::CreateOneEntry(list, nullptr, "C:\\TW"));
    EXPECT_FALSE(PatchIniMgr::CreateOneEntry(list, a.c_str(), nullptr));
    EXPECT_TRUE(LogHas("PatchIniMgr::CreateOneEntry: no file or dir name given (NULL)."));
    EXPECT_EQ(1u, boxes.Calls().size());
    EXPECT_FALSE(PatchIniMgr::CreateOneEntry(list, "", "C:\\TW"));
    EXPECT_TRUE(LogHas("In PatchIniMgr::CreateOneEntry, no file or dir name given (Zero length)."));
    ASSERT_EQ(2u, boxes.Calls().size());
    EXPECT_EQ("Tallyworks Update Files Missing", boxes.Calls()[1].title);
    EXPECT_NE(std::string::npos, boxes.Calls()[1].text.find("Unable to locate the update file."));
    EXPECT_NE(std::string::npos, boxes.Calls()[1].text.find(tw::product::kSupportPageUrl));
    EXPECT_NE(std::string::npos, boxes.Calls()[1].text.find("customer support"));
    EXPECT_EQ(3u, list.Count());
}

TEST_F(PatchIniMgrTest, DeltaPatchListOperations) {
    CDeltaPatchList list;
    EXPECT_EQ(0u, list.Count());
    EXPECT_EQ(nullptr, list.TakeFirst());
    EXPECT_EQ(nullptr, list.LastAdded());
    PatchIniMgr::AddPatch(list, "one.msp", "C:\\TW", 10);
    PatchIniMgr::AddPatch(list, "two.msp", "C:\\TW", 20);
    EXPECT_EQ("two.msp", list.LastAdded()->patchFile);
    EXPECT_EQ(2u, list.Count());
    EXPECT_EQ(30ull, list.TotalSize());
    auto first = list.TakeFirst();
    ASSERT_NE(nullptr, first);
    EXPECT_EQ("one.msp", first->patchFile);
    EXPECT_EQ(nullptr, first->next);
    auto second = list.TakeFirst();
    ASSERT_NE(nullptr, second);
    EXPECT_EQ("two.msp", second->patchFile);
    EXPECT_TRUE(list.Empty());
    EXPECT_EQ(nullptr, list.LastAdded());
    // Appending after the list ran empty starts a new chain.
    PatchIniMgr::AddPatch(list, "three.msp", "C:\\TW", 5);
    EXPECT_EQ(1u, list.Count());
    EXPECT_EQ("three.msp", list.Head()->patchFile);
}

TEST_F(PatchIniMgrTest, DeltaPatchSectionPairs) {
    WritePatchFile("tw_core_5_6.msp", 40);
    WritePatchFile("TW_CORE_6_7.msp", 60);
    WritePatchFile("history_1.msp", 7);
    const std::string folder = dir.Path();
    CDeltaPatchList list;

    // Key order: cmdoptions before deltapatch, so it lands on no entry (dropped).
    KeyValueMap first = {{"cmdoptions", "EARLY=1"},
                         {"deltapatch", "tw_core_5_6.msp"},
                         {"reinstall", "Main"},
                         {"reinstallmode", "vomus"}};
    EXPECT_TRUE(CDeltaPatchInfo::Initialize(list, first, folder.c_str(), "C:\\TW"));
    ASSERT_EQ(1u, list.Count());
    const CDeltaPatchList::Entry* e1 = list.Head();
    EXPECT_EQ(dir / "tw_core_5_6.msp", e1->patchFile);
    EXPECT_EQ("C:\\TW", e1->targetFolder);
    EXPECT_EQ(40u, e1->size);
    EXPECT_FALSE(e1->cmdOptions.has_value());
    EXPECT_EQ(std::optional<std::string>("Main"), e1->reinstall);
    EXPECT_EQ(std::optional<std::string>("vomus"), e1->reinstallMode);

    // The next section's cmdoptions applies to the entry added before it; "_core_" in any case.
    KeyValueMap second = {{"cmdoptions", ""}, {"deltapatch", "TW_CORE_6_7.msp"}};
    EXPECT_TRUE(CDeltaPatchInfo::Initialize(list, second, folder.c_str(), "C:\\TW"));
    ASSERT_EQ(2u, list.Count());
    EXPECT_EQ(std::optional<std::string>(""), list.Head()->cmdOptions);
    EXPECT_EQ(100ull, list.TotalSize());

    // History patch: no "_core_" needed; an unknown key is reported but does not fail.
    KeyValueMap history = {{"HistoryPatch1", "history_1.msp"}, {"whatever", "x"}};
    EXPECT_TRUE(CDeltaPatchInfo::Initialize(list, history, folder.c_str(), "C:\\TW"));
    EXPECT_EQ(3u, list.Count());
    ASSERT_EQ(1u, boxes.Calls().size());
    EXPECT_EQ(kProgramError, boxes.Calls()[0].text);
    EXPECT_TRUE(LogHas("CDeltaPatchInfo::ProcessOneKeyValuePair: unknown key name \"whatever\" or value \"x\""));

    // A deltapatch value without "_core_" stops the section.
    KeyValueMap bad = {{"deltapatch", "tw_patch_7_8.msp"}, {"reinstall", "X"}};
    EXPECT_FALSE(CDeltaPatchInfo::Initialize(list, bad, folder.c_str(), "C:\\TW"));
    ASSERT_EQ(2u, boxes.Calls().size());
    EXPECT_EQ("Patch name not formed correctly.  Unknown patch name: tw_patch_7_8.msp", boxes.Calls()[1].text);
    EXPECT_TRUE(LogHas("Patch name not formed correctly.  Unknown patch name: tw_patch_7_8.msp"));
    EXPECT_FALSE(list.LastAdded()->reinstall.has_value());

    // A listed file that is not on disk fails with the files-missing box.
    KeyValueMap missing = {{"deltapatch", "tw_core_9_9.msp"}};
    EXPECT_FALSE(CDeltaPatchInfo::Initialize(list, missing, folder.c_str(), "C:\\TW"));
    ASSERT_EQ(3u, boxes.Calls().size());
    EXPECT_EQ(FilesMissingText(dir / "tw_core_9_9.msp"), boxes.Calls()[2].text);

    // A value longer than any path gives a clear failure.
    KeyValueMap huge = {{"deltapatch", std::string(4999, 'a') + "_core_.msp"}};
    EXPECT_FALSE(CDeltaPatchInfo::Initialize(list, huge, folder.c_str(), "C:\\TW"));
    EXPECT_EQ(3u, list.Count());
}

// Packages are taken from the update folder only: names that climb out of it, name another
// drive or folder, or a device are refused as a missing file, though the file is there.
TEST_F(PatchIniMgrTest, PatchFilesOutsideTheUpdateFolderAreRefused) {
    twtest::TempDir elsewhere("elsewhere");
    const std::string folder = dir.Path();
    const std::string outside = folder + "\\..\\tw_core_outside.msp";
    ASSERT_TRUE(twtest::WriteTextFile(outside, std::string(30, 'p')));
    ASSERT_TRUE(twtest::WriteTextFile(elsewhere / "tw_core_abs.msp", std::string(30, 'p')));
    ASSERT_TRUE(twtest::MakeDirs(dir / "sub"));
    ASSERT_TRUE(twtest::WriteTextFile(dir / "sub\\tw_core_sub.msp", std::string(30, 'p')));
    ASSERT_TRUE(twtest::WriteTextFile(dir / "tw_core_in.msp", std::string(30, 'p')));
    const std::string absolute = elsewhere / "tw_core_abs.msp";
    const std::string noDrive = absolute.substr(2);  // "\\...": the root of the folder's drive
    const std::string driveRelative = absolute.substr(0, 2) + absolute.substr(3);

    struct Case {
        std::string key, value;
        bool accepted;
    } cases[] = {
        {"deltapatch", "tw_core_in.msp", true},
        {"deltapatch", "sub\\tw_core_sub.msp", true},
        {"deltapatch", "sub/tw_core_sub.msp", true},
        {"deltapatch", "..\\tw_core_outside.msp", false},
        {"deltapatch", "sub\\..\\..\\tw_core_outside.msp", false},
        {"deltapatch", "../tw_core_outside.msp", false},
        {"deltapatch", absolute, false},
        {"deltapatch", noDrive, false},
        {"deltapatch", driveRelative, false},
        {"deltapatch", "\\\\localhost\\share\\tw_core_unc.msp", false},
        {"historypatch1", "NUL", false},
        {"historypatch1", "con.msp", false},
        {"historypatch1", "sub\\COM1", false},
        {"historypatch1", "lpt9.txt", false},
        {"deltapatch", "tw_core_*.msp", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        tw::CDeltaPatchList list;
        const size_t boxesBefore = boxes.Calls().size();
        const bool ok = CDeltaPatchInfo::Initialize(list, KeyValueMap{{c.key, c.value}}, folder.c_str(), "C:\\TW");
        EXPECT_EQ(c.accepted, ok);
        EXPECT_EQ(c.accepted ? 1u : 0u, list.Count());
        if (c.accepted) continue;
        ASSERT_EQ(boxesBefore + 1, boxes.Calls().size());
        EXPECT_EQ("Tallyworks Update Files Missing", boxes.Calls().back().title);
        EXPECT_TRUE(LogHas("In CDeltaPatchInfo::ProcessOneKeyValuePair, the patch file " + c.value +
                           " does not lie in the update folder " + folder + "."));
    }
    ::DeleteFileA(outside.c_str());
}

}  // namespace

namespace {

using Verdict = PatchIniMgr::VersionGateVerdict;

// The gate's two verdicts without a product, a log or a box: outcome, box text, whether the
// box text is logged, and the log lines before it.
TEST(VersionGateVerdictTest, DecidesFromTargetAndInstalledVersion) {
    struct Case {
        const char* name;
        const char* fileVersion;
        int32_t major;
        uint32_t patchRevision;
        int32_t patchLevel;
        bool installedKnown;
        PatchIniMgr::InstalledVersion installed;
        Verdict::Outcome outcome;
        const char* shown;
        bool logShown;
        std::vector<std::string> logLines;
    } cases[] = {
        {"newer revision", "28.0", 28, 7, 4, true, {28, 0, 4, 5, 1}, Verdict::kPass, "", false, {}},
        {"same revision", "28.0", 28, 5, 4, true, {28, 0, 4, 5, 1}, Verdict::kPass, "", false, {}},
        {"no file version",
         "",
         28,
         7,
         4,
         true,
         {28, 0, 4, 5, 1},
         Verdict::kStop,
         "TWFileVersion in the patch.ini file is not available",
         true,
         {}},
        {"file version of another major",
         "27.0",
         28,
         7,
         4,
         true,
         {28, 0, 4, 5, 1},
         Verdict::kStop,
         "Major version (27) of TWFileVersion in the patch.ini file not matched with that (28) in the patch.ini file",
         true,
         {}},
        {"installed version unknown",
         "28.0",
         28,
         7,
         4,
         false,
         {},
         Verdict::kFail,
         "Unable to locate Tallyworks version information. \n Please reinstall or repair Tallyworks before patching "
         "again. ",
         true,
         {"In PatchIniMgr::ProcessOneKeyValuePairInTWVersionSection,  Unable to locate file version information for "
          "file C:\\TW\\tww32.exe. "}},
        {"installed major differs",
         "28.0",
         28,
         7,
         4,
         true,
         {27, 0, 4, 5, 1},
         Verdict::kFail,
         "Installed Tallyworks version = 27 not matched with the version = 28 in the patch",
         true,
         {"In PatchIniMgr::ProcessOneKeyValuePairInTWVersionSection,  major file version in Windows Registry on "
          "user's machine not matched with the current major version indicated in the patch.ini file."}},
        {"older revision",
         "28.0",
         28,
         3,
         4,
         true,
         {28, 0, 4, 5, 1},
         Verdict::kFail,
         "",
         false,
         {"In PatchIniMgr::ProcessOneKeyValuePairInTWVersionSection,  file revision of tww32.exe on user's machine is "
          "newer than or same as the current revision indicated in the patch.ini file.",
          "Revision in patch.ini = 3 and revision of the tww32.exe = 5"}},
        {"other level is shown, not logged",
         "28.0",
         28,
         7,
         3,
         true,
         {28, 0, 4, 5, 1},
         Verdict::kFail,
         "Can't apply the Beta version of the patch to the Release version of Tallyworks.",
         false,
         {"In PatchIniMgr::ProcessOneKeyValuePairInTWVersionSection, level of tww32.exe on user's machine not equal "
          "to level in patch.ini.",
          "Level in patch.ini = 3 and level of the tww32.exe = 4"}},
        {"major checked before revision",
         "28.0",
         28,
         3,
         3,
         true,
         {29, 0, 4, 5, 1},
         Verdict::kFail,
         "Installed Tallyworks version = 29 not matched with the version = 28 in the patch",
         true,
         {"In PatchIniMgr::ProcessOneKeyValuePairInTWVersionSection,  major file version in Windows Registry on "
          "user's machine not matched with the current major version indicated in the patch.ini file."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TWVersionInfo info;
        tw::SafeCopy(info.productFileVersion, c.fileVersion);
        info.majorVersion = c.major;
        info.patchRevision = c.patchRevision;
        info.patchLevel = c.patchLevel;
        Verdict verdict = PatchIniMgr::JudgeFileVersion(info);
        if (verdict.outcome == Verdict::kPass)
            verdict = PatchIniMgr::JudgeInstalledVersion(info, c.installedKnown ? &c.installed : nullptr, "C:\\TW");
        EXPECT_EQ(c.outcome, verdict.outcome);
        EXPECT_EQ(c.shown, verdict.shownText);
        EXPECT_EQ(c.logShown, verdict.logShown);
        EXPECT_EQ(c.logLines, verdict.logLines);
    }
}

}  // namespace
