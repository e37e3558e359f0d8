#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "InstallerTestSupport.h"
#include "app/AutoPatchInstaller.h"
#include "app/WebPatchInstaller.h"
#include "common/RunState.h"
#include "common/TestSupport.h"
#include "common/Resource.h"
#include "logging/StatusLogMgr.h"
#include "ui/AutoPatchWnd.h"
#include "ui/WebPatchWnd.h"

namespace {

HINSTANCE Self() { return ::GetModuleHandleA(nullptr); }

std::string TitleOf(HWND hwnd) {
    char title[256] = {};
    ::GetWindowTextA(hwnd, title, sizeof(title));
    return title;
}

TEST(MainWindow, TitleCarriesTheVersionOrTheDefault) {
    tw::CAutoPatchWnd window;
    ASSERT_NE(0, window.InitApplication(Self()));
    EXPECT_EQ("Tallyworks Update,Version 12.1", window.WindowTitle());
    window.SetVersion("28.0");
    EXPECT_EQ("Tallyworks Update,Version 28.0", window.WindowTitle());
    window.SetVersion("");
    EXPECT_EQ("Tallyworks Update,Version 12.1", window.WindowTitle());
}

// The class is registered once per process; a window object that is gone leaves the
// later ones a background brush that still exists.
TEST(MainWindow, ClassBackgroundOutlivesTheFirstWindowObject) {
    {
        tw::CAutoPatchWnd first;
        ASSERT_NE(0, first.InitApplication(Self()));
        ASSERT_NE(nullptr, first.CreateMainWindow());
    }
    tw::CAutoPatchWnd second;
    ASSERT_NE(0, second.InitApplication(Self()));
    HWND hwnd = second.CreateMainWindow();
    ASSERT_NE(nullptr, hwnd);
    auto brush = reinterpret_cast<HGDIOBJ>(::GetClassLongPtrA(hwnd, GCLP_HBRBACKGROUND));
    EXPECT_EQ(static_cast<DWORD>(OBJ_BRUSH), ::GetObjectType(brush));
}

TEST(MainWindow, AutoWindowTakesTheBitmapSizeAndThickFrame) {
    tw::CAutoPatchWnd window;
    ASSERT_NE(0, window.InitApplication(Self()));
    window.SetVersion("28.0");
    HWND hwnd = window.CreateMainWindow();
    ASSERT_NE(nullptr, hwnd);

    char className[64];
    ::GetClassNameA(hwnd, className, sizeof(className));
    EXPECT_STREQ("TWPatchClass", className);
    EXPECT_EQ("Tallyworks Update,Version 28.0", TitleOf(hwnd));
    EXPECT_TRUE(::IsWindowVisible(hwnd));
    LONG style = ::GetWindowLongA(hwnd, GWL_STYLE);
    EXPECT_EQ(static_cast<LONG>(WS_CAPTION | WS_THICKFRAME), style & static_cast<LONG>(WS_CAPTION | WS_THICKFRAME));

    HBITMAP bitmap = ::LoadBitmapA(Self(), "BACKGROUNDBMP");
    ASSERT_NE(nullptr, bitmap);
    BITMAP info = {};
    ::GetObjectA(bitmap, sizeof(info), &info);
    ::DeleteObject(bitmap);
    RECT rect;
    ::GetWindowRect(hwnd, &rect);
    EXPECT_EQ(100, rect.left);
    EXPECT_EQ(100, rect.top);
    EXPECT_EQ(info.bmWidth, rect.right - rect.left);
    EXPECT_EQ(info.bmHeight, rect.bottom - rect.top);
}

TEST(MainWindow, WebWindowIsCentredWithFixedSize) {
    tw::CWebPatchWnd window;
    ASSERT_NE(0, window.InitApplication(Self()));
    HWND hwnd = window.CreateMainWindow();
    ASSERT_NE(nullptr, hwnd);
    RECT rect;
    ::GetWindowRect(hwnd, &rect);
    EXPECT_EQ(426, rect.right - rect.left);
    EXPECT_EQ(287, rect.bottom - rect.top);
    EXPECT_EQ(::GetSystemMetrics(SM_CXSCREEN) / 2 - 213, rect.left);
    EXPECT_EQ(::GetSystemMetrics(SM_CYSCREEN) / 2 - 143, rect.top);
    EXPECT_EQ(0, ::GetWindowLongA(hwnd, GWL_STYLE) & WS_THICKFRAME);
}

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// The confirmation dialog's layout is in dialog units, so whether its buttons show depends
// on the dialog font's metrics; the web run places the dialog 90 pixels into the window.
TEST(MainWindow, WebWindowShowsTheWholeConfirmationDialogButtons) {
    tw::CWebPatchWnd window;
    ASSERT_NE(0, window.InitApplication(Self()));
    HWND hwnd = window.CreateMainWindow();
    ASSERT_NE(nullptr, hwnd);
    HWND dialog = ::CreateDialogParamA(Self(), "IDD_PATCH_VIEW", hwnd, PlainDialogProc, 0);
    ASSERT_NE(nullptr, dialog);
    ::SetWindowPos(dialog, nullptr, 90, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);

    // "MS Shell Dlg" 8pt on Windows: a horizontal dialog base unit of about 6 pixels at 96 dpi.
    RECT unit = {0, 0, 4, 8};
    ASSERT_TRUE(::MapDialogRect(dialog, &unit));
    EXPECT_GE(unit.right, 5);
    EXPECT_LE(unit.right, 6);

    RECT client;
    ::GetClientRect(hwnd, &client);
    for (int id : {IDC_INSTALL_NOW, IDCANCEL}) {
        SCOPED_TRACE(id);
        RECT button;
        ASSERT_TRUE(::GetWindowRect(::GetDlgItem(dialog, id), &button));
        ::MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&button), 2);
        EXPECT_GE(button.left, client.left);
        EXPECT_GE(button.top, client.top);
        EXPECT_LE(button.right, client.right);
        EXPECT_LE(button.bottom, client.bottom);
    }
    ::DestroyWindow(dialog);
}

TEST(MainWindow, ClosingTheWindowEndsTheMessageLoop) {
    tw::CAutoPatchWnd window;
    ASSERT_NE(0, window.InitApplication(Self()));
    HWND hwnd = window.CreateMainWindow();
    ASSERT_NE(nullptr, hwnd);
    ::PostMessageA(hwnd, WM_CLOSE, 0, 0);
    MSG msg;
    int dispatched = 0;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0 && ++dispatched < 10000) ::DispatchMessageA(&msg);
    EXPECT_EQ(WM_QUIT, msg.message);
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_EQ(nullptr, window.GetHwnd());
}

// Exposes the gate-outcome decision of the run operations.
class GateProbe : public tw::CAutoPatchInstaller {
public:
    using tw::CAutoPatchInstaller::StopForGateOutcome;
};

struct GateCase {
    bool allowedWithMessage, userClosed, dismissed, offline;
    const char* reason;  // of the exit message; null: the run goes on
};

class GateOutcomeTest : public ::testing::TestWithParam<GateCase> {
protected:
    void SetFlags() const {
        const GateCase& c = GetParam();
        tw::CRunState& state = tw::CRunState::Get();
        state.gateAllowedWithMessage = c.allowedWithMessage;
        state.gateUserClosed = c.userClosed;
        state.gateDismissed = c.dismissed;
        state.offline = c.offline;
    }
};

TEST_P(GateOutcomeTest, RunStopsOnlyForTheGateOutcomesThatEndIt) {
    twtest::SeamGuard guard;
    SetFlags();
    GateProbe probe;
    EXPECT_EQ(GetParam().reason != nullptr, probe.StopForGateOutcome("Auto"));
}

// The auto run, with the patch application counted instead of done.
class CountingAutoInstaller : public tw::CAutoPatchInstaller {
public:
    int32_t DoProgramPatches(tw::PatchCmdInfo&) override {
        ++patchRuns;
        return kStatusSuccess;
    }
    int patchRuns = 0;
};

// Both variants' run operations act on the gate's flags, after initialisation (which runs
// no gate for this update) and once their main window is up: a run the gate ends sends the
// exit message with the variant's name and applies nothing; else the auto run patches and
// the web run shows its confirmation dialog.
TEST_P(GateOutcomeTest, EachVariantsRunActsOnTheFlags) {
    const GateCase& c = GetParam();
    for (const char* variant : {"Auto", "Web"}) {
        SCOPED_TRACE(variant);
        twtest::SeamGuard guard;
        twtest::TrackingRecorder sender;
        twtest::MessageBoxRecorder boxes;
        twtest::TempDir installerDir("twgaterun");
        ASSERT_TRUE(twtest::WriteTextFile(installerDir / "patch.ini", twtest::PatchIni()));
        tw::StatusLogMgr::RenameLogFile(installerDir.Path().c_str());
        tw::CRunState::Get().installerDir = installerDir.Path();
        tw::Platform().Msi.QueryProductState = [](LPCSTR) { return INSTALLSTATE_DEFAULT; };
        SetFlags();
        tw::PatchCmdInfo info;
        std::memset(&info, 0, sizeof(info));
        info.instance = Self();

        const bool isWeb = std::string(variant) == "Web";
        CountingAutoInstaller autoInstaller;
        tw::CWebPatchInstaller webInstaller;
        tw::CAutoPatchWnd autoWindow;
        tw::CWebPatchWnd webWindow;
        tw::CPatchInstallerBase& installer = isWeb ? static_cast<tw::CPatchInstallerBase&>(webInstaller)
                                                   : static_cast<tw::CPatchInstallerBase&>(autoInstaller);
        tw::CMainWnd& window = isWeb ? static_cast<tw::CMainWnd&>(webWindow) : static_cast<tw::CMainWnd&>(autoWindow);
        ASSERT_NE(0, window.InitApplication(Self()));
        installer.SetMainWindow(&window);

        const bool goesOn = installer.Run(info, SW_SHOWNORMAL, "");
        EXPECT_EQ(c.reason == nullptr, goesOn);
        EXPECT_EQ(0, tw::CRunState::Get().exitCode);
        if (c.reason) {
            ASSERT_EQ(1u, sender.messages.size());
            EXPECT_TRUE(sender.messages[0].isError);
            EXPECT_NE(std::string::npos,
                      sender.messages[0].text.find(tw::CPatchInstallerBase::BuildExitMessage(c.reason, variant)))
                << sender.messages[0].text;
        } else {
            EXPECT_TRUE(sender.messages.empty());
        }
        if (isWeb) {
            EXPECT_EQ(goesOn, webInstaller.GetPatchViewDialog() != nullptr);
        } else {
            EXPECT_EQ(goesOn ? 1 : 0, autoInstaller.patchRuns);
        }
        if (HWND main = window.GetHwnd()) ::DestroyWindow(main);
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            if (msg.message != WM_QUIT) ::DispatchMessageA(&msg);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, GateOutcomeTest,
                         ::testing::Values(GateCase{false, false, false, false, nullptr},
                                           GateCase{true, true, false, false, "User Exited"},
                                           GateCase{true, false, false, false, nullptr},  // warning accepted
                                           GateCase{false, false, true, false, "Blocked"},
                                           GateCase{false, false, false, true, "platform OFFLINE"},
                                           GateCase{true, false, false, true, nullptr}));

}  // namespace
