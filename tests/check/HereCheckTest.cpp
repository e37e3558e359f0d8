// The verdict of --here on facts of a machine, table by table: the demo's update folder
// against a product at various revisions, folders, free space and running states. The
// facts are made by hand; the installer's own reads of patch.ini give the chain.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "UpdateFolderFixture.h"
#include "app/PatchInstallerBase.h"
#include "check/HereCheck.h"
#include "check/HereReportWriter.h"
#include "check/MachineReader.h"
#include "check/UpdateFolderCheck.h"
#include "check/UpdateFolderReader.h"
#include "common/FileSystem.h"

namespace checktest {
namespace {

using twcheck::HereReport;
using Outcome = HereReport::Outcome;
using tw::CPatchInstallerBase;

constexpr const char kInstalledFolder[] = "C:\\Program Files\\Veltra\\Tallyworks";

struct HereRow {
    const char* name;
    std::function<void(twcheck::MachineFacts&)> change;  // from a product at R5, its folder given with /P
    Outcome outcome;
    int32_t exitCode;
    const char* verdict;  // the verdict line, or a part of it
};

void PrintTo(const HereRow& row, std::ostream* os) { *os << row.name; }

class HereCheckTest : public UpdateFolderFixture, public ::testing::WithParamInterface<HereRow> {
protected:
    // A product at that "VersionString", installed in kInstalledFolder and given with /P.
    twcheck::MachineFacts InstalledAt(const std::string& versionString) {
        twcheck::MachineFacts facts;
        facts.installed = true;
        facts.versionString = versionString;
        facts.installedFolder = kInstalledFolder;
        facts.folderFromCommandLine = true;
        facts.folderText = kInstalledFolder;
        facts.folder.given = true;
        facts.folder.folder = kInstalledFolder;
        facts.folder.exists = true;
        facts.folder.holdsProgram = true;
        facts.folder.enoughSpace = true;
        facts.folder.freeBytes = 20ull * 1024 * 1024 * 1024;
        facts.folder.installedFolder = kInstalledFolder;
        SetVersion(facts, versionString);
        return facts;
    }

    // The installer's second read of patch.ini for that version, as the reader makes it.
    void SetVersion(twcheck::MachineFacts& facts, const std::string& versionString) {
        facts.versionString = versionString;
        tw::PatchIniMgr::InstalledVersion installed;
        facts.haveRun = tw::PatchIniMgr::ParseVersionString(versionString.c_str(), installed);
        if (!facts.haveRun) return;
        twcheck::UpdateFolderSnapshot scratch = snapshot;
        scratch.runs.clear();
        twcheck::CUpdateFolderReader::SimulateRun(scratch, installed.revision, versionString);
        facts.run = scratch.runs.front();
    }

    HereReport Judge(const twcheck::MachineFacts& facts) {
        return twcheck::CHereCheck::Judge(snapshot, twcheck::CUpdateFolderCheck::Evaluate(snapshot), facts);
    }

    void ReadFolder() {
        std::string error;
        ASSERT_TRUE(twcheck::CUpdateFolderReader::Read(dir.Path(), snapshot, error)) << error;
    }

    twcheck::UpdateFolderSnapshot snapshot;
};

TEST_P(HereCheckTest, Verdict) {
    ReadFolder();
    twcheck::MachineFacts facts = InstalledAt("28.0.4005.1");
    const HereRow& row = GetParam();
    if (row.change) row.change(facts);
    const HereReport report = Judge(facts);
    EXPECT_EQ(row.outcome, report.outcome) << report.verdict;
    EXPECT_EQ(row.exitCode, report.exitCode) << report.verdict;
    EXPECT_NE(std::string::npos, report.verdict.find(row.verdict)) << report.verdict;
    EXPECT_EQ(row.outcome == Outcome::kWouldUpdate || row.outcome == Outcome::kUpToDate, report.Passes());
    // The verdict is the first line of the text, and stands in the JSON.
    const std::string text = twcheck::CHereReportWriter::FormatText(report, dir.Path());
    EXPECT_EQ(0u, text.find(report.verdict + "\n")) << text;
    EXPECT_NE(std::string::npos,
              twcheck::CHereReportWriter::FormatJson(report).find(
                  "\"outcome\": \"" + std::string(twcheck::CHereReportWriter::OutcomeName(row.outcome)) + "\""));
    EXPECT_TRUE(boxes.Calls().empty());
}

// Windows Installer's answers and what the run finds in the folder of /P.
const HereRow kHereRows[] = {
    {"InstalledAtR5", nullptr, Outcome::kWouldUpdate, 0, "would update Tallyworks 28.0 from R5 to R7"},
    {"NotInstalled",
     [](twcheck::MachineFacts& f) {
         f.installed = false;
         f.versionString.clear();
         f.haveRun = false;
     },
     Outcome::kWouldStop, CPatchInstallerBase::kExitProductNotInstalled, "is not installed here"},
    {"FolderOfPMissing", [](twcheck::MachineFacts& f) { f.folder.exists = f.folder.holdsProgram = false; },
     Outcome::kWouldStop, CPatchInstallerBase::kExitNoProductDir, "does not exist"},
    {"FolderOfPWithoutTheProduct", [](twcheck::MachineFacts& f) { f.folder.holdsProgram = false; }, Outcome::kWouldStop,
     CPatchInstallerBase::kExitNoProductDir, "holds no tww.exe"},
    {"FolderOfPOnAFullDrive",
     [](twcheck::MachineFacts& f) {
         f.folder.enoughSpace = false;
         f.folder.freeBytes = 397ull * 1024000ull;
     },
     Outcome::kWouldStop, CPatchInstallerBase::kExitLowDiskSpace, "has 397 MB free; the update asks for 398 MB"},
    {"FolderOfPIsACopy",
     [](twcheck::MachineFacts& f) { f.folder.folder = "C:\\Program Files\\Veltra\\Tallyworks copy"; },
     Outcome::kWouldStop, CPatchInstallerBase::kExitNoProductDir, "is not the installed product's folder"},
    {"PFollowedByNothing", [](twcheck::MachineFacts& f) { f.folder.folder.clear(); }, Outcome::kWouldStop,
     CPatchInstallerBase::kExitNoProductDir, "/P is followed by no folder"},
    {"PTooLong", [](twcheck::MachineFacts& f) { f.folder.given = false; }, Outcome::kWouldStop,
     CPatchInstallerBase::kExitNoProductDir, "no product folder is given"},
    {"ProductRunning",
     [](twcheck::MachineFacts& f) {
         f.running = true;
         f.runningVerdict.answer = tw::RunningProductVerdict::kRunning;
         f.runningVerdict.reason = tw::RunningProductVerdict::kProcessAlive;
     },
     Outcome::kWouldWait, 0,
     "would wait until it is closed (tww.exe is running), then update Tallyworks 28.0 from R5 to R7"},
    {"CompanionRunning",
     [](twcheck::MachineFacts& f) {
         f.running = true;
         f.runningVerdict.answer = tw::RunningProductVerdict::kAskCompanions;
         f.runningCompanion = "Veltra Agent";
     },
     Outcome::kWouldWait, 0, "(Veltra Agent is running)"},
    {"VersionNotReadable",
     [](twcheck::MachineFacts& f) {
         f.versionString.clear();
         f.haveRun = false;
     },
     Outcome::kWouldStop, CPatchInstallerBase::kExitConfigUnreadable, "reports no readable version"},
};

INSTANTIATE_TEST_SUITE_P(Machines, HereCheckTest, ::testing::ValuesIn(kHereRows),
                         [](const ::testing::TestParamInfo<HereRow>& row) { return row.param.name; });

// Other installed revisions: the installer's version gate and chain decide.
TEST_F(HereCheckTest, InstalledRevisionDecidesTheChain) {
    ReadFolder();
    const struct {
        const char* version;
        Outcome outcome;
        int32_t exitCode;
        const char* verdict;
    } cases[] = {
        {"28.0.4006.1", Outcome::kWouldUpdate, 0, "would update Tallyworks 28.0 from R6 to R7"},
        {"28.0.4007.1", Outcome::kUpToDate, 0, "would change nothing: Tallyworks 28.0 is at R7 already"},
        {"28.0.4008.1", Outcome::kWouldStop, CPatchInstallerBase::kExitConfigUnreadable,
         "would not update: Tallyworks 28.0 is at R8, newer than the update's R7"},
        {"27.0.4005.1", Outcome::kWouldStop, CPatchInstallerBase::kExitConfigUnreadable,
         "Installed Tallyworks version = 27 not matched with the version = 28 in the patch"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        twcheck::MachineFacts facts = InstalledAt(c.version);
        const HereReport report = Judge(facts);
        EXPECT_EQ(c.outcome, report.outcome) << report.verdict;
        EXPECT_EQ(c.exitCode, report.exitCode) << report.verdict;
        EXPECT_NE(std::string::npos, report.verdict.find(c.verdict)) << report.verdict;
    }
}

// A folder the installer refuses is refused here too, before the machine is looked at.
TEST_F(HereCheckTest, FolderTheInstallerRefuses) {
    ASSERT_TRUE(::DeleteFileA((dir / "tw28_core_r7.msp").c_str()));
    ReadFolder();
    const HereReport report = Judge(InstalledAt("28.0.4005.1"));
    EXPECT_EQ(Outcome::kWouldStop, report.outcome);
    EXPECT_EQ(CPatchInstallerBase::kExitConfigUnreadable, report.exitCode);
    EXPECT_NE(std::string::npos, report.verdict.find("Unable to locate the update file")) << report.verdict;
    EXPECT_EQ(1u, report.stoppingFindings);
}

// Folder findings that stop every run stop this one too, whatever is installed.
TEST_F(HereCheckTest, FindingsThatStopEveryRun) {
    const struct {
        const char* name;
        std::function<void()> breakIt;
        const char* verdict;
    } cases[] = {
        // In this order: the second keeps the first's agent, and no program comes first.
        {"a companion that is the installer",
         [this] { EditIni("[Enable]", "[AgentData]\nOneAgentData1=,,twpatch.exe,Update\n\n[Enable]"); },
         "would not update: [AgentData] OneAgentData1 names twpatch.exe"},
        {"no program", [this] { ASSERT_TRUE(::DeleteFileA((dir / "twpatch.exe").c_str())); },
         "would not update: twpatch.exe not in the update folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.breakIt();
        ReadFolder();
        const HereReport report = Judge(InstalledAt("28.0.4005.1"));
        EXPECT_EQ(Outcome::kWouldStop, report.outcome);
        EXPECT_TRUE(report.noRecord);
        EXPECT_EQ(0u, report.verdict.find(c.verdict)) << report.verdict;
        EXPECT_NE(std::string::npos, twcheck::CHereReportWriter::FormatJson(report).find("\"exitCode\": null"));
    }
}

// The product folder of /P as the run takes it: one pair of enclosing quotes removed, the
// full form; a text longer than the command line's record gives none.
TEST(ProductFolderTextTest, TakenAsTheRunTakesIt) {
    std::string folder;
    ASSERT_TRUE(twcheck::CMachineReader::TakeProductFolder("\"C:\\Program Files\\Veltra\\Tallyworks\"", folder));
    EXPECT_EQ("C:\\Program Files\\Veltra\\Tallyworks", folder);
    ASSERT_TRUE(twcheck::CMachineReader::TakeProductFolder("C:\\Program Files\\Veltra\\Tallyworks\\", folder));
    EXPECT_EQ("C:\\Program Files\\Veltra\\Tallyworks", folder);
    // A switch after a quoted folder stays part of it: no such folder.
    ASSERT_TRUE(twcheck::CMachineReader::TakeProductFolder("\"C:\\Tallyworks\" /Q", folder));
    EXPECT_NE("C:\\Tallyworks", folder);
    EXPECT_FALSE(tw::FolderExists(folder)) << folder;
    ASSERT_TRUE(twcheck::CMachineReader::TakeProductFolder("", folder));
    EXPECT_EQ("", folder);
    EXPECT_FALSE(twcheck::CMachineReader::TakeProductFolder("C:\\" + std::string(300, 'x'), folder));
}

}  // namespace
}  // namespace checktest
