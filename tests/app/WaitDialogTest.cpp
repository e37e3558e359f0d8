#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <thread>

#include "InstallerTestSupport.h"
#include "common/RunState.h"
#include "common/TestSupport.h"
#include "logging/StatusLogMgr.h"
#include "common/Resource.h"
#include "ui/WaitDialog.h"

namespace {

using tw::CWaitDialog;

std::string ControlText(HWND dialog, int id) {
    char text[300] = {};
    ::GetDlgItemTextA(dialog, id, text, sizeof(text));
    return text;
}

class WaitDialogTest : public ::testing::Test {
protected:
    void SetUp() override { tw::StatusLogMgr::RenameLogFile(logDir.Path().c_str()); }

    std::string Log() const { return twtest::ReadTextFile(logDir / "Patchlog.txt"); }
    size_t Count(const std::string& text) const {
        const std::string log = Log();
        size_t n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
        return n;
    }

    twtest::SeamGuard seams;
    twtest::TempDir logDir{"waitlog"};
    // Cleared, so that the tests see the dialog set it.
    static tw::CContinueFlag Cleared() {
        tw::CContinueFlag flag;
        flag.RequestCancel();
        return flag;
    }
    tw::CContinueFlag continueFlag = Cleared();
};

// Presses before the handler looks make one cancellation, and the flag is set again at once.
TEST(ContinueFlagTest, EachRunOfPressesIsTakenOnce) {
    tw::CContinueFlag flag;
    EXPECT_TRUE(flag.IsSet());
    EXPECT_FALSE(flag.TakeCancel());
    flag.RequestCancel();
    flag.RequestCancel();
    EXPECT_FALSE(flag.IsSet());
    EXPECT_TRUE(flag.TakeCancel());
    EXPECT_TRUE(flag.IsSet());
    EXPECT_FALSE(flag.TakeCancel());
    flag.RequestCancel();
    flag.Set();
    EXPECT_FALSE(flag.TakeCancel());
}

TEST_F(WaitDialogTest, OpensWithTitleStatusAndZeroPercent) {
    CWaitDialog dialog(nullptr, &continueFlag, nullptr);
    HWND hwnd = dialog.GetHwnd();
    ASSERT_NE(nullptr, hwnd);
    EXPECT_TRUE(continueFlag.IsSet());
    EXPECT_TRUE(::IsWindowVisible(hwnd));
    char title[128] = {};
    ::GetWindowTextA(hwnd, title, sizeof(title));
    EXPECT_STREQ("Tallyworks Update", title);
    EXPECT_EQ("Installing Tallyworks Update...", ControlText(hwnd, IDC_WAIT_STATUS));
    EXPECT_EQ("Installing Tallyworks Update...", dialog.GetStatusText());
    EXPECT_EQ("0%", ControlText(hwnd, IDC_WAIT_PERCENT_ROW1));
    EXPECT_EQ("", ControlText(hwnd, IDC_WAIT_UPPER_TEXT));
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(hwnd, IDCANCEL)));
    EXPECT_EQ(::GetDlgItem(hwnd, IDCANCEL), ::GetFocus());
    for (int hidden : {IDC_WAIT_PERCENT_ROW0, IDC_WAIT_GREY_RECT_1, IDC_WAIT_FRAME_2})
        EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(hwnd, hidden))) << hidden;

    dialog.SetStatusText("Copying new files");
    EXPECT_EQ("Copying new files", ControlText(hwnd, IDC_WAIT_STATUS));
    EXPECT_EQ("Copying new files", dialog.GetStatusText());
    dialog.EnableCancel(false);
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(hwnd, IDCANCEL)));
}

struct PercentCase {
    int16_t given;
    int16_t stored;
    const char* shown;
};

TEST_F(WaitDialogTest, PercentageIsClampedAndShown) {
    CWaitDialog dialog(nullptr, &continueFlag, nullptr);
    HWND hwnd = dialog.GetHwnd();
    ASSERT_NE(nullptr, hwnd);
    const PercentCase cases[] = {{42, 42, "42%"}, {150, 100, "100%"}, {-5, 0, "0%"}, {100, 100, "100%"}, {0, 0, "0%"}};
    for (const PercentCase& c : cases) {
        dialog.SetProgress(1, c.given);
        EXPECT_EQ(c.stored, dialog.GetPercent()) << c.given;
        EXPECT_EQ(c.shown, ControlText(hwnd, IDC_WAIT_PERCENT_ROW1)) << c.given;
        EXPECT_EQ(c.stored, ::SendDlgItemMessageA(hwnd, IDC_WAIT_PROGRESS, PBM_GETPOS, 0, 0)) << c.given;
    }
}

TEST_F(WaitDialogTest, OwnerIsDisabledWhileOpenAndTheDialogCentredOverIt) {
    HWND owner = ::CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 100, 50, 600, 500, nullptr, nullptr,
                                   nullptr, nullptr);
    ASSERT_NE(nullptr, owner);
    {
        CWaitDialog dialog(nullptr, &continueFlag, owner);
        HWND hwnd = dialog.GetHwnd();
        ASSERT_NE(nullptr, hwnd);
        EXPECT_EQ(owner, ::GetWindow(hwnd, GW_OWNER));
        EXPECT_FALSE(::IsWindowEnabled(owner));
        RECT rect{};
        ::GetWindowRect(hwnd, &rect);
        const int width = rect.right - rect.left;
        const int height = rect.bottom - rect.top;
        EXPECT_EQ(100 + (600 - width) / 2, rect.left);
        EXPECT_EQ(50 + (500 - height) / 2, rect.top);
    }
    EXPECT_TRUE(::IsWindowEnabled(owner));
    ::DestroyWindow(owner);
}

TEST_F(WaitDialogTest, WithoutOwnerOrActiveWindowItIsCentredOnTheDesktop) {
    // A new thread has no active window of its own.
    RECT rect{};
    HWND owner = reinterpret_cast<HWND>(1);
    bool created = false;
    std::thread([&] {
        tw::CContinueFlag flag;
        if (::GetActiveWindow()) return;
        CWaitDialog dialog(nullptr, &flag, nullptr);
        created = dialog.GetHwnd() != nullptr;
        if (!created) return;
        ::GetWindowRect(dialog.GetHwnd(), &rect);
        owner = ::GetWindow(dialog.GetHwnd(), GW_OWNER);
    }).join();
    ASSERT_TRUE(created);
    EXPECT_EQ(nullptr, owner);
    RECT desktop{};
    ::GetWindowRect(::GetDesktopWindow(), &desktop);
    EXPECT_EQ(desktop.left + ((desktop.right - desktop.left) - (rect.right - rect.left)) / 2, rect.left);
    EXPECT_EQ(desktop.top + ((desktop.bottom - desktop.top) - (rect.bottom - rect.top)) / 2, rect.top);
}

TEST_F(WaitDialogTest, PumpMessagesDispatchesPendingMessagesAndKeepsAQuit) {
    CWaitDialog dialog(nullptr, &continueFlag, nullptr);
    ASSERT_NE(nullptr, dialog.GetHwnd());
    ::PostMessageA(dialog.GetHwnd(), WM_KEYDOWN, VK_ESCAPE, 0);
    ::PostQuitMessage(3);
    dialog.PumpMessages();
    EXPECT_FALSE(continueFlag.IsSet());  // the key reached the dialog and cancelled
    MSG msg;
    ASSERT_TRUE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(3u, msg.wParam);
}

// Cancel with the product at <temp>\product\tww.exe.
class WaitDialogCancelTest : public WaitDialogTest {
protected:
    void SetUp() override {
        WaitDialogTest::SetUp();
        tw::CRunState::Get().productExePath = product / "tww.exe";
        fixes = product / "CriticalFixes";
    }
    void Press(CWaitDialog& dialog) {
        ::SendMessageA(dialog.GetHwnd(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(dialog.GetHwnd(), IDCANCEL)));
    }
    twtest::TempDir product{"waitproduct"};
    std::string fixes;
};

TEST_F(WaitDialogCancelTest, CancelEmptiesCriticalFixesAndWritesTheMarkerEachTime) {
    ASSERT_TRUE(twtest::MakeDirs(fixes));
    ASSERT_TRUE(twtest::WriteTextFile(fixes + "\\fix1.dll", "1"));
    ASSERT_TRUE(twtest::WriteTextFile(fixes + "\\fix2.dat", "2"));
    ::SetFileAttributesA((fixes + "\\fix2.dat").c_str(), FILE_ATTRIBUTE_READONLY);
    CWaitDialog dialog(nullptr, &continueFlag, nullptr);
    ASSERT_NE(nullptr, dialog.GetHwnd());

    Press(dialog);
    EXPECT_FALSE(continueFlag.IsSet());
    EXPECT_FALSE(twtest::FileExists(fixes + "\\fix1.dll"));
    EXPECT_FALSE(twtest::FileExists(fixes + "\\fix2.dat"));
    EXPECT_TRUE(twtest::FileExists(fixes + "\\force_apply_ulip.dat"));

    Press(dialog);
    EXPECT_FALSE(continueFlag.IsSet());
    EXPECT_TRUE(twtest::FileExists(fixes + "\\force_apply_ulip.dat"));
    EXPECT_EQ(2u, Count("CWaitDialog::OnCancel, force_apply_ulip.dat written successfully\r\n"));
    EXPECT_STREQ("", dialog.GetLastFailureText());
}

// Each dialog answers for itself, whichever was opened last and whichever is still open.
TEST_F(WaitDialogCancelTest, CancelReachesTheDialogItWasPressedIn) {
    ASSERT_TRUE(twtest::MakeDirs(fixes));
    tw::CContinueFlag firstFlag = Cleared();
    CWaitDialog first(nullptr, &firstFlag, nullptr);
    ASSERT_NE(nullptr, first.GetHwnd());
    {
        CWaitDialog second(nullptr, &continueFlag, nullptr);
        ASSERT_NE(nullptr, second.GetHwnd());
        Press(first);
        EXPECT_FALSE(firstFlag.IsSet());
        EXPECT_TRUE(continueFlag.IsSet());
        Press(second);
        EXPECT_FALSE(continueFlag.IsSet());
    }
    firstFlag.Set();
    Press(first);
    EXPECT_FALSE(firstFlag.IsSet());
}

TEST_F(WaitDialogCancelTest, MissingCriticalFixesFolderIsReported) {
    twtest::TrackingRecorder sender;
    tw::InstallTracker::Instance().SetCountry("US");
    CWaitDialog dialog(nullptr, &continueFlag, nullptr);
    ASSERT_NE(nullptr, dialog.GetHwnd());
    ::SendMessageA(dialog.GetHwnd(), WM_CHAR, 'x', 0);
    EXPECT_FALSE(continueFlag.IsSet());
    const std::string log = Log();
    EXPECT_NE(std::string::npos, log.find("Patch: CWaitDialog::DeleteFiles, Directory does not exist.\r\n"
                                          "Patch: CWaitDialog::OnCancel, Failed to delete all the files from "
                                          "CriticalFixes folder.\r\n"
                                          "Patch: CWaitDialog::OnCancel, Could not create file force_apply_ulip.dat. "
                                          "Error code is: 3\r\n"))
        << log;
    EXPECT_STREQ("Patch: CWaitDialog::OnCancel, Failed to delete all the files from CriticalFixes folder.",
                 dialog.GetLastFailureText());
    // Each failure, the marker's last, also goes out as an error tracking message.
    const char* sent[] = {
        "ErrorMessage=\"Patch: CWaitDialog::DeleteFiles, Directory does not exist.\"",
        "ErrorMessage=\"Patch: CWaitDialog::OnCancel, Failed to delete all the files from CriticalFixes folder.\"",
        "ErrorMessage=\"Patch: CWaitDialog::OnCancel, Could not create file force_apply_ulip.dat. Error code is: 3\"",
    };
    ASSERT_EQ(3u, sender.messages.size());
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(sender.messages[i].isError) << i;
        EXPECT_NE(std::string::npos, sender.messages[i].text.find(sent[i])) << sender.messages[i].text;
    }
}

TEST_F(WaitDialogCancelTest, SubfoldersAreReportedAndTheRestDeleted) {
    ASSERT_TRUE(twtest::MakeDirs(fixes + "\\sub"));
    ASSERT_TRUE(twtest::WriteTextFile(fixes + "\\fix1.dll", "1"));
    CWaitDialog dialog(nullptr, &continueFlag, nullptr);
    EXPECT_TRUE(dialog.DeleteFiles((fixes + "\\").c_str()));
    EXPECT_FALSE(twtest::FileExists(fixes + "\\fix1.dll"));
    EXPECT_EQ(1u, Count("Patch: CWaitDialog::DeleteFiles Failed to delete the File : sub  with GetLastError : "));
    EXPECT_EQ(0u, std::string(dialog.GetLastFailureText()).find("Patch: CWaitDialog::DeleteFiles Failed to delete"));
}

TEST_F(WaitDialogTest, CancelWithoutProductPathIsReported) {
    CWaitDialog dialog(nullptr, &continueFlag, nullptr);
    dialog.OnCancel(WM_COMMAND, 0);
    EXPECT_FALSE(continueFlag.IsSet());
    EXPECT_STREQ("Patch: CWaitDialog::OnCancel, TW Windows app name is NULL.", dialog.GetLastFailureText());
    tw::CRunState::Get().productExePath = "tww.exe";
    dialog.OnCancel(WM_COMMAND, 0);
    EXPECT_STREQ("Patch: CWaitDialog::OnCancel, it fails to get the directory name for the TW Windows app name.",
                 dialog.GetLastFailureText());
}

TEST_F(WaitDialogTest, WithoutWindowEveryOperationDoesNothing) {
    // A module without the dialog template: the object stays without window.
    CWaitDialog dialog(::GetModuleHandleA("kernel32.dll"), &continueFlag, nullptr);
    EXPECT_EQ(nullptr, dialog.GetHwnd());
    EXPECT_TRUE(continueFlag.IsSet());
    dialog.SetStatusText("x");
    dialog.SetProgress(1, 50);
    dialog.EnableCancel(false);
    EXPECT_EQ(0, dialog.GetPercent());
    EXPECT_EQ("", dialog.GetStatusText());
}

// Keeps the dialog on screen for a while at 42 % so that it can be looked at
// (run with --gtest_also_run_disabled_tests and take a screenshot of the display).
TEST_F(WaitDialogTest, DISABLED_ShowForAWhile) {
    CWaitDialog dialog(nullptr, &continueFlag, nullptr);
    dialog.SetStatusText(" Copying new files");
    dialog.SetProgress(1, 42);
    const DWORD until = ::GetTickCount() + 8000;
    while (::GetTickCount() < until) {
        dialog.PumpMessages();
        ::Sleep(50);
    }
}

}  // namespace
