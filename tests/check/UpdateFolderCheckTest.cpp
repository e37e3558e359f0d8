// The checker on the demo's update folder and on folders broken in one place each.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "UpdateFolderFixture.h"
#include "app/PatchInstallerBase.h"
#include "app/PatchPackageCheck.h"
#include "check/CheckCommandLine.h"
#include "check/UpdateFolderCheck.h"
#include "check/UpdateFolderReader.h"
#include "common/PlatformSeams.h"
#include "config/CompanionPlan.h"
#include "config/ConfigMgr.h"
#include "config/InstallerProperties.h"
#include "config/GeneralUtil.h"
#include "logging/InstallTracker.h"
#include "logging/StatusLogMgr.h"

namespace checktest {
namespace {

class UpdateFolderCheckTest : public UpdateFolderFixture {
protected:
    twcheck::CheckReport Check() {
        twcheck::UpdateFolderSnapshot snapshot;
        std::string error;
        EXPECT_TRUE(twcheck::CUpdateFolderReader::Read(dir.Path(), snapshot, error)) << error;
        return twcheck::CUpdateFolderCheck::Evaluate(snapshot);
    }

    static std::string Describe(const twcheck::CheckReport& report) {
        std::string out;
        for (const auto& f : report.findings)
            out += f.code + " | " + f.subject + " | " + f.reason + " | " + f.userMessage + "\n";
        return out;
    }

    // The folder holds what it held before the check: no patch log, no other new file.
    void ExpectFolderUntouched() {
        EXPECT_FALSE(twtest::FileExists(dir / "Patchlog.txt"));
        EXPECT_FALSE(twtest::FileExists(dir / "PreviousPatchlog.txt"));
        EXPECT_FALSE(twtest::FileExists(dir / "MsiPatchlog.txt"));
        // Nor does the patch log stay in the current folder or the checker's scratch folder.
        EXPECT_FALSE(twtest::FileExists("Patchlog.txt"));
        char temp[MAX_PATH] = {};
        ASSERT_NE(0u, ::GetTempPathA(MAX_PATH, temp));
        WIN32_FIND_DATAA data;
        tw::FindHandle find(::FindFirstFileA((std::string(temp) + "twpatchcheck-*").c_str(), &data));
        EXPECT_FALSE(find) << data.cFileName;
    }
};

TEST_F(UpdateFolderCheckTest, DemoFolderHasNoFindingAndTheInstallersChain) {
    const twcheck::CheckReport report = Check();
    EXPECT_TRUE(report.Clean()) << Describe(report);
    EXPECT_EQ(productCode, report.productCode);
    EXPECT_EQ("284007001", report.twVersion);
    EXPECT_EQ(398ull * 1024000ull, report.requiredFreeBytes);
    EXPECT_EQ(
        "PARENTAPP=TWPatch REINSTALL=ALL REINSTALLMODE=omus REBOOT=ReallySuppress  INNETENABLED=0 "
        "FEATUREENABLED=0",
        report.installerProperties);

    const unsigned long long r6 = FileSize("tw28_core_r6.msp"), r7 = FileSize("tw28_core_r7.msp");
    ASSERT_GT(r6, 0u);
    ASSERT_EQ(2u, report.routes.size());
    const twcheck::Route& fromFive = report.routes[0];
    EXPECT_EQ(5u, fromFive.startRevision);
    EXPECT_TRUE(fromFive.accepted);
    ASSERT_EQ(2u, fromFive.patches.size());
    EXPECT_EQ("tw28_core_r6.msp", fromFive.patches[0].fileName);
    EXPECT_EQ(r6, fromFive.patches[0].size);
    EXPECT_EQ("tw28_core_r7.msp", fromFive.patches[1].fileName);
    EXPECT_EQ(r6 + r7, fromFive.totalSize);
    EXPECT_EQ(7u, fromFive.finalRevision);
    EXPECT_EQ((std::vector<std::string>{"R5->R6", "R6->R7"}), fromFive.sections);

    const twcheck::Route& fromSix = report.routes[1];
    EXPECT_EQ(6u, fromSix.startRevision);
    ASSERT_EQ(1u, fromSix.patches.size());
    EXPECT_EQ("tw28_core_r7.msp", fromSix.patches[0].fileName);
    EXPECT_EQ(r7, fromSix.totalSize);
    EXPECT_EQ(7u, fromSix.finalRevision);

    EXPECT_TRUE(boxes.Calls().empty());
    ExpectFolderUntouched();
}

// The installer, reading the same folder for a product at revision 5, lists the same
// patches in the same order as the checker's route.
TEST_F(UpdateFolderCheckTest, RouteIsTheListTheInstallerBuilds) {
    const twcheck::CheckReport report = Check();
    ASSERT_FALSE(report.routes.empty());

    tw::Platform().Msi.GetProductInfo = [](LPCSTR, LPCSTR attribute, LPSTR buffer, LPDWORD size) -> UINT {
        const std::string version = "28.0.4005.1";
        if (std::string(attribute) != "VersionString" || *size <= version.size()) return ERROR_UNKNOWN_PROPERTY;
        std::memcpy(buffer, version.c_str(), version.size() + 1);
        *size = static_cast<DWORD>(version.size());
        return ERROR_SUCCESS;
    };
    twtest::TempDir logDir("checklog");
    tw::StatusLogMgr::RenameLogFile(logDir.Path().c_str());
    tw::CConfigMgr config;
    ASSERT_TRUE(config.ReadConfInfoFromFile(dir.Path().c_str()));
    ASSERT_TRUE(config.ReadPatchIniFile(dir.Path().c_str(), "C:\\Program Files\\Veltra\\Tallyworks 28",
                                        config.GetProductCode().c_str()));
    std::vector<std::string> installer;
    for (auto* e = config.GetDeltaPatchList().Head(); e; e = e->next.get()) installer.push_back(e->patchFile);
    std::vector<std::string> checker;
    for (const auto& p : report.routes[0].patches) checker.push_back(dir / p.fileName);
    EXPECT_EQ(installer, checker);
    EXPECT_EQ(config.GetDeltaPatchTotalSize(), report.routes[0].totalSize);
}

class BrokenFolderTest;

struct BrokenFolder {
    const char* name;
    std::function<void(BrokenFolderTest&)> breakIt;
    const char* code;     // the one finding expected
    const char* subject;  // part of its subject
    bool stops;           // its severity: the installer refuses the update
    // Where the installer decides the matter itself: its own decision, run on the folder,
    // must see what the finding says.
    std::function<bool(const std::string& folder)> installerSees;
};

void PrintTo(const BrokenFolder& folder, std::ostream* os) { *os << folder.name; }

class BrokenFolderTest : public UpdateFolderCheckTest, public ::testing::WithParamInterface<BrokenFolder> {
public:
    void Edit(const std::string& from, const std::string& to) { EditIni(from, to); }
    void Patch(const std::string& name, const std::string& from, const std::string& to,
               const std::string& forProduct = std::string(), const char* transformList = ":T1",
               const std::vector<mspgen::TransformDefinition>& moreTransforms = {}) {
        ASSERT_TRUE(WritePatch(name, from, to, forProduct, transformList, moreTransforms));
    }
    void Write(const std::string& name, const std::string& content) {
        ASSERT_TRUE(twtest::WriteTextFile(dir / name, content));
    }
    std::string Read(const std::string& name) { return twtest::ReadTextFile(dir / name); }
    void Remove(const std::string& name) { ASSERT_TRUE(::DeleteFileA((dir / name).c_str())); }
    void Copy(const std::string& from, const std::string& name) {
        ASSERT_TRUE(::CopyFileA(from.c_str(), (dir / name).c_str(), FALSE));
    }
};

// Windows Installer as the installer asks it, for a product installed at 28.0.4005.1.
void AnswerAsProductAtRevision5() {
    tw::Platform().Msi.GetProductInfo = [](LPCSTR, LPCSTR attribute, LPSTR buffer, LPDWORD size) -> UINT {
        std::string answer;
        if (std::strcmp(attribute, "VersionString") == 0)
            answer = "28.0.4005.1";
        else if (std::strcmp(attribute, "VersionMajor") == 0)
            answer = "28";
        else
            return ERROR_UNKNOWN_PROPERTY;
        if (!buffer || *size <= answer.size()) return ERROR_MORE_DATA;
        std::memcpy(buffer, answer.c_str(), answer.size() + 1);
        *size = static_cast<DWORD>(answer.size());
        return ERROR_SUCCESS;
    };
}

// The installer's two reads of patch.ini for a product at revision 5, its log kept apart.
// False when a read refuses the update (the parser's error included).
bool ReadAsInstaller(const std::string& folder, tw::CConfigMgr& config) {
    AnswerAsProductAtRevision5();
    twtest::TempDir logDir("checklog");
    tw::StatusLogMgr::RenameLogFile(logDir.Path().c_str());
    twtest::MessageBoxRecorder installerBoxes;
    try {
        return config.ReadConfInfoFromFile(folder.c_str()) &&
               config.ReadPatchIniFile(folder.c_str(), "C:\\Program Files\\Veltra\\Tallyworks 28",
                                       config.GetProductCode().c_str()) &&
               !config.GetProductCode().empty();
    } catch (const std::exception&) {
        return false;  // the parser's error ends the installer's run too
    }
}

// The installer's own decision on the folder for a product at revision 5: its program must
// be there, both reads of patch.ini accept it, no program it ends is itself, and its check
// accepts every package the list names. True when it would stop.
bool InstallerRefuses(const std::string& folder) {
    if (!twtest::FileExists(folder + "\\twpatch.exe")) return true;
    tw::CConfigMgr config;
    bool accepted = ReadAsInstaller(folder, config);
    for (const auto& list : {config.GetAgentList(), config.GetRelatedAppsList()})
        for (const tw::AgentInfo& entry : list)
            if (_stricmp(tw::CCompanionPlan::Of(entry).processName.c_str(), "twpatch.exe") == 0) accepted = false;
    for (const auto* e = config.GetDeltaPatchList().Head(); accepted && e; e = e->next.get())
        accepted = tw::CPatchPackageCheck::Check(e->patchFile, config.GetProductCode(), nullptr);
    return !accepted;
}

// The value Windows Installer ends up with for a property of the installer's own property
// list (the last one given); "<unreadable>" when the list is no property list.
std::string InstallerProperty(const std::string& folder, const char* name) {
    tw::CConfigMgr config;
    ReadAsInstaller(folder, config);
    std::vector<tw::CInstallerProperties::Property> properties;
    if (!tw::CInstallerProperties::Parse(tw::CPatchInstallerBase::BuildInstallerProperties(config), properties,
                                         nullptr))
        return "<unreadable>";
    std::string value = "<unset>";
    for (const auto& property : properties)
        if (_stricmp(property.name.c_str(), name) == 0) value = property.value;
    return value;
}

// How often the patch list the installer applies to revision 5 names the file.
int InstallerApplies(const std::string& folder, const std::string& file) {
    tw::CConfigMgr config;
    ReadAsInstaller(folder, config);
    int count = 0;
    for (const auto* e = config.GetDeltaPatchList().Head(); e; e = e->next.get())
        count += _stricmp(e->patchFile.c_str(), (folder + "\\" + file).c_str()) == 0 ? 1 : 0;
    return count;
}

// The plan of the first agent the installer reads.
tw::CompanionAction InstallerAgentPlan(const std::string& folder) {
    tw::CConfigMgr config;
    ReadAsInstaller(folder, config);
    const std::vector<tw::AgentInfo> agents = config.GetAgentList();
    return agents.empty() ? tw::CompanionAction() : tw::CCompanionPlan::Of(agents.front());
}

// Whether the installer's tracking rule lets a message out with the country and server it read.
bool InstallerTracks(const std::string& folder) {
    tw::CConfigMgr config;
    ReadAsInstaller(folder, config);
    tw::InstallTracker& tracker = tw::InstallTracker::Object();
    tracker.SetCountry(config.GetCountry().c_str());
    tracker.SetServer(config.GetServer().c_str());
    std::string text;
    return tracker.BuildMessageText("Patch Installation Success", false, text);
}

TEST_P(BrokenFolderTest, GivesOneClearFinding) {
    const BrokenFolder& row = GetParam();
    row.breakIt(*this);
    const twcheck::CheckReport report = Check();
    // The checker says the update stops exactly when the installer's own decision stops it.
    EXPECT_EQ(InstallerRefuses(dir.Path()), report.StopsUpdate()) << Describe(report);
    ASSERT_EQ(1u, report.findings.size()) << Describe(report);
    const twcheck::CheckFinding& finding = report.findings[0];
    EXPECT_EQ(row.code, finding.code) << Describe(report);
    EXPECT_NE(std::string::npos, finding.subject.find(row.subject)) << Describe(report);
    EXPECT_EQ(row.stops, finding.stopsUpdate) << Describe(report);
    // The gate's exit code: 1 for a finding that stops the update, else 0; --strict counts all.
    EXPECT_EQ(row.stops ? 1 : 0, twcheck::CCheckCommandLine::GateExitCode(report, false));
    EXPECT_EQ(1, twcheck::CCheckCommandLine::GateExitCode(report, true));
    if (row.installerSees) {
        EXPECT_TRUE(row.installerSees(dir.Path())) << "the installer's own decision disagrees";
    }
    EXPECT_FALSE(finding.reason.empty());
    EXPECT_EQ(std::string::npos, finding.reason.find('\n'));
    EXPECT_TRUE(boxes.Calls().empty());
    ExpectFolderUntouched();
}

// The value a cmdoptions row leaves with Windows Installer.
std::function<bool(const std::string&)> PropertyEndsAs(const char* name, const char* value) {
    return [name, value](const std::string& folder) { return InstallerProperty(folder, name) == value; };
}

std::function<void(BrokenFolderTest&)> WithCmdOptions(const char* options) {
    return [options](BrokenFolderTest& t) { t.Edit("CmdOptions=\n", std::string("CmdOptions=") + options + "\n"); };
}

std::function<void(BrokenFolderTest&)> WithAgent(const char* value) {
    return [value](BrokenFolderTest& t) {
        t.Edit("[Enable]", std::string("[AgentData]\nOneAgentData1=") + value + "\n\n[Enable]");
    };
}

const BrokenFolder kBrokenFolders[] = {
    {"MissingPatch", [](BrokenFolderTest& t) { t.Remove("tw28_core_r7.msp"); }, "patch-missing", "tw28_core_r7.msp",
     true, nullptr},
    {"PatchForAnotherProduct",
     [](BrokenFolderTest& t) { t.Patch("tw28_core_r7.msp", "28.0.4006.1", "28.0.4007.1", NewGuid()); },
     "patch-other-product", "tw28_core_r7.msp", true, nullptr},
    {"HoleInTheChain",
     [](BrokenFolderTest& t) {
         t.Patch("tw28_core_r8.msp", "28.0.4007.1", "28.0.4008.1");
         t.Edit("[R6->R7]\nDeltaPatch=tw28_core_r7.msp", "[R7->R8]\nDeltaPatch=tw28_core_r8.msp");
         t.Edit("TWVersion=284007001", "TWVersion=284008001");
         t.Remove("tw28_core_r7.msp");
     },
     "chain-hole", "[R7->R8]", false, nullptr},
    {"LoopInTheChain",
     [](BrokenFolderTest& t) {
         t.Patch("tw28_core_r7b.msp", "28.0.4007.1", "28.0.4007.1");
         t.Edit("[Enable]", "[R7->R7]\nDeltaPatch=tw28_core_r7b.msp\n\n[Enable]");
     },
     "chain-loop", "[R7->R7]", false, nullptr},
    {"TwoSectionsFromOneRevision",
     [](BrokenFolderTest& t) {
         t.Patch("tw28_core_r5to7.msp", "28.0.4005.1", "28.0.4007.1");
         t.Edit("[Enable]", "[R5->R7]\nDeltaPatch=tw28_core_r5to7.msp\n\n[Enable]");
     },
     "chain-conflict", "[R5->R7]", false, nullptr},
    {"IllFormedSectionName", [](BrokenFolderTest& t) { t.Edit("[R6->R7]", "[R7->R6]"); }, "bad-section-name",
     "[R7->R6]", true, nullptr},
    {"SectionBeyondTwVersion", [](BrokenFolderTest& t) { t.Edit("[R6->R7]", "[R6->R9]"); }, "bad-section-name",
     "[R6->R9]", true, nullptr},
    {"UnknownSection", [](BrokenFolderTest& t) { t.Edit("[Enable]", "[Options]\nSilent=1\n\n[Enable]"); },
     "unknown-section", "[Options]", false, nullptr},
    {"IgnoredMsiKey", [](BrokenFolderTest& t) { t.Edit("LoggingEnable=1", "LoggingEnable=1\nLogFile=C:\\x.log"); },
     "ignored-key", "LogFile", false, nullptr},
    {"RefusedVersionKey", [](BrokenFolderTest& t) { t.Edit("Server=PROD", "Server=PROD\nChannel=beta"); },
     "refused-key", "Channel", false, nullptr},
    {"WrongTwVersionMajor", [](BrokenFolderTest& t) { t.Edit("TWVersion=284007001", "TWVersion=274007001"); },
     "twversion-major", "twversion", true, nullptr},
    {"PatchForOtherVersions", [](BrokenFolderTest& t) { t.Patch("tw28_core_r7.msp", "28.0.4006.1", "28.0.4008.1"); },
     "patch-version-range", "tw28_core_r7.msp", false, nullptr},
    {"PatchNotAPackage", [](BrokenFolderTest& t) { t.Write("tw28_core_r7.msp", "this is no patch package\r\n"); },
     "patch-not-msp", "tw28_core_r7.msp", true, nullptr},
    {"EmptyPatchFile", [](BrokenFolderTest& t) { t.Write("tw28_core_r7.msp", ""); }, "patch-not-msp",
     "tw28_core_r7.msp", true, nullptr},
    {"PatchWithoutTransforms",
     [](BrokenFolderTest& t) { t.Patch("tw28_core_r7.msp", "28.0.4006.1", "28.0.4007.1", std::string(), ""); },
     "patch-not-msp", "tw28_core_r7.msp", true, nullptr},
    {"MissingFileVersion", [](BrokenFolderTest& t) { t.Edit("TWFileVersion=28.0\n", ""); }, "update-refused",
     "patch.ini", true, nullptr},
    {"PatchNameWithoutCore",
     [](BrokenFolderTest& t) {
         t.Write("tw28_r7.msp", t.Read("tw28_core_r7.msp"));
         t.Remove("tw28_core_r7.msp");
         t.Edit("DeltaPatch=tw28_core_r7.msp", "DeltaPatch=tw28_r7.msp");
     },
     "refused-key", "[R6->R7] DeltaPatch", true, nullptr},
    {"ShortTwVersion", [](BrokenFolderTest& t) { t.Edit("TWVersion=284007001", "TWVersion=28400700"); },
     "bad-twversion", "twversion", true, nullptr},
    {"EmptyPatchIni", [](BrokenFolderTest& t) { t.Write("patch.ini", ""); }, "ini-unreadable", "patch.ini", true,
     nullptr},
    {"BinaryPatchIni", [](BrokenFolderTest& t) { t.Write("patch.ini", t.Read("tw28_core_r6.msp")); }, "ini-unreadable",
     "patch.ini", true, nullptr},

    // What lies in the folder.
    {"ProgramMissing", [](BrokenFolderTest& t) { t.Remove("twpatch.exe"); }, "program-missing", "twpatch.exe", true,
     nullptr},
    {"ProgramOfAnotherVersion",
     [](BrokenFolderTest& t) { t.Copy(twtest::BinaryPath("tests\\fixtures\\versionexes\\ver28.exe"), "twpatch.exe"); },
     "program-version", "twpatch.exe", false, nullptr},
    {"PackageNoSectionNames", [](BrokenFolderTest& t) { t.Patch("tw28_core_r8.msp", "28.0.4007.1", "28.0.4008.1"); },
     "patch-unnamed", "tw28_core_r8.msp", false,
     [](const std::string& folder) { return InstallerApplies(folder, "tw28_core_r8.msp") == 0; }},
    {"PatchNamedTwiceInASection",
     [](BrokenFolderTest& t) {
         t.Edit("DeltaPatch=tw28_core_r6.msp", "DeltaPatch=tw28_core_r6.msp\nDeltaPatchAgain=tw28_core_r6.msp");
     },
     "patch-named-twice", "tw28_core_r6.msp", false,
     [](const std::string& folder) { return InstallerApplies(folder, "tw28_core_r6.msp") == 1; }},
    {"PatchReachedTwiceInTheChain",
     [](BrokenFolderTest& t) { t.Edit("[Enable]", "[HistoryPatch1]\nHistoryPatch=tw28_core_r6.msp\n\n[Enable]"); },
     "patch-named-twice", "tw28_core_r6.msp", false,
     [](const std::string& folder) { return InstallerApplies(folder, "tw28_core_r6.msp") == 1; }},
    {"EveryTransformJudged",
     [](BrokenFolderTest& t) {
         t.Patch("tw28_core_r7.msp", "28.0.4006.1", "28.0.4007.1", std::string(), ":T1;:T2",
                 {{"T2", "28.0.4006.1", "28.0.4009.1"}});
     },
     "patch-version-range", "tw28_core_r7.msp", false, nullptr},
    {"TransformNotInThePackage",
     [](BrokenFolderTest& t) { t.Patch("tw28_core_r7.msp", "28.0.4006.1", "28.0.4007.1", std::string(), ":T1;:T2"); },
     "patch-transform-missing", "tw28_core_r7.msp", false, nullptr},

    // What patch.ini makes the run do besides applying the packages.
    {"CmdOptionsRestart", WithCmdOptions("REBOOT=Force"), "cmdoptions-restart", "CmdOptions", false,
     PropertyEndsAs("REBOOT", "Force")},
    {"CmdOptionsRemove", WithCmdOptions("REMOVE=Help"), "cmdoptions-install", "CmdOptions", false,
     PropertyEndsAs("REMOVE", "Help")},
    {"CmdOptionsAddLocal", WithCmdOptions("ADDLOCAL=\"Extras,Help\""), "cmdoptions-install", "CmdOptions", false,
     PropertyEndsAs("ADDLOCAL", "Extras,Help")},
    {"CmdOptionsPatchRemove", WithCmdOptions("MSIPATCHREMOVE={0E1C4A4E-4F61-4B0A-9E5D-7A2B3C4D5E6F}"),
     "cmdoptions-install", "CmdOptions", false,
     PropertyEndsAs("MSIPATCHREMOVE", "{0E1C4A4E-4F61-4B0A-9E5D-7A2B3C4D5E6F}")},
    {"CmdOptionsReinstallMode", WithCmdOptions("REINSTALLMODE=vamus"), "cmdoptions-install", "CmdOptions", false,
     PropertyEndsAs("REINSTALLMODE", "vamus")},
    {"CmdOptionsSetByTheProgramAfter", WithCmdOptions("INNETENABLED=1"), "cmdoptions-ignored", "CmdOptions", false,
     PropertyEndsAs("INNETENABLED", "0")},
    {"CmdOptionsUnclosedQuote", WithCmdOptions("ADDLOCAL=\"Extras"), "cmdoptions-malformed", "CmdOptions", false,
     PropertyEndsAs("ADDLOCAL", "<unreadable>")},
    {"CountryWithoutTracking", [](BrokenFolderTest& t) { t.Edit("Country=US", "Country=DE"); }, "tracking-off",
     "Country", false, [](const std::string& folder) { return !InstallerTracks(folder); }},
    {"ServerWithoutTracking", [](BrokenFolderTest& t) { t.Edit("Server=PROD", "Server=TEST"); }, "tracking-off",
     "Server", false, [](const std::string& folder) { return !InstallerTracks(folder); }},
    {"WindowsInstallerLogOff", [](BrokenFolderTest& t) { t.Edit("LoggingEnable=1\n", "LoggingEnable=0\n"); },
     "msi-log-off", "LoggingEnable", false,
     [](const std::string& folder) {
         tw::CConfigMgr config;
         return ReadAsInstaller(folder, config) && !config.GetLoggingEnable();
     }},
    {"AgentEndedWithoutAsking", WithAgent(",,twagent.exe,Veltra Agent"), "companion-ended", "OneAgentData1", false,
     [](const std::string& folder) {
         const tw::CompanionAction plan = InstallerAgentPlan(folder);
         return !plan.looksForWindow && plan.processName == "twagent.exe";
     }},
    {"AgentNamingNothing", WithAgent(",,,Nothing"), "companion-names-nothing", "OneAgentData1", false,
     [](const std::string& folder) {
         const tw::CompanionAction plan = InstallerAgentPlan(folder);
         return !plan.looksForWindow && plan.processName.empty();
     }},
    {"AgentThatIsPartOfWindows", WithAgent("Shell_TrayWnd,,explorer.exe,Desktop"), "companion-windows-process",
     "OneAgentData1", false,
     [](const std::string& folder) { return InstallerAgentPlan(folder).processName == "explorer.exe"; }},
    {"AgentThatIsTheInstaller", WithAgent(",,twpatch.exe,Update"), "companion-is-installer", "OneAgentData1", true,
     [](const std::string& folder) { return InstallerAgentPlan(folder).processName == "twpatch.exe"; }},
};

INSTANTIATE_TEST_SUITE_P(Folders, BrokenFolderTest, ::testing::ValuesIn(kBrokenFolders),
                         [](const ::testing::TestParamInfo<BrokenFolder>& row) { return row.param.name; });

// Hostile names and values are reported, never followed out of bounds.
TEST_F(UpdateFolderCheckTest, HostilePatchIniIsReportedNotFollowed) {
    ini =
        "[AutoPatch]\nTWVersion=28\n[R99999999999->R1]\nDeltaPatch=..\\..\\x_core_.msp\n"
        "[" +
        std::string(3000, 'A') + "->R3]\nX=1\n[->]\nA=1\n[MSI]\nProductCode=\n";
    WriteIni();
    const twcheck::CheckReport report = Check();
    std::set<std::string> codes;
    for (const auto& f : report.findings) codes.insert(f.code);
    EXPECT_EQ((std::set<std::string>{"bad-twversion", "bad-section-name", "patch-missing", "no-product-code",
                                     "tracking-off", "msi-log-off", "patch-unnamed"}),
              codes)
        << Describe(report);
    EXPECT_TRUE(boxes.Calls().empty());
    ExpectFolderUntouched();
}

// A missing patch stops the installer with the files-missing box; the finding carries
// that text.
TEST_F(UpdateFolderCheckTest, MissingPatchCarriesTheInstallersMessage) {
    ASSERT_TRUE(::DeleteFileA((dir / "tw28_core_r6.msp").c_str()));
    const twcheck::CheckReport report = Check();
    ASSERT_EQ(1u, report.findings.size()) << Describe(report);
    EXPECT_TRUE(report.findings[0].stopsUpdate);
    EXPECT_NE(std::string::npos, report.findings[0].userMessage.find("Unable to locate the update file."));
    EXPECT_NE(std::string::npos, report.findings[0].userMessage.find(dir / "tw28_core_r6.msp"));
    ASSERT_FALSE(report.routes.empty());
    EXPECT_FALSE(report.routes[0].accepted);
}

TEST_F(UpdateFolderCheckTest, FolderThatCannotBeReadIsRefused) {
    twcheck::UpdateFolderSnapshot snapshot;
    std::string error;
    EXPECT_FALSE(twcheck::CUpdateFolderReader::Read(dir / "nothing-here", snapshot, error));
    EXPECT_FALSE(error.empty());
    ASSERT_TRUE(::DeleteFileA((dir / "patch.ini").c_str()));
    error.clear();
    EXPECT_FALSE(twcheck::CUpdateFolderReader::Read(dir.Path(), snapshot, error));
    EXPECT_NE(std::string::npos, error.find("patch.ini"));
}

// The checker leaves the platform seams as it found them.
TEST_F(UpdateFolderCheckTest, SeamsArePutBack) {
    ASSERT_TRUE(::DeleteFileA((dir / "tw28_core_r7.msp").c_str()));
    Check();
    tw::GeneralUtil::ShowSevereError("after the check");
    ASSERT_EQ(1u, boxes.Calls().size());
    EXPECT_EQ("after the check", boxes.Calls()[0].text);
}

}  // namespace
}  // namespace checktest
