#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "app/AutoPatchInstaller.h"
#include "app/MsiInterface.h"
#include "app/PatchCmdInfo.h"
#include "app/InstallerTestSupport.h"
#include "app/PatchPackageFixture.h"
#include "common/Handles.h"
#include "common/ProtectedFolder.h"
#include "common/PlatformSeams.h"
#include "common/RegistryBackup.h"
#include "common/RunState.h"
#include "common/TestSupport.h"
#include "logging/InstallTracker.h"
#include "logging/StatusLogMgr.h"
#include "logging/TrackingSender.h"

namespace {

using tw::CPatchInstallerBase;
using tw::CRunState;
using tw::Platform;

constexpr char kProductCode[] = "{6F1D2C3B-0000-4000-8000-000000000028}";

// The auto installer with the steps around the patch application recorded instead of
// performed, so that the application itself can be observed.
class ObservedInstaller : public tw::CAutoPatchInstaller {
public:
    bool EnsureTWNotRunning() override { return productCloses; }
    bool CreateWaitDialog() override { return waitDialogCreated; }
    void DestroyWaitDialog() override {}
    void NotifyTWOnSuccess() override { steps.push_back("notify"); }
    void DoPostPatchBatchFile() override { steps.push_back("batch"); }
    void PostPatchProcessing() override { steps.push_back("completion"); }

    bool productCloses = true;
    bool waitDialogCreated = true;
    std::vector<std::string> steps;
};

struct ApplyCall {
    std::string patches, productCode, properties;
};

class PatchApplicationTest : public ::testing::Test {
protected:
    void SetUp() override {
        tw::StatusLogMgr::RenameLogFile(updateDir.Path().c_str());
        CRunState& state = CRunState::Get();
        state.installerDir = updateDir.Path();
        state.productExePath = productDir / "tww.exe";
        // A real executable with version 28.0 stands in for the product.
        ASSERT_TRUE(::CopyFileA(twtest::BinaryPath("tests\\fixtures\\versionexes\\ver28.exe").c_str(),
                                (productDir / "tww.exe").c_str(), FALSE));

        twtest::ScriptInstalledRelease5Of28();
        Platform().Msi.GetComponentPath = [](LPCSTR, LPCSTR, LPSTR buffer, LPDWORD) {
            buffer[0] = '\0';
            return INSTALLSTATE_UNKNOWN;
        };
        Platform().Msi.ApplyMultiplePatches = [this](LPCSTR patches, LPCSTR productCode, LPCSTR properties) {
            applyCalls.push_back(
                {patches ? patches : "", productCode ? productCode : "", properties ? properties : ""});
            return applyResult;
        };

        tracker.SetCountry("US");
        tracker.SetServer("");
    }

    void WriteUpdate(const std::string& deltaSections, const char* reinstall = "Main, Extra") {
        std::string ini = std::string("[MSI]\nProductCode=") + kProductCode + "\nreinstall=" + reinstall +
                          "\nreinstallmode=omus\ncmdoptions=LOGGING=1\n"
                          "[PatchConfig]\nTWName=Tallyworks 2028\nTWFileVersion=28.0\n"
                          "[AutoPatch]\nTWVersion=284008000\nCountry=US\n"
                          "[Enable]\nIsNetEnabled=1\nIsFeatureEnabled=0\n" +
                          deltaSections;
        twtest::WriteTextFile(updateDir / "patch.ini", ini);
        for (const char* name : {"tw_core_5_6.msp", "tw_core_6_7.msp", "tw_core_7_8.msp"})
            ASSERT_TRUE(twtest::WritePatchPackage(updateDir / name, kProductCode));
    }

    int32_t Run() {
        EXPECT_TRUE(installer.Config().ReadConfInfoFromFile(updateDir.Path().c_str()));
        tw::PatchCmdInfo info;
        std::memset(&info, 0, sizeof(info));
        info.pathGiven = 1;
        lstrcpynA(info.productDir, productDir.Path().c_str(), sizeof(info.productDir));
        return installer.DoProgramPatches(info);
    }

    // The tracking messages whose text holds the given part.
    std::vector<tw::TrackingMessage> MessagesWith(const std::string& part) const {
        std::vector<tw::TrackingMessage> found;
        for (const auto& m : sender.messages)
            if (m.text.find(part) != std::string::npos) found.push_back(m);
        return found;
    }

    std::string Log() const { return twtest::ReadTextFile(updateDir / "Patchlog.txt"); }
    bool LogHas(const std::string& line) const { return Log().find(line) != std::string::npos; }

    twtest::SeamGuard seams;
    twtest::MessageBoxRecorder boxes;
    twtest::TempDir updateDir{"update"};
    twtest::TempDir productDir{"product"};
    tw::InstallTracker& tracker = tw::InstallTracker::Instance();
    twtest::TrackingRecorder sender;
    ObservedInstaller installer;
    std::vector<ApplyCall> applyCalls;
    UINT applyResult = ERROR_SUCCESS;
};

const char kThreePatches[] =
    "[R5->R6]\ndeltapatch=tw_core_5_6.msp\n[R6->R7]\ndeltapatch=tw_core_6_7.msp\n[R7->R8]\ndeltapatch=tw_core_7_8."
    "msp\n";

TEST_F(PatchApplicationTest, AppliesAllPatchesInOneCallWithThePropertyList) {
    WriteUpdate(kThreePatches);
    EXPECT_EQ(CPatchInstallerBase::kStatusSuccess, Run());

    ASSERT_EQ(1u, applyCalls.size());
    EXPECT_EQ(updateDir / "tw_core_5_6.msp;" + updateDir / "tw_core_6_7.msp;" + updateDir / "tw_core_7_8.msp",
              applyCalls[0].patches);
    EXPECT_EQ("{6F1D2C3B-0000-4000-8000-000000000028}", applyCalls[0].productCode);
    EXPECT_EQ(
        "PARENTAPP=TWPatch REINSTALL=Main, Extra REINSTALLMODE=omus REBOOT=ReallySuppress LOGGING=1 "
        "INNETENABLED=1 FEATUREENABLED=0",
        applyCalls[0].properties);
    EXPECT_EQ(0, CRunState::Get().exitCode);
    EXPECT_EQ((std::vector<std::string>{"notify", "batch", "completion"}), installer.steps);
    EXPECT_FALSE(installer.IsLocateByProductCode());
    EXPECT_EQ(28u, installer.GetMajorVersion());

    auto success = MessagesWith("Patch Installation");
    ASSERT_EQ(1u, success.size());
    EXPECT_FALSE(success[0].isError);
    EXPECT_NE(std::string::npos,
              success[0].text.find(
                  "TrackingMessage=\"Patch Installation Success\"& InstallType=\"Patch:Auto\"& IsNudged=\"FALSE\""));
    EXPECT_TRUE(LogHas("In CPatchInstallerBase::DoProgramPatches, 3 delta patches will be applied"));
    EXPECT_TRUE(LogHas("MsiApplyMultiplePatches: return code = 0"));
    EXPECT_TRUE(LogHas("In CPatchInstallerBase::DoProgramPatches,  all patches have been applied successfully."));
}

TEST_F(PatchApplicationTest, NoDeltaPatchStillRunsTheCompletionSteps) {
    WriteUpdate("");
    EXPECT_EQ(CPatchInstallerBase::kStatusSuccess, Run());
    EXPECT_TRUE(applyCalls.empty());
    EXPECT_EQ((std::vector<std::string>{"notify", "batch", "completion"}), installer.steps);
    EXPECT_TRUE(LogHas("In CPatchInstallerBase::DoProgramPatches, no patch needs to be applied"));
    EXPECT_TRUE(LogHas("In CPatchInstallerBase::DoProgramPatches, going to reset CriticalFixes folder : "));
}

TEST_F(PatchApplicationTest, RestartRequiredCountsAsSuccessWithoutMessageOrCompletionBox) {
    WriteUpdate(kThreePatches);
    applyResult = ERROR_SUCCESS_REBOOT_REQUIRED;
    EXPECT_EQ(CPatchInstallerBase::kStatusSuccess, Run());
    EXPECT_TRUE(installer.IsRestartRequired());
    EXPECT_EQ(3010, CRunState::Get().exitCode);
    EXPECT_TRUE(MessagesWith("Patch Installation").empty());
    EXPECT_EQ((std::vector<std::string>{"notify", "batch"}), installer.steps);
    EXPECT_TRUE(boxes.Calls().empty());
}

TEST_F(PatchApplicationTest, CancelledInstallationShowsTheCancelTextThenNotUpdated) {
    WriteUpdate(kThreePatches);
    applyResult = ERROR_INSTALL_USEREXIT;  // 1602
    EXPECT_EQ(CPatchInstallerBase::kStatusFailed, Run());
    EXPECT_TRUE(installer.IsFailed());
    EXPECT_EQ(1602, CRunState::Get().exitCode);
    ASSERT_EQ(2u, boxes.Calls().size());
    EXPECT_EQ("The update has been canceled.  \n", boxes.Calls()[0].text);
    EXPECT_EQ("Tallyworks Update Error", boxes.Calls()[0].title);
    EXPECT_EQ(static_cast<UINT>(MB_ICONHAND), boxes.Calls()[0].type);
    EXPECT_EQ("Unable to apply patch.  Program not updated.", boxes.Calls()[1].text);
    EXPECT_EQ(static_cast<UINT>(MB_ICONINFORMATION), boxes.Calls()[1].type);
    EXPECT_TRUE(installer.steps.empty());

    auto failed = MessagesWith("Patch Installation failed");
    ASSERT_EQ(1u, failed.size());
    EXPECT_TRUE(failed[0].isError);
    EXPECT_NE(std::string::npos,
              failed[0].text.find("ErrorMessage=\"Patch Installation failed\"& ErrorNumber=\"1602\"& "
                                  "InstallType=\"Patch:Auto\""));
    EXPECT_EQ(1u, MessagesWith("Patch: In CPatchInstallerBase::DoProgramPatches, patching is aborted.").size());
}

TEST_F(PatchApplicationTest, FailedPreconditionsStopWithTheirCodes) {
    struct Case {
        const char* name;
        bool diskFull, productCloses, waitDialog, writeIni;
        const char* productCode;
        int32_t status, exitCode;
        bool unreadableOnSecondRead;  // patch.ini changes after the first read into one the parser refuses
    } cases[] = {
        {"low disk space", true, true, true, true, "{PC}", CPatchInstallerBase::kStatusPreconditionFailed, 18004,
         false},
        {"product kept running", false, false, true, true, "{PC}", CPatchInstallerBase::kStatusFailed, 18005, false},
        {"no product code", false, true, true, true, "", CPatchInstallerBase::kStatusFailed, 18006, false},
        {"no wait dialog", false, true, false, true, "{PC}", CPatchInstallerBase::kStatusPreconditionFailed, 18007,
         false},
        {"patch.ini unreadable at the second read", false, true, true, true, "{PC}",
         CPatchInstallerBase::kStatusPreconditionFailed, 18001, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRunState::Get().exitCode = 0;
        ObservedInstaller fresh;
        fresh.productCloses = c.productCloses;
        fresh.waitDialogCreated = c.waitDialog;
        Platform().FreeDiskSpace = [&c](const char*, unsigned long long* bytes) {
            *bytes = c.diskFull ? 1000 : (1ULL << 40);
            return true;
        };
        twtest::WriteTextFile(updateDir / "patch.ini", std::string("[MSI]\nProductCode=") + c.productCode +
                                                           "\n[PatchConfig]\nTWFileVersion=28.0\n[AutoPatch]\n"
                                                           "TWVersion=284008000\n");
        ASSERT_TRUE(fresh.Config().ReadConfInfoFromFile(updateDir.Path().c_str()));
        // A section without keys: the parser refuses the file.
        if (c.unreadableOnSecondRead) twtest::WriteTextFile(updateDir / "patch.ini", "[MSI]\n[PatchConfig]\n");
        tw::PatchCmdInfo info;
        std::memset(&info, 0, sizeof(info));
        info.pathGiven = 1;
        lstrcpynA(info.productDir, productDir.Path().c_str(), sizeof(info.productDir));
        EXPECT_EQ(c.status, fresh.DoProgramPatches(info));
        EXPECT_EQ(c.exitCode, CRunState::Get().exitCode);
        EXPECT_TRUE(applyCalls.empty());
        EXPECT_TRUE(fresh.steps.empty());
    }
    EXPECT_TRUE(LogHas("Patch: In CPatchInstallerBase::DoProgramPatches, it fails to read the configuration file."));
}

// A package that Windows Installer would skip without a word (empty, another product's) or
// crash on (cut short) ends the run as a missing package does, before any file is saved.
TEST_F(PatchApplicationTest, DamagedOrForeignPackagesEndTheRunBeforeAnythingChanges) {
    const std::string manifests = productDir / "Components\\Manifest\\OffCycle";
    ASSERT_TRUE(twtest::MakeDirs(manifests));
    ASSERT_TRUE(twtest::WriteTextFile(
        manifests + "\\offcycle.xml",
        "<manifest><identity><type>offcycle</type><version>1</version></identity><item><file>rates.dat</file>"
        "<feature>Core</feature></item></manifest>"));
    ASSERT_TRUE(twtest::WriteTextFile(productDir / "rates.dat", "off-cycle rates"));

    struct Case {
        const char* what;
        const char* reason;
        void (*damage)(const std::string& path);
    } cases[] = {
        {"empty first package", "it is empty", [](const std::string& path) { twtest::WriteTextFile(path, ""); }},
        {"first package cut to 2048 bytes", "it is damaged",
         [](const std::string& path) { twtest::TruncateFile(path, 2048); }},
        {"first package for another product", "it is for another product",
         [](const std::string& path) { twtest::WritePatchPackage(path, "{0B7F3E21-9C4D-4A55-8E6F-112233445566}"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteUpdate(kThreePatches, "Core");
        c.damage(updateDir / "tw_core_5_6.msp");
        CRunState::Get().exitCode = 0;
        const size_t boxesBefore = boxes.Calls().size();
        ObservedInstaller fresh;
        ASSERT_TRUE(fresh.Config().ReadConfInfoFromFile(updateDir.Path().c_str()));
        tw::PatchCmdInfo info;
        std::memset(&info, 0, sizeof(info));
        info.pathGiven = 1;
        lstrcpynA(info.productDir, productDir.Path().c_str(), sizeof(info.productDir));
        EXPECT_EQ(CPatchInstallerBase::kStatusPreconditionFailed, fresh.DoProgramPatches(info));
        EXPECT_EQ(CPatchInstallerBase::kExitConfigUnreadable, CRunState::Get().exitCode);
        EXPECT_TRUE(applyCalls.empty());
        EXPECT_TRUE(fresh.steps.empty());
        ASSERT_EQ(boxesBefore + 1, boxes.Calls().size());
        EXPECT_EQ("Tallyworks Update Files Missing", boxes.Calls().back().title);
        EXPECT_NE(std::string::npos, boxes.Calls().back().text.find(updateDir / "tw_core_5_6.msp"));
        EXPECT_EQ(1u, MessagesWith(std::string("the patch file ") + (updateDir / "tw_core_5_6.msp") +
                                   " is missing or damaged: " + c.reason)
                          .size());
        // Nothing was saved aside, nothing touched.
        EXPECT_EQ("off-cycle rates", twtest::ReadTextFile(productDir / "rates.dat"));
        EXPECT_FALSE(LogHas("SaveFile, File saved"));
    }
}

TEST_F(PatchApplicationTest, RestoreNeedingARestartLeavesTheRestartToTheEndOfTheRun) {
    // One off-cycle file of the feature "Main"; the patch leaves it in use, so it can only
    // be put back when Windows starts again.
    const std::string manifests = productDir / "Components\\Manifest\\OffCycle";
    ASSERT_TRUE(twtest::MakeDirs(manifests));
    ASSERT_TRUE(twtest::MakeDirs(productDir / "bin"));
    ASSERT_TRUE(twtest::WriteTextFile(productDir / "bin\\a.dll", "off-cycle a"));
    ASSERT_TRUE(twtest::WriteTextFile(
        manifests + "\\offcycle.xml",
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<manifest>\r\n  <identity>\r\n    <type>offcycle</type>\r\n"
        "    <version>1</version>\r\n    <channel>release</channel>\r\n  </identity>\r\n  <item>\r\n"
        "    <file base=\"INSTALLDIR\">bin\\a.dll</file>\r\n    <feature>Main</feature>\r\n"
        "    <action from=\"\">modify</action>\r\n  </item>\r\n</manifest>\r\n"));
    twtest::ScopedRegistryKey renames(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager");
    tw::FileHandle inUse;
    Platform().Msi.ApplyMultiplePatches = [&](LPCSTR, LPCSTR, LPCSTR) {
        inUse.Reset(
            ::CreateFileA((productDir / "bin\\a.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        return static_cast<UINT>(ERROR_INSTALL_FAILURE);
    };
    std::vector<UINT> reboots;
    Platform().ExitWindowsEx = [&reboots](UINT flags, DWORD) {
        reboots.push_back(flags);
        return TRUE;
    };
    WriteUpdate(kThreePatches);

    EXPECT_EQ(CPatchInstallerBase::kStatusFailed, Run());
    ASSERT_TRUE(inUse.IsValid());
    EXPECT_TRUE(reboots.empty());
    EXPECT_TRUE(installer.IsRestartPending());
    EXPECT_TRUE(LogHas("In CPatchInstallerBase::DoProgramPatches: restart is requested. Offcycle restore failed."));
    // The restart was announced, and the patch's failure is still shown after it.
    ASSERT_EQ(3u, boxes.Calls().size());
    EXPECT_EQ("Warning", boxes.Calls()[1].title);
    EXPECT_EQ(0u, boxes.Calls()[1].text.find("You must restart your system"));
    EXPECT_EQ("Unable to apply patch.  Program not updated.", boxes.Calls()[2].text);
    EXPECT_EQ(1603, CRunState::Get().exitCode);
}

// The off-cycle save before the patch and the restore after it, through the installer: items
// that cannot name an installed file and a file that cannot be saved cost no other file.
TEST_F(PatchApplicationTest, OffCycleFilesSurviveThePatchDespiteUnusableItems) {
    if (GetACP() != 1252) GTEST_SKIP() << "the names are written for code page 1252, this is " << GetACP();
    const std::string manifests = productDir.Path() + "\\Components\\Manifest\\OffCycle";
    ASSERT_TRUE(twtest::MakeDirs(manifests));
    ASSERT_TRUE(twtest::MakeDirs(productDir / "bin"));
    std::string deep = productDir / "deep";
    while (deep.size() < 230) deep += "\\" + std::string(std::min<size_t>(40, 232 - deep.size()), 'd');
    ASSERT_TRUE(twtest::MakeDirs(deep));
    const std::string absent =
        deep.substr(productDir.Path().size() + 1) + "\\" + std::string(255 - deep.size() - 5, 'a') + ".dll";

    const std::vector<std::string> files = {"bin\\one.dll", "bin\\locked.dll", "bin\\two.dat", "three.dll"};
    std::vector<std::string> contents;
    for (size_t i = 0; i < files.size(); ++i) {
        std::string bytes(3000 + i, '\0');
        for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<char>((k * 13 + i) & 0xFF);
        contents.push_back(bytes);
        std::ofstream out(productDir / files[i], std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    auto item = [](const std::string& file) { return "<item><file>" + file + "</file><feature>Core</feature></item>"; };
    std::string manifest = "<manifest><identity><type>offcycle</type><version>1</version></identity>" +
                           item("bin\\x&#x4E2D;.dll") + item("") + "<item><feature>Core</feature></item>" +
                           item(absent) +
                           "<item><file base=\"CommonAppDataFolder\">data\\c.dat</file><feature>Core</feature></item>";
    for (const auto& file : files) manifest += item(file);
    ASSERT_TRUE(twtest::WriteTextFile(manifests + "\\offcycle.xml", manifest + "</manifest>"));

    // The product holds one file open while the files are saved; the patch replaces them all.
    tw::FileHandle lock(
        ::CreateFileA((productDir / "bin\\locked.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock.IsValid());
    Platform().Msi.ApplyMultiplePatches = [&](LPCSTR, LPCSTR, LPCSTR) {
        lock.Reset();
        for (const auto& file : files) twtest::WriteTextFile(productDir / file, "patched");
        return static_cast<UINT>(ERROR_SUCCESS);
    };
    WriteUpdate(kThreePatches, "Core");
    EXPECT_EQ(CPatchInstallerBase::kStatusSuccess, Run());

    EXPECT_EQ(1u,
              MessagesWith("Patch: In CPatchInstallerBase::SaveOffCycleFiles, Error in saving OffCycle files.").size());
    EXPECT_TRUE(
        LogHas("In COffCycleManager::SaveOffCycleFiles, Failed to save file " + (productDir / "bin\\locked.dll")));
    EXPECT_TRUE(LogHas("file bin\\x?.dll of feature Core has no name in the ANSI code page, skipped"));
    EXPECT_TRUE(LogHas("an item of feature Core names no file, skipped"));
    EXPECT_TRUE(LogHas("file data\\c.dat of feature Core: the folder of base CommonAppDataFolder is not known"));
    EXPECT_TRUE(LogHas("File Not saved, file or path not found.   file " + (productDir / absent)));
    EXPECT_TRUE(LogHas("In COffCycleContentCopier::RestoreAllFiles, The # of files that failed restoration:: 0 "));
    for (size_t i = 0; i < files.size(); ++i) {
        if (files[i] == "bin\\locked.dll")
            EXPECT_EQ("patched", twtest::ReadTextFile(productDir / files[i]));  // never saved
        else
            EXPECT_EQ(contents[i], twtest::ReadTextFile(productDir / files[i])) << files[i];
    }
    EXPECT_EQ((std::vector<std::string>{"notify", "batch", "completion"}), installer.steps);
}

// The journal of the save lies in the protected folder and says, before Windows Installer is
// called, that the patch is being applied: a run that dies from then on is put back by the
// next run, one that died before has its copies deleted.
TEST_F(PatchApplicationTest, TheJournalIsMarkedBeforeWindowsInstallerIsCalled) {
    const std::string manifests = productDir.Path() + "\\Components\\Manifest\\OffCycle";
    ASSERT_TRUE(twtest::MakeDirs(manifests));
    ASSERT_TRUE(twtest::WriteTextFile(productDir / "rates.dat", "off-cycle rates"));
    ASSERT_TRUE(twtest::WriteTextFile(
        manifests + "\\offcycle.xml",
        "<manifest><identity><type>offcycle</type><version>1</version></identity><item><file>rates.dat</file>"
        "<feature>Core</feature></item></manifest>"));
    std::string root, error;
    ASSERT_TRUE(tw::CProtectedFolder::DefaultRoot(root, error)) << error;
    const std::string journal = root + "\\OffCycleJournal.txt";
    std::string seenAtApply;
    Platform().Msi.ApplyMultiplePatches = [&](LPCSTR, LPCSTR, LPCSTR) {
        seenAtApply = twtest::ReadTextFile(journal);
        twtest::WriteTextFile(productDir / "rates.dat", "patched");
        return static_cast<UINT>(ERROR_SUCCESS);
    };
    WriteUpdate(kThreePatches, "Core");
    EXPECT_EQ(CPatchInstallerBase::kStatusSuccess, Run());
    EXPECT_NE(std::string::npos, seenAtApply.find(productDir / "rates.dat")) << seenAtApply;
    EXPECT_NE(std::string::npos, seenAtApply.find("state\tapplying")) << seenAtApply;
    EXPECT_EQ("off-cycle rates", twtest::ReadTextFile(productDir / "rates.dat"));
    EXPECT_FALSE(twtest::FileExists(journal));  // every copy is back
}

TEST(FeatureNames, SplitAsTheReinstallValueNamesThem) {
    using Names = std::set<std::string>;
    EXPECT_EQ(Names{"all"}, CPatchInstallerBase::FeatureNamesOf(""));
    EXPECT_EQ((Names{"Main", " Extra"}), CPatchInstallerBase::FeatureNamesOf("Main, Extra"));
    EXPECT_EQ((Names{"Main", "Extra", "Help"}), CPatchInstallerBase::FeatureNamesOf("Main\tExtra,Help"));
    EXPECT_EQ(Names{"Main"}, CPatchInstallerBase::FeatureNamesOf("Main"));
    EXPECT_EQ(Names{"all"}, CPatchInstallerBase::FeatureNamesOf(",,"));
}

}  // namespace
