#include <gtest/gtest.h>

#include <windows.h>
#include <msi.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "InstallerTestSupport.h"
#include "common/RegistryBackup.h"
#include "app/AutoPatchInstaller.h"
#include "app/PatchPackageFixture.h"
#include "app/MsiInterface.h"
#include "app/PatchCmdInfo.h"
#include "app/WebPatchInstaller.h"
#include "common/PlatformSeams.h"
#include "common/ProductConstants.h"
#include "common/RunState.h"
#include "logging/StatusLogMgr.h"
#include "common/Resource.h"
#include "ui/WebPatchWnd.h"

// Whole patch runs with Windows Installer scripted: what the message handler does in the
// middle of a run, and what the run does with the outcome of the off-cycle restore.

namespace {

using tw::CMsiInterface;
using tw::CPatchInstallerBase;
using tw::CRunState;
using tw::Platform;
using namespace twtest;

constexpr char kOffCycleComponent[] = "{4A98D858-2452-489F-959A-22754B36EFDB}";
constexpr char kMainComponent[] = "{BE98D8DD-CEAD-4F03-8333-D9B96083B6F6}";
constexpr char kAlternateComponent[] = "{D5557A3E-E81C-4C6F-A3FF-AC5A3FDA3D7B}";
constexpr char kRestartText[] =
    "You must restart your system for the configuration changes made to Tallyworks to take effect.Close all other "
    "applications and click OK to restart now.";
constexpr char kRestoreCountLine[] = "In COffCycleContentCopier::RestoreAllFiles, The # of files that failed";

std::string Manifest(const std::string& feature, const std::string& file) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<manifest>\r\n  <identity>\r\n    <type>offcycle</type>\r\n"
           "    <version>1</version>\r\n    <channel>release</channel>\r\n  </identity>\r\n  <item>\r\n"
           "    <file base=\"INSTALLDIR\">" +
           file + "</file>\r\n    <feature>" + feature +
           "</feature>\r\n"
           "    <action from=\"\">modify</action>\r\n  </item>\r\n</manifest>\r\n";
}

// The auto installer; the product counts as closed and the revision step is counted.
class ScenarioInstaller : public tw::CAutoPatchInstaller {
public:
    bool EnsureTWNotRunning() override { return true; }
    void NotifyTWOnSuccess() override { ++notifications; }
    int notifications = 0;
};

class PatchRunScenarioTest : public ::testing::Test {
protected:
    void SetUp() override {
        tw::StatusLogMgr::RenameLogFile(updateDir.Path().c_str());
        CRunState& state = CRunState::Get();
        state.installerDir = updateDir.Path();
        tw::InstallTracker::Instance().SetCountry("US");

        WriteTextFile(updateDir / "patch.ini",
                      "[MSI]\nProductCode={6F1D2C3B-0000-4000-8000-000000000028}\nreinstall=Core\n"
                      "reinstallmode=omus\n[PatchConfig]\nTWName=Tallyworks 2028\nTWFileVersion=28.0\n"
                      "[AutoPatch]\nTWVersion=284008000\nCountry=US\n[R7->R8]\ndeltapatch=tw_core_7_8.msp\n");
        ASSERT_TRUE(twtest::WritePatchPackage(updateDir / "tw_core_7_8.msp", "{6F1D2C3B-0000-4000-8000-000000000028}"));

        twtest::ScriptInstalledRelease5Of28();
        Platform().Msi.GetComponentPath = [this](LPCSTR, LPCSTR component, LPSTR buffer, LPDWORD size) {
            components.push_back(component);
            std::string path;
            if (std::strcmp(component, kOffCycleComponent) == 0) path = common.Path();
            if (std::strcmp(component, kAlternateComponent) == 0) path = alternatePath;
            lstrcpynA(buffer, path.c_str(), static_cast<int>(*size));
            return path.empty() ? INSTALLSTATE_UNKNOWN : INSTALLSTATE_LOCAL;
        };
        Platform().Msi.QueryProductState = [](LPCSTR) { return INSTALLSTATE_DEFAULT; };
        Platform().ExitWindowsEx = [this](UINT flags, DWORD reason) {
            reboots.push_back({flags, reason});
            return TRUE;
        };
    }

    // A product folder with one off-cycle file of feature "Core".
    void MakeProduct(const TempDir& dir) {
        ASSERT_TRUE(::CopyFileA(BinaryPath("tests\\fixtures\\versionexes\\ver28.exe").c_str(),
                                (dir / "tww.exe").c_str(), FALSE));
        const std::string manifests = dir / "Components\\Manifest\\OffCycle";
        ASSERT_TRUE(MakeDirs(manifests));
        ASSERT_TRUE(WriteTextFile(manifests + "\\offcycle.xml", Manifest("Core", "offcycle.dll")));
        ASSERT_TRUE(WriteTextFile(dir / "offcycle.dll", "off-cycle"));
    }

    // Windows Installer's side of the apply call: before returning result it runs step,
    // which stands for what the installation does to the product.
    template <typename Step>
    void ScriptApply(UINT result, Step step) {
        Platform().Msi.ApplyMultiplePatches = [this, result, step](LPCSTR, LPCSTR, LPCSTR) -> UINT {
            ++applyCalls;
            step();
            return result;
        };
    }

    int32_t RunAuto() {
        EXPECT_TRUE(installer.Config().ReadConfInfoFromFile(updateDir.Path().c_str()));
        CRunState::Get().productExePath = product / "tww.exe";
        tw::PatchCmdInfo info;
        std::memset(&info, 0, sizeof(info));
        info.pathGiven = 1;
        lstrcpynA(info.productDir, product.Path().c_str(), sizeof(info.productDir));
        return installer.DoProgramPatches(info);
    }

    // Temporary copies of the off-cycle files in a folder.
    std::vector<std::string> TempCopies(const TempDir& dir) const {
        std::vector<std::string> names;
        WIN32_FIND_DATAA found;
        tw::FindHandle find(::FindFirstFileA((dir / "offcycle._OC*.dll").c_str(), &found));
        if (!find) return names;
        do names.push_back(dir / found.cFileName);
        while (::FindNextFileA(find.Get(), &found));
        return names;
    }

    std::string Log() const { return ReadTextFile(updateDir / "Patchlog.txt"); }
    size_t Count(const std::string& text) const {
        const std::string log = Log();
        size_t n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
        return n;
    }
    bool BoxShownWith(const std::string& part) const {
        for (const auto& call : boxes.Calls())
            if (call.text.find(part) != std::string::npos) return true;
        return false;
    }

    SeamGuard seams;
    TrackingRecorder sender;
    MessageBoxRecorder boxes;
    TempDir updateDir{"scenupdate"};
    TempDir product{"scenproduct"};
    TempDir common{"scencommon"};
    std::string alternatePath;
    std::vector<std::string> components;
    std::vector<std::pair<UINT, DWORD>> reboots;
    int applyCalls = 0;
    ScenarioInstaller installer;
};

// --- A restart announced during the installation ---

class RestartAnnouncedInRunTest : public PatchRunScenarioTest, public ::testing::WithParamInterface<UINT> {};

TEST_P(RestartAnnouncedInRunTest, HandlerRestoresOnceAndTheRunShowsNoCompletion) {
    MakeProduct(product);
    ScriptApply(GetParam(), [this]() {
        WriteTextFile(product / "offcycle.dll", "patched");
        CMsiInterface& msi = CMsiInterface::Instance();
        ASSERT_EQ(&installer, msi.GetObserver());
        EXPECT_EQ(IDOK, CMsiInterface::ExternalUiHandler(&msi, INSTALLMESSAGE_USER | MB_OK | MB_ICONINFORMATION,
                                                         "The installer must restart Windows"));
    });
    RunAuto();

    EXPECT_EQ(1, applyCalls);
    EXPECT_TRUE(installer.IsRestartInProgress());
    // The files were put back once, by the handler.
    EXPECT_EQ("off-cycle", ReadTextFile(product / "offcycle.dll"));
    EXPECT_EQ(1u, Count(kRestoreCountLine)) << Log();
    EXPECT_EQ(1, installer.notifications);
    // The restart warning is the only box: no failure text, no "not updated", no completion.
    ASSERT_EQ(1u, boxes.Calls().size());
    EXPECT_EQ(kRestartText, boxes.Calls()[0].text);
    EXPECT_EQ("Warning", boxes.Calls()[0].title);
    EXPECT_FALSE(BoxShownWith("Congratulations"));
    EXPECT_EQ(0u, Count("In CPatchInstallerBase::DoProgramPatches, NotifyTWOnSuccess has been completed."));
    EXPECT_EQ(0u, Count("In CPatchInstallerBase::DoProgramPatches, PostPatchProcessing has been completed."));
    EXPECT_TRUE(reboots.empty());
}

INSTANTIATE_TEST_SUITE_P(ResultCodes, RestartAnnouncedInRunTest,
                         ::testing::Values(static_cast<UINT>(ERROR_SUCCESS), static_cast<UINT>(ERROR_INSTALL_FAILURE),
                                           static_cast<UINT>(ERROR_SUCCESS_REBOOT_REQUIRED)));

// --- What the run does with the outcome of the off-cycle restore ---

TEST_F(PatchRunScenarioTest, LostTemporaryCopyShowsTheDamagedFileMessage) {
    MakeProduct(product);
    ScriptApply(ERROR_SUCCESS, [this]() {
        WriteTextFile(product / "offcycle.dll", "patched");
        const auto copies = TempCopies(product);
        ASSERT_EQ(1u, copies.size());
        ASSERT_TRUE(::DeleteFileA(copies[0].c_str()));
    });
    EXPECT_EQ(CPatchInstallerBase::kStatusSuccess, RunAuto());

    EXPECT_EQ("patched", ReadTextFile(product / "offcycle.dll"));
    const std::string expected = std::string(
                                     "Problem\nError 25123: The update installer has detected a damaged file."
                                     "\n\nSolution\nWrite down the error message and type the following "
                                     "into a Web browser  \n\n") +
                                 tw::product::kSupportPageUrl + " \n\n Steps to reset the update are on this site.";
    ASSERT_FALSE(boxes.Calls().empty());
    const MessageBoxCall& damaged = boxes.Calls()[0];
    EXPECT_EQ(expected, damaged.text);
    EXPECT_EQ("Tallyworks Error", damaged.title);
    EXPECT_EQ(static_cast<UINT>(MB_OK), damaged.type);
    // Owned by the wait dialog, which is still open then.
    EXPECT_NE(nullptr, damaged.owner);
    EXPECT_FALSE(BoxShownWith(kRestartText));
    EXPECT_TRUE(reboots.empty());
}

TEST_F(PatchRunScenarioTest, FileInUseAtRestoreWarnsAndLeavesTheRestartToTheEndOfTheRun) {
    // A file held open cannot be replaced: the restore is left for the next start of
    // Windows, which the entry point starts once the status record is written. The pending
    // rename that this registers is removed again.
    ScopedRegistryKey pending(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager");
    MakeProduct(product);
    const std::string file = product / "offcycle.dll";
    tw::FileHandle held;
    ScriptApply(ERROR_SUCCESS, [&file, &held]() {
        WriteTextFile(file, "patched");
        held.Reset(::CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(held.IsValid());
    });
    EXPECT_EQ(CPatchInstallerBase::kStatusSuccess, RunAuto());
    held.Reset();

    EXPECT_EQ(1u, Count("In CPatchInstallerBase::DoProgramPatches: restart is requested. Offcycle restore failed."))
        << Log();
    ASSERT_FALSE(boxes.Calls().empty());
    const MessageBoxCall& warning = boxes.Calls()[0];
    EXPECT_EQ(kRestartText, warning.text);
    EXPECT_EQ("Warning", warning.title);
    EXPECT_EQ(static_cast<UINT>(MB_ICONEXCLAMATION), warning.type);
    EXPECT_EQ(nullptr, warning.owner);
    EXPECT_TRUE(reboots.empty());
    EXPECT_TRUE(installer.IsRestartPending());
    EXPECT_FALSE(BoxShownWith("damaged file"));
    // The run goes on to its completion steps.
    EXPECT_EQ(1, installer.notifications);
}

// --- The web variant's Install Now ---

class WebInstallNowTest : public PatchRunScenarioTest {
protected:
    void SetUp() override {
        PatchRunScenarioTest::SetUp();
        ASSERT_NE(0, window.InitApplication(::GetModuleHandleA(nullptr)));
        web.SetMainWindow(&window);
        std::memset(&info, 0, sizeof(info));
        info.instance = ::GetModuleHandleA(nullptr);
    }
    void TearDown() override {
        // The run ends by closing the main window; its messages are not left to later tests.
        if (HWND main = window.GetHwnd()) ::DestroyWindow(main);
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message != WM_QUIT) ::DispatchMessageA(&msg);
        }
        PatchRunScenarioTest::TearDown();
    }

    void PressInstallNow() {
        ASSERT_TRUE(web.Run(info, SW_SHOWNORMAL, ""));
        HWND view = web.GetPatchViewDialog();
        ASSERT_NE(nullptr, view);
        ::SendMessageA(view, WM_COMMAND, MAKEWPARAM(IDC_INSTALL_NOW, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(view, IDC_INSTALL_NOW)));
    }

    tw::CWebPatchWnd window;
    tw::CWebPatchInstaller web;
    tw::PatchCmdInfo info;
};

TEST_F(WebInstallNowTest, ProductFoundThroughTheSecondComponentIsPatchedWithoutOffCycleOrFlavors) {
    TempDir alternate{"scenalternate"};
    MakeProduct(alternate);
    alternatePath = alternate / "tww.exe";
    ScriptApply(ERROR_SUCCESS, [&alternate]() { WriteTextFile(alternate / "offcycle.dll", "patched"); });
    PressInstallNow();

    EXPECT_EQ(1, applyCalls);
    // Only the two product components were asked for: no off-cycle files were saved.
    EXPECT_EQ((std::vector<std::string>{kMainComponent, kAlternateComponent}), components);
    EXPECT_TRUE(CRunState::Get().alternateComponent);
    EXPECT_EQ(alternatePath, CRunState::Get().productExePath);
    EXPECT_TRUE(TempCopies(alternate).empty());
    // Nor restored, and no flavors were looked for.
    EXPECT_EQ("patched", ReadTextFile(alternate / "offcycle.dll"));
    EXPECT_EQ(0u, Count(kRestoreCountLine));
    EXPECT_TRUE(web.GetInstalledFlavorList().empty());
    EXPECT_EQ(0u, Count("GetInstalledFlavors"));

    bool webSuccess = false;
    for (const auto& m : sender.messages)
        if (m.text.find("Patch Installation Success\"& InstallType=\"Patch:Web\"") != std::string::npos)
            webSuccess = true;
    EXPECT_TRUE(webSuccess);
    ASSERT_FALSE(boxes.Calls().empty());
    EXPECT_EQ("Update complete", boxes.Calls().back().title);
}

// An exception inside Install Now, before the wait dialog and while it is up: the run ends
// there. The wait dialog goes, the main window is enabled again and closes (which ends the
// run's message loop), and the exception is kept for the entry point (which makes its last
// error the exit code, see EntryPointTest).
TEST_F(WebInstallNowTest, ExceptionInsideInstallNowClosesTheWindowsAndIsKeptForTheEntryPoint) {
    MakeProduct(product);
    const std::string productExe = product / "tww.exe";
    for (const char* failing : {kMainComponent, kOffCycleComponent}) {
        SCOPED_TRACE(failing);
        bool waitDialogWasUp = false;
        Platform().Msi.GetComponentPath = [&](LPCSTR, LPCSTR component, LPSTR buffer, LPDWORD size) -> INSTALLSTATE {
            // The off-cycle component is also asked for before the wait dialog (for the
            // journal's trusted folders): fail its lookup once the dialog is up.
            const bool offCycle = std::strcmp(failing, kOffCycleComponent) == 0;
            if (std::strcmp(component, failing) == 0 && (!offCycle || web.GetWaitDialog() != nullptr)) {
                waitDialogWasUp = web.GetWaitDialog() != nullptr;
                ::SetLastError(ERROR_INVALID_DATA);
                throw std::runtime_error("component lookup failed");
            }
            lstrcpynA(buffer, std::strcmp(component, kMainComponent) == 0 ? productExe.c_str() : "",
                      static_cast<int>(*size));
            return INSTALLSTATE_LOCAL;
        };
        const size_t logged = Count("In CWebPatchInstaller::OnInstallNow, Got exception: component lookup failed\r\n");
        PressInstallNow();
        EXPECT_EQ(std::strcmp(failing, kOffCycleComponent) == 0, waitDialogWasUp);
        EXPECT_EQ(0, applyCalls);
        EXPECT_EQ(nullptr, web.GetWaitDialog());
        HWND main = window.GetHwnd();
        ASSERT_NE(nullptr, main);
        EXPECT_TRUE(::IsWindowEnabled(main));
        EXPECT_EQ(logged + 1, Count("In CWebPatchInstaller::OnInstallNow, Got exception: component lookup failed\r\n"))
            << Log();
        EXPECT_EQ(0u, Count("In CWebPatchInstaller::PatchViewProc, Got exception"));

        tw::CPatchInstallerBase::RunException kept;
        ASSERT_TRUE(web.TakeRunException(&kept));
        EXPECT_EQ("component lookup failed", kept.what);
        EXPECT_FALSE(web.TakeRunException(&kept));  // handed over once

        // The close request is waiting in the queue; the window and its dialog then go.
        MSG msg;
        bool quit = false;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                quit = true;
            else
                ::DispatchMessageA(&msg);
        }
        EXPECT_TRUE(quit);
        EXPECT_FALSE(::IsWindow(main));
        EXPECT_FALSE(::IsWindow(web.GetPatchViewDialog()));
    }
}

}  // namespace
