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
#include "app/PatchPackageCheck.h"
#include "check/UpdateFolderCheck.h"
#include "check/UpdateFolderReader.h"
#include "common/PlatformSeams.h"
#include "config/ConfigMgr.h"
#include "config/GeneralUtil.h"
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
};

void PrintTo(const BrokenFolder& folder, std::ostream* os) { *os << folder.name; }

class BrokenFolderTest : public UpdateFolderCheckTest, public ::testing::WithParamInterface<BrokenFolder> {
public:
    void Edit(const std::string& from, const std::string& to) { EditIni(from, to); }
    void Patch(const std::string& name, const std::string& from, const std::string& to,
               const std::string& forProduct = std::string(), const char* transformList = ":T1") {
        ASSERT_TRUE(WritePatch(name, from, to, forProduct, transformList));
    }
    void Write(const std::string& name, const std::string& content) {
        ASSERT_TRUE(twtest::WriteTextFile(dir / name, content));
    }
    std::string Read(const std::string& name) { return twtest::ReadTextFile(dir / name); }
    void Remove(const std::string& name) { ASSERT_TRUE(::DeleteFileA((dir / name).c_str())); }
};

// The installer's own decision on the folder for a product at revision 5: both passes over
// patch.ini, then its check of every package the list names. True when it would stop.
bool InstallerRefuses(const std::string& folder) {
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
    twtest::TempDir logDir("checklog");
    tw::StatusLogMgr::RenameLogFile(logDir.Path().c_str());
    tw::CConfigMgr config;
    bool accepted = false;
    try {
        accepted = config.ReadConfInfoFromFile(folder.c_str()) &&
                   config.ReadPatchIniFile(folder.c_str(), "C:\\Program Files\\Veltra\\Tallyworks 28",
                                           config.GetProductCode().c_str()) &&
                   !config.GetProductCode().empty();
    } catch (const std::exception&) {
        accepted = false;  // the parser's error ends the installer's run too
    }
    for (const auto* e = config.GetDeltaPatchList().Head(); accepted && e; e = e->next.get())
        accepted = tw::CPatchPackageCheck::Check(e->patchFile, config.GetProductCode(), nullptr);
    return !accepted;
}

TEST_P(BrokenFolderTest, GivesOneClearFinding) {
    GetParam().breakIt(*this);
    const twcheck::CheckReport report = Check();
    // The checker says the update stops exactly when the installer's own decision stops it.
    {
        twtest::MessageBoxRecorder installerBoxes;
        const bool stops = std::any_of(report.findings.begin(), report.findings.end(),
                                       [](const twcheck::CheckFinding& f) { return f.stopsUpdate; });
        EXPECT_EQ(InstallerRefuses(dir.Path()), stops) << Describe(report);
    }
    ASSERT_EQ(1u, report.findings.size()) << Describe(report);
    const twcheck::CheckFinding& finding = report.findings[0];
    EXPECT_EQ(GetParam().code, finding.code) << Describe(report);
    EXPECT_NE(std::string::npos, finding.subject.find(GetParam().subject)) << Describe(report);
    EXPECT_FALSE(finding.reason.empty());
    EXPECT_EQ(std::string::npos, finding.reason.find('\n'));
    EXPECT_TRUE(boxes.Calls().empty());
    ExpectFolderUntouched();
}

const BrokenFolder kBrokenFolders[] = {
    {"MissingPatch", [](BrokenFolderTest& t) { t.Remove("tw28_core_r7.msp"); }, "patch-missing", "tw28_core_r7.msp"},
    {"PatchForAnotherProduct",
     [](BrokenFolderTest& t) { t.Patch("tw28_core_r7.msp", "28.0.4006.1", "28.0.4007.1", NewGuid()); },
     "patch-other-product", "tw28_core_r7.msp"},
    {"HoleInTheChain",
     [](BrokenFolderTest& t) {
         t.Patch("tw28_core_r8.msp", "28.0.4007.1", "28.0.4008.1");
         t.Edit("[R6->R7]\nDeltaPatch=tw28_core_r7.msp", "[R7->R8]\nDeltaPatch=tw28_core_r8.msp");
         t.Edit("TWVersion=284007001", "TWVersion=284008001");
     },
     "chain-hole", "[R7->R8]"},
    {"LoopInTheChain",
     [](BrokenFolderTest& t) {
         t.Patch("tw28_core_r7b.msp", "28.0.4007.1", "28.0.4007.1");
         t.Edit("[Enable]", "[R7->R7]\nDeltaPatch=tw28_core_r7b.msp\n\n[Enable]");
     },
     "chain-loop", "[R7->R7]"},
    {"TwoSectionsFromOneRevision",
     [](BrokenFolderTest& t) {
         t.Patch("tw28_core_r5to7.msp", "28.0.4005.1", "28.0.4007.1");
         t.Edit("[Enable]", "[R5->R7]\nDeltaPatch=tw28_core_r5to7.msp\n\n[Enable]");
     },
     "chain-conflict", "[R5->R7]"},
    {"IllFormedSectionName", [](BrokenFolderTest& t) { t.Edit("[R6->R7]", "[R7->R6]"); }, "bad-section-name",
     "[R7->R6]"},
    {"SectionBeyondTwVersion", [](BrokenFolderTest& t) { t.Edit("[R6->R7]", "[R6->R9]"); }, "bad-section-name",
     "[R6->R9]"},
    {"UnknownSection", [](BrokenFolderTest& t) { t.Edit("[Enable]", "[Options]\nSilent=1\n\n[Enable]"); },
     "unknown-section", "[Options]"},
    {"IgnoredMsiKey", [](BrokenFolderTest& t) { t.Edit("LoggingEnable=1", "LoggingEnable=1\nLogFile=C:\\x.log"); },
     "ignored-key", "LogFile"},
    {"RefusedVersionKey", [](BrokenFolderTest& t) { t.Edit("Server=PROD", "Server=PROD\nChannel=beta"); },
     "refused-key", "Channel"},
    {"WrongTwVersionMajor", [](BrokenFolderTest& t) { t.Edit("TWVersion=284007001", "TWVersion=274007001"); },
     "twversion-major", "twversion"},
    {"PatchForOtherVersions", [](BrokenFolderTest& t) { t.Patch("tw28_core_r7.msp", "28.0.4006.1", "28.0.4008.1"); },
     "patch-version-range", "tw28_core_r7.msp"},
    {"PatchNotAPackage", [](BrokenFolderTest& t) { t.Write("tw28_core_r7.msp", "this is no patch package\r\n"); },
     "patch-not-msp", "tw28_core_r7.msp"},
    {"EmptyPatchFile", [](BrokenFolderTest& t) { t.Write("tw28_core_r7.msp", ""); }, "patch-not-msp",
     "tw28_core_r7.msp"},
    {"PatchWithoutTransforms",
     [](BrokenFolderTest& t) { t.Patch("tw28_core_r7.msp", "28.0.4006.1", "28.0.4007.1", std::string(), ""); },
     "patch-not-msp", "tw28_core_r7.msp"},
    {"MissingFileVersion", [](BrokenFolderTest& t) { t.Edit("TWFileVersion=28.0\n", ""); }, "update-refused",
     "patch.ini"},
    {"PatchNameWithoutCore",
     [](BrokenFolderTest& t) {
         t.Write("tw28_r7.msp", t.Read("tw28_core_r7.msp"));
         t.Edit("DeltaPatch=tw28_core_r7.msp", "DeltaPatch=tw28_r7.msp");
     },
     "refused-key", "[R6->R7] DeltaPatch"},
    {"ShortTwVersion", [](BrokenFolderTest& t) { t.Edit("TWVersion=284007001", "TWVersion=28400700"); },
     "bad-twversion", "twversion"},
    {"EmptyPatchIni", [](BrokenFolderTest& t) { t.Write("patch.ini", ""); }, "ini-unreadable", "patch.ini"},
    {"BinaryPatchIni", [](BrokenFolderTest& t) { t.Write("patch.ini", t.Read("tw28_core_r6.msp")); }, "ini-unreadable",
     "patch.ini"},
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
    EXPECT_EQ((std::set<std::string>{"bad-twversion", "bad-section-name", "patch-missing", "no-product-code"}), codes)
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
