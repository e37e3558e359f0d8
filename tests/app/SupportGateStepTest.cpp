#include <gtest/gtest.h>

#include <windows.h>
#include <wininet.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "InstallerTestSupport.h"
#include "app/AutoPatchInstaller.h"
#include "common/LoopbackServer.h"
#include "common/PlatformSeams.h"
#include "common/RegistryBackup.h"
#include "common/Resource.h"
#include "common/RunState.h"
#include "logging/OSSupportGate.h"
#include "logging/StatusLogMgr.h"
#include "sysinfo/OSInfo.h"
#include "ui/AutoPatchWnd.h"
#include "ui/OSSupportDialog.h"

// The operating-system support gate as initialisation runs it, and what the run operations
// do with its flags. Which cases apply depends on the prefix's Windows version and on the
// connection: the suite runs in the plain test run (Windows 10) and again inside network
// namespaces under Windows 7, connected and not (see tests/app/CMakeLists.txt). Each entry
// names the setting it makes in TW_GATE_EXPECT, "<Windows version text>,<online|offline|
// any>" (for example "6.1,offline"); every case fails when Windows does not report that
// setting, so an entry whose setting was not made cannot pass having tested nothing. Cases
// for another setting are skipped.

namespace {

using tw::COSSupportDialog;
using tw::COSSupportGate;
using tw::CRunState;
using tw::Platform;
using namespace twtest;

bool Connected() {
    DWORD flags = 0;
    return ::InternetGetConnectedState(&flags, 0) != FALSE;
}

std::string VersionText() { return COSSupportGate::GetWindowsVersionText(); }
bool Windows7Family() { return VersionText() == "6.1" || VersionText() == "6.0"; }

// The setting the test entry made, from TW_GATE_EXPECT; false when it names none.
bool ExpectedSetting(std::string* version, std::string* connection) {
    const char* value = std::getenv("TW_GATE_EXPECT");
    if (!value) return false;
    const std::string text = value;
    const size_t comma = text.find(',');
    if (comma == std::string::npos) return false;
    *version = text.substr(0, comma);
    *connection = text.substr(comma + 1);
    return !version->empty() && (*connection == "online" || *connection == "offline" || *connection == "any");
}

// What the real dialog showed when the seam opened it.
struct ShownDialog {
    LPCSTR templateName = nullptr;
    std::string title, button, texts[6];
    LONG headingWeight = 0, text1Weight = 0, text2Weight = 0;
};

LONG WeightOf(HWND control) {
    HFONT font = reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0));
    LOGFONTA logFont = {};
    if (!font || !::GetObjectA(font, sizeof(logFont), &logFont)) return 0;
    return logFont.lfWeight;
}

std::string Config(const std::string& serverKeys, const std::string& clientKeys, const std::string& verdict,
                   const std::string& nudgeText2 = "Switch to Windows 10 before the next release.") {
    return "[OSList_Server]\r\n" + serverKeys + "[OSList]\r\n" + clientKeys + "[Message_Block]\r\n" + verdict +
           "[Message_Block_Patch]\r\nHeading=Not supported\r\nText1=Blocked here.\r\nText2=b2\r\nText3=b3\r\n"
           "Text4=b4\r\n"
           "[Message_Nudge_Patch]\r\nHeading=Windows support ends soon\r\nText1=Tallyworks will stop updating here.\r\n"
           "Text2=" +
           nudgeText2 + "\r\nText3=This update installs normally.\r\nText4=Click Continue to go on.\r\n";
}

class SupportGateStep : public ::testing::Test {
protected:
    void SetUp() override {
        std::string version, connection;
        ASSERT_TRUE(ExpectedSetting(&version, &connection))
            << "TW_GATE_EXPECT must name the setting of this run, as \"6.1,offline\"";
        ASSERT_EQ(version, VersionText()) << "the Windows version this run was started for";
        if (connection != "any") {
            ASSERT_EQ(connection == "online", Connected()) << "the connection this run was started for";
        }
        tw::StatusLogMgr::RenameLogFile(installerDir.Path().c_str());
        CRunState::Get().installerDir = installerDir.Path();
        Platform().Msi.QueryProductState = [](LPCSTR) { return INSTALLSTATE_DEFAULT; };
        // Answers every dialog after opening the real one for a moment to read it.
        Platform().ShowDialog = [this](HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC proc,
                                       LPARAM param) -> INT_PTR {
            ShownDialog shown;
            shown.templateName = name;
            HWND dialog = ::CreateDialogParamA(instance, name, owner, proc, param);
            if (dialog) {
                char text[4096];
                ::GetWindowTextA(dialog, text, sizeof(text));
                shown.title = text;
                ::GetDlgItemTextA(dialog, IDC_OSS_BUTTON, text, sizeof(text));
                shown.button = text;
                for (int i = 0; i < 6; ++i) {
                    ::GetDlgItemTextA(dialog, IDC_OSS_HEADING + i, text, sizeof(text));
                    shown.texts[i] = text;
                }
                shown.headingWeight = WeightOf(::GetDlgItem(dialog, IDC_OSS_HEADING));
                shown.text1Weight = WeightOf(::GetDlgItem(dialog, IDC_OSS_TEXT1));
                shown.text2Weight = WeightOf(::GetDlgItem(dialog, IDC_OSS_TEXT2));
                ::DestroyWindow(dialog);
            }
            dialogs.push_back(shown);
            if (answers.empty()) return COSSupportDialog::kResultButton;
            INT_PTR answer = answers.front();
            answers.pop_front();
            return answer;
        };
        std::memset(&info, 0, sizeof(info));
        installer.SetOsSupportConfigUrls(server.Url("//http.veltra//config.ini").c_str(),
                                         server.Url("/http.veltra/Pre_Prod/config_test.ini").c_str());
    }

    void WritePatchIni(const char* fileVersion = "30.0", const char* serverValue = "PROD") {
        ASSERT_TRUE(WriteTextFile(installerDir / "patch.ini",
                                  std::string("[PatchConfig]\nTWName=Tallyworks 2030\nTWFileVersion=") + fileVersion +
                                      "\n[AutoPatch]\nTWVersion=300101000\nCountry=US\nServer=" + serverValue +
                                      "\n[MSI Info]\nProductCode={7A3C5E21-94B6-4D0F-8E2A-5B61C93D7F40}\n"));
    }
    // The key listed for this machine: server list on a server, client list otherwise.
    std::string ListedForThisMachine(const std::string& verdict) {
        const std::string key = COSSupportGate::GetWindowsKey(VersionText()) + "\r\n";
        return tw::COSInfo::IsServer() ? Config(key, "", verdict) : Config("", key, verdict);
    }
    std::string Log() { return ReadTextFile(installerDir / "Patchlog.txt"); }
    bool StopsWith(const char* reason) {
        GateProbe probe;
        size_t before = sender.messages.size();
        bool stops = probe.Stop("Auto");
        if (!reason) return !stops && sender.messages.size() == before;
        return stops && sender.messages.size() == before + 1 && sender.messages.back().isError &&
               sender.messages.back().text.find(tw::CPatchInstallerBase::BuildExitMessage(reason, "Auto")) !=
                   std::string::npos;
    }

    class GateProbe : public tw::CAutoPatchInstaller {
    public:
        bool Stop(const char* variant) { return StopForGateOutcome(variant); }
    };

    SeamGuard seams;
    TrackingRecorder sender;
    MessageBoxRecorder boxes;
    TempDir installerDir{"twgate"};
    LoopbackServer server;
    TestInstaller installer;
    tw::PatchCmdInfo info;
    std::vector<ShownDialog> dialogs;
    std::deque<INT_PTR> answers;
};

// ---- Connected -----------------------------------------------------------------------------

#define REQUIRE_CONNECTED()                                                         \
    do {                                                                            \
        ASSERT_TRUE(server.Ready());                                                \
        if (!Connected()) GTEST_SKIP() << "Windows reports no internet connection"; \
    } while (0)

TEST_F(SupportGateStep, WarningForThisWindowsIsShownWithContinue) {
    REQUIRE_CONNECTED();
    WritePatchIni();
    ASSERT_TRUE(server.Put("http.veltra/config.ini", ListedForThisMachine("Block=0\r\n")));
    EXPECT_TRUE(installer.InitInstance(info));
    EXPECT_EQ(1, installer.GetSupportGate().GetStatus());
    ASSERT_EQ(1u, dialogs.size());
    const ShownDialog& shown = dialogs[0];
    EXPECT_EQ(MAKEINTRESOURCEA(IDD_OS_SUPPORT), shown.templateName);
    EXPECT_EQ("Warning", shown.title);
    EXPECT_EQ("Continue", shown.button);
    EXPECT_EQ("Windows support ends soon", shown.texts[0]);
    EXPECT_EQ("Tallyworks will stop updating here.", shown.texts[1]);
    EXPECT_EQ("Click Continue to go on.", shown.texts[4]);
    EXPECT_EQ("", shown.texts[5]);
    EXPECT_EQ(FW_BOLD, shown.headingWeight);
    EXPECT_EQ(FW_BOLD, shown.text1Weight);
    EXPECT_LT(shown.text2Weight, FW_BOLD);
    EXPECT_NE(std::string::npos,
              Log().find("In CPatchInstallerBase::InitInstance, InternetConnection Verified passed."));
    EXPECT_NE(std::string::npos, Log().find("In CPatchInstallerBase::InitInstance, ALLOWED WITH MSG."));
    // "Continue" lets the update go on.
    const CRunState& state = CRunState::Get();
    EXPECT_TRUE(state.gateAllowedWithMessage);
    EXPECT_FALSE(state.gateUserClosed);
    EXPECT_FALSE(state.gateDismissed);
    EXPECT_FALSE(state.offline);
    EXPECT_TRUE(StopsWith(nullptr));
}

TEST_F(SupportGateStep, ClosingTheWarningEndsTheRunAsUserExited) {
    REQUIRE_CONNECTED();
    WritePatchIni();
    ASSERT_TRUE(server.Put("http.veltra/config.ini", ListedForThisMachine("Block=0\r\n")));
    answers.push_back(COSSupportDialog::kResultClosed);
    EXPECT_TRUE(installer.InitInstance(info));
    ASSERT_EQ(1u, dialogs.size());
    EXPECT_TRUE(CRunState::Get().gateUserClosed);
    EXPECT_FALSE(CRunState::Get().gateDismissed);
    EXPECT_TRUE(StopsWith("User Exited"));
}

TEST_F(SupportGateStep, OtherListOrBlockShowsNothing) {
    REQUIRE_CONNECTED();
    const std::string key = COSSupportGate::GetWindowsKey(VersionText()) + "\r\n";
    const bool isServer = tw::COSInfo::IsServer();
    struct Case {
        const char* name;
        std::string config;
        int32_t status;
    } cases[] = {
        // Listed only for the other kind of Windows.
        {"other list", isServer ? Config("", key, "Block=1\r\n") : Config(key, "", "Block=1\r\n"), 0},
        {"blocked", ListedForThisMachine("Block=1\r\n"), 2},
        {"allowed", ListedForThisMachine("Block=-1\r\n"), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRunState::Get() = CRunState();
        CRunState::Get().installerDir = installerDir.Path();
        WritePatchIni();
        ASSERT_TRUE(server.Put("http.veltra/config.ini", c.config));
        TestInstaller fresh;
        fresh.SetOsSupportConfigUrls(server.Url("/http.veltra/config.ini").c_str(), "https://localhost:1/none");
        EXPECT_TRUE(fresh.InitInstance(info));
        EXPECT_EQ(c.status, fresh.GetSupportGate().GetStatus());
        EXPECT_TRUE(dialogs.empty());
        EXPECT_FALSE(CRunState::Get().gateAllowedWithMessage);
        EXPECT_TRUE(StopsWith(nullptr));
    }
}

TEST_F(SupportGateStep, Windows10EntryWithoutReleaseDoesNotMatch) {
    REQUIRE_CONNECTED();
    if (!tw::COSInfo::IsWindows10()) GTEST_SKIP() << "not Windows 10";
    const char* key = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    ScopedRegistryKey restore(HKEY_LOCAL_MACHINE, key);
    ASSERT_TRUE(SetRegString(HKEY_LOCAL_MACHINE, key, "ReleaseId", "1909"));
    WritePatchIni();
    ASSERT_TRUE(server.Put("http.veltra/config.ini", Config("", "10.0\r\n6.1\r\n", "Block=0\r\n")));
    EXPECT_TRUE(installer.InitInstance(info));
    EXPECT_EQ("10.0_1909", installer.GetSupportGate().GetWindowsKeyUsed());
    EXPECT_EQ(0, installer.GetSupportGate().GetStatus());
    EXPECT_TRUE(dialogs.empty());

    ASSERT_TRUE(server.Put("http.veltra/config.ini", Config("", "10.0_1909\r\n", "Block=0\r\n")));
    TestInstaller listed;
    listed.SetOsSupportConfigUrls(server.Url("/http.veltra/config.ini").c_str(), "https://localhost:1/none");
    EXPECT_TRUE(listed.InitInstance(info));
    EXPECT_EQ(1, listed.GetSupportGate().GetStatus());
    EXPECT_EQ(1u, dialogs.size());
}

TEST_F(SupportGateStep, NoVerdictIsOfflineOnlyForWindows7) {
    REQUIRE_CONNECTED();
    WritePatchIni();
    ASSERT_TRUE(server.Put("http.veltra/config.ini", ListedForThisMachine("")));
    EXPECT_TRUE(installer.InitInstance(info));
    EXPECT_EQ(3, installer.GetSupportGate().GetStatus());
    if (!Windows7Family()) {
        EXPECT_TRUE(dialogs.empty());
        EXPECT_FALSE(CRunState::Get().offline);
        EXPECT_TRUE(StopsWith(nullptr));
        return;
    }
    EXPECT_NE(std::string::npos,
              Log().find("In CPatchInstallerBase::InitInstance, EXCEPTION ENUM condition only for Win 7."));
    ASSERT_EQ(1u, dialogs.size());
    EXPECT_EQ("Error", dialogs[0].title);
    EXPECT_EQ("OK", dialogs[0].button);
    EXPECT_EQ("Please check your internet connection", dialogs[0].texts[0]);
    EXPECT_TRUE(CRunState::Get().offline);
    EXPECT_TRUE(CRunState::Get().gateDismissed);
    EXPECT_TRUE(StopsWith("Blocked"));
}

// Something failing while the gate's outcome is acted on (here the warning's dialog): on
// Windows 7 the run is treated as offline, with a line that names no cause; elsewhere it
// is ignored.
TEST_F(SupportGateStep, ExceptionWhileTheGateRunsIsOfflineOnlyForWindows7) {
    REQUIRE_CONNECTED();
    WritePatchIni();
    ASSERT_TRUE(server.Put("http.veltra/config.ini", ListedForThisMachine("Block=0\r\n")));
    const auto showDialog = Platform().ShowDialog;
    int calls = 0;
    Platform().ShowDialog = [&](HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC proc, LPARAM param) -> INT_PTR {
        if (++calls == 1) throw std::runtime_error("the dialog broke");
        return showDialog(instance, name, owner, proc, param);
    };
    EXPECT_TRUE(installer.InitInstance(info));
    const std::string line = "In CPatchInstallerBase::InitInstance, Exception Case checked only for Win7.";
    if (!Windows7Family()) {
        EXPECT_EQ(1, calls);
        EXPECT_EQ(std::string::npos, Log().find(line));
        EXPECT_FALSE(CRunState::Get().offline);
        return;
    }
    EXPECT_NE(std::string::npos, Log().find(line + "\r\n")) << Log();
    ASSERT_EQ(1u, dialogs.size());
    EXPECT_EQ("Please check your internet connection", dialogs[0].texts[0]);
    EXPECT_TRUE(CRunState::Get().offline);
    EXPECT_TRUE(StopsWith("Blocked"));
}

TEST_F(SupportGateStep, ServerTextsSendToLearnMore) {
    REQUIRE_CONNECTED();
    if (!tw::COSInfo::IsServer()) GTEST_SKIP() << "not a server edition";
    WritePatchIni();
    const std::string key = COSSupportGate::GetWindowsKey(VersionText()) + "\r\n";
    ASSERT_TRUE(server.Put("http.veltra/config.ini", Config(key, "", "Block=0\r\n", "Switch to Windows 10")));
    EXPECT_TRUE(installer.InitInstance(info));
    ASSERT_EQ(1u, dialogs.size());
    EXPECT_EQ("Learn more", dialogs[0].texts[2]);
    EXPECT_EQ("Warning", dialogs[0].title);
}

TEST_F(SupportGateStep, ServerPDSReadsTheTestAddress) {
    REQUIRE_CONNECTED();
    WritePatchIni("30.0", "pds");
    ASSERT_TRUE(server.Put("http.veltra/config.ini", ListedForThisMachine("Block=-1\r\n")));
    ASSERT_TRUE(server.Put("http.veltra/Pre_Prod/config_test.ini", ListedForThisMachine("Block=0\r\n")));
    EXPECT_TRUE(installer.InitInstance(info));
    EXPECT_EQ(1, installer.GetSupportGate().GetStatus());
    EXPECT_EQ(1u, dialogs.size());
}

TEST_F(SupportGateStep, OnlyFileVersion30RunsTheGate) {
    REQUIRE_CONNECTED();
    ASSERT_TRUE(server.Put("http.veltra/config.ini", ListedForThisMachine("")));  // no verdict
    for (const char* version : {"30.00", "30.", "3", "28.0"}) {
        SCOPED_TRACE(version);
        WritePatchIni(version);
        TestInstaller fresh;
        fresh.SetOsSupportConfigUrls(server.Url("/http.veltra/config.ini").c_str(), "https://localhost:1/none");
        EXPECT_TRUE(fresh.InitInstance(info));
        EXPECT_EQ("", fresh.GetSupportGate().GetVersionText());
        EXPECT_TRUE(dialogs.empty());
        EXPECT_FALSE(CRunState::Get().offline);
    }
}

// ---- Not connected ---------------------------------------------------------------------------

// Windows without a connection (run inside an offline network namespace).
class SupportGateOffline : public SupportGateStep {
protected:
    void SetUp() override {
        SupportGateStep::SetUp();
        if (HasFatalFailure()) return;
        if (Connected()) GTEST_SKIP() << "Windows reports an internet connection";
    }
};

TEST_F(SupportGateOffline, Windows7GetsTheOfflineNotice) {
    WritePatchIni();
    EXPECT_TRUE(installer.InitInstance(info));
    if (!Windows7Family()) {
        EXPECT_TRUE(dialogs.empty());
        EXPECT_FALSE(CRunState::Get().offline);
        EXPECT_TRUE(StopsWith(nullptr));
        return;
    }
    EXPECT_NE(std::string::npos, Log().find("In CPatchInstallerBase::InitInstance,OFFLINE Condition for Win 7."));
    ASSERT_EQ(1u, dialogs.size());
    const ShownDialog& shown = dialogs[0];
    EXPECT_EQ("Error", shown.title);
    EXPECT_EQ("OK", shown.button);
    EXPECT_EQ("Please check your internet connection", shown.texts[0]);
    EXPECT_EQ(tw::COSInfo::IsServer()
                  ? "In order to update Tallyworks, you will need to connect you computer to the internet."
                  : "Your computer is running on Windows 7 - In order to update Tallyworks, you will need to "
                    "connect your computer to the internet.",
              shown.texts[1]);
    EXPECT_EQ(
        "Please check your internet connection and then relaunch Tallyworks update to complete the Tallyworks "
        "update process.",
        shown.texts[2]);
    EXPECT_EQ("", shown.texts[3]);
    EXPECT_TRUE(CRunState::Get().offline);
    EXPECT_TRUE(CRunState::Get().gateDismissed);
    EXPECT_TRUE(StopsWith("Blocked"));
}

TEST_F(SupportGateOffline, ExitReasonFollowsHowTheNoticeEnded) {
    if (!Windows7Family()) GTEST_SKIP() << "not Windows 7";
    struct Case {
        INT_PTR answer;
        const char* reason;
    } cases[] = {
        {COSSupportDialog::kResultButton, "Blocked"},
        {COSSupportDialog::kResultClosed, "Blocked"},
        {-1, "platform OFFLINE"},  // the notice could not be shown
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        CRunState::Get() = CRunState();
        CRunState::Get().installerDir = installerDir.Path();
        WritePatchIni();
        answers.push_back(c.answer);
        TestInstaller fresh;
        EXPECT_TRUE(fresh.InitInstance(info));
        EXPECT_TRUE(StopsWith(c.reason));
    }
}

// The whole auto run: the offline notice ends it before any patch is applied.
TEST_F(SupportGateOffline, AutoRunEndsBlockedWithoutPatching) {
    if (!Windows7Family()) GTEST_SKIP() << "not Windows 7";
    WritePatchIni();
    TempDir product("twgateproduct");
    int applyCalls = 0;
    Platform().Msi.ApplyMultiplePatches = [&](LPCSTR, LPCSTR, LPCSTR) -> UINT {
        ++applyCalls;
        return ERROR_SUCCESS;
    };
    tw::CAutoPatchWnd window;
    ASSERT_NE(0, window.InitApplication(::GetModuleHandleA(nullptr)));
    tw::CAutoPatchInstaller autoInstaller;
    autoInstaller.SetMainWindow(&window);
    info.pathGiven = 1;
    lstrcpynA(info.productDir, product.Path().c_str(), sizeof(info.productDir));
    EXPECT_FALSE(autoInstaller.Run(info, SW_SHOWNORMAL, ("/A /P " + product.Path()).c_str()));
    EXPECT_EQ(0, applyCalls);
    EXPECT_EQ(0, CRunState::Get().exitCode);
    ASSERT_FALSE(sender.messages.empty());
    EXPECT_NE(std::string::npos,
              sender.messages.back().text.find(tw::CPatchInstallerBase::BuildExitMessage("Blocked", "Auto")));
    if (info.mainWindow) ::DestroyWindow(info.mainWindow);
}

}  // namespace
