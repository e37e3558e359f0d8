#include <gtest/gtest.h>

#include <windows.h>
#include <msi.h>

#include <stdexcept>
#include <string>

#include "InstallerTestSupport.h"
#include "app/MsiInterface.h"
#include "ui/ShutdownWaitDialog.h"
#include "logging/CallbackGuard.h"
#include "common/PlatformSeams.h"
#include "common/RunState.h"
#include "logging/StatusLogMgr.h"
#include "ui/AutoPatchWnd.h"
#include "common/Resource.h"
#include "ui/WaitDialog.h"

namespace {

using tw::CMsiInterface;
using tw::Platform;
using namespace twtest;

// Every callback that Windows calls ends an exception of its own code itself: it logs it
// with its name and gives Windows its safe answer.
class CallbackGuardTest : public ::testing::Test {
protected:
    void SetUp() override { tw::StatusLogMgr::RenameLogFile(logDir.Path().c_str()); }

    std::string Log() const { return ReadTextFile(logDir / "Patchlog.txt"); }
    bool LogHas(const std::string& line) const { return Log().find(line + "\r\n") != std::string::npos; }

    SeamGuard seams;
    TempDir logDir{"guardlog"};
};

TEST_F(CallbackGuardTest, HelperAnswersTheBodysResultOrTheSafeAnswer) {
    EXPECT_EQ(7, tw::GuardCallback("Test::Plain", -1, []() { return 7; }));
    EXPECT_EQ(-1, tw::GuardCallback("Test::Std", -1, []() -> int { throw std::runtime_error("scripted failure"); }));
    EXPECT_EQ(-2, tw::GuardCallback("Test::Other", -2, []() -> int { throw 42; }));
    EXPECT_TRUE(LogHas("In Test::Std, Got exception: scripted failure"));
    EXPECT_TRUE(LogHas("In Test::Other, Got exception: unknown"));
}

// --- The Windows Installer handler ---

struct HandlerFailureCase {
    const char* name;
    UINT type;
    const char* text;
};

// Each kind whose handling reaches a throwing step answers 0, never IDOK (which would
// accept an error or a fatal exit) nor IDCANCEL/IDABORT (which would end the installation).
const HandlerFailureCase kHandlerFailureCases[] = {
    {"Warning", INSTALLMESSAGE_WARNING | MB_OKCANCEL, "careful"},
    {"Error", INSTALLMESSAGE_ERROR | MB_RETRYCANCEL, "Error 1311. Could not locate source file"},
    {"FatalExit", INSTALLMESSAGE_FATALEXIT | MB_OK, "fatal"},
};

class HandlerFailureTest : public CallbackGuardTest, public ::testing::WithParamInterface<HandlerFailureCase> {};

TEST_P(HandlerFailureTest, ThrowingMessageBoxAnswersNotHandled) {
    const HandlerFailureCase& c = GetParam();
    TrackingRecorder sender;
    TestInstaller installer;
    CMsiInterface& msi = CMsiInterface::Instance();
    ASSERT_EQ(&installer, msi.GetObserver());
    Platform().ShowMessageBox = [](HWND, LPCSTR, LPCSTR, UINT, WORD) -> int { throw std::runtime_error("box failed"); };
    EXPECT_EQ(0, CMsiInterface::ExternalUiHandler(&msi, c.type, c.text));
    EXPECT_TRUE(LogHas("In CMsiInterface::ExternalUiHandler, Got exception: box failed")) << Log();

    // The next message is handled as usual.
    Platform().ShowMessageBox = [](HWND, LPCSTR, LPCSTR, UINT, WORD) { return IDOK; };
    EXPECT_EQ(IDOK, CMsiInterface::ExternalUiHandler(&msi, c.type, c.text));
}

INSTANTIATE_TEST_SUITE_P(Kinds, HandlerFailureTest, ::testing::ValuesIn(kHandlerFailureCases),
                         [](const ::testing::TestParamInfo<HandlerFailureCase>& row) { return row.param.name; });

TEST_F(CallbackGuardTest, ThrowingRestartStepInsideAnApplyCallLetsTheCallGoOn) {
    // Windows Installer (scripted) calls the real handler; the restart box throws.
    TestInstaller installer;
    CMsiInterface& msi = CMsiInterface::Instance();
    ASSERT_EQ(&installer, msi.GetObserver());
    Platform().ShowMessageBox = [](HWND, LPCSTR, LPCSTR, UINT, WORD) -> int { throw 5; };
    std::vector<int> answers;
    Platform().Msi.ApplyMultiplePatches = [&](LPCSTR, LPCSTR, LPCSTR) -> UINT {
        answers.push_back(CMsiInterface::ExternalUiHandler(&msi, INSTALLMESSAGE_USER, "restart needed"));
        answers.push_back(CMsiInterface::ExternalUiHandler(&msi, INSTALLMESSAGE_OUTOFDISKSPACE, "full"));
        return 0;
    };
    char errorText[CMsiInterface::kErrorTextSize];
    UINT result = 99;
    EXPECT_TRUE(msi.ApplyMultiplePatches("p.msp", "{PC}", nullptr, errorText, &result));
    EXPECT_EQ((std::vector<int>{0, IDABORT}), answers);
    EXPECT_TRUE(LogHas("In CMsiInterface::ExternalUiHandler, Got exception: unknown"));
}

// --- Dialog and window procedures ---

class ThrowingSender : public tw::ITrackingSender {
public:
    bool Send(const tw::TrackingMessage&) override { throw std::runtime_error("sender failed"); }
};

TEST_F(CallbackGuardTest, WaitDialogCancelThatThrowsIsEndedInTheDialogProcedure) {
    ThrowingSender sender;
    TrackingSenderScope senderScope(&sender);
    tw::InstallTracker::Instance().SetCountry("US");
    tw::CContinueFlag continueFlag;
    {
        tw::CWaitDialog dialog(nullptr, &continueFlag, nullptr);
        ASSERT_NE(nullptr, dialog.GetHwnd());
        // Without a product path Cancel reports a failure, whose tracking message throws.
        ::SendMessageA(dialog.GetHwnd(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        EXPECT_FALSE(continueFlag.IsSet());
        EXPECT_TRUE(::IsWindow(dialog.GetHwnd()));
    }
    EXPECT_TRUE(LogHas("In CWaitDialog::WaitDialogProc, Got exception: sender failed")) << Log();
}

TEST_F(CallbackGuardTest, ShutdownDialogTickThatThrowsKeepsTheDialogGoing) {
    // The real dialog: the first look throws, the second finds the product closed.
    int looks = 0;
    tw::CShutdownWaitDialog dialog(
        [&looks]() -> bool {
            if (++looks == 1) throw std::runtime_error("look failed");
            return false;
        },
        []() {});
    const DWORD start = ::GetTickCount();
    EXPECT_EQ(1, dialog.Show(nullptr));
    EXPECT_LT(::GetTickCount() - start, 10000u);
    EXPECT_EQ(2, looks);
    EXPECT_TRUE(LogHas("In CShutdownWaitDialog::DialogProc, Got exception: look failed")) << Log();
}

class ThrowingPaintWnd : public tw::CAutoPatchWnd {
public:
    void PaintBackground(HDC) override {
        ++paints;
        throw std::runtime_error("paint failed");
    }
    int paints = 0;
};

TEST_F(CallbackGuardTest, MainWindowPaintThatThrowsEndsThePaint) {
    ThrowingPaintWnd window;
    ASSERT_NE(0, window.InitApplication(::GetModuleHandleA(nullptr)));
    HWND hwnd = window.CreateMainWindow();  // shows and updates: the first paint throws
    ASSERT_NE(nullptr, hwnd);
    EXPECT_EQ(1, window.paints);
    EXPECT_TRUE(LogHas("In CMainWnd::WindowProc, Got exception: paint failed")) << Log();
    // The window was validated: no paint is pending that would come back for ever.
    MSG msg;
    EXPECT_FALSE(::PeekMessageA(&msg, hwnd, WM_PAINT, WM_PAINT, PM_NOREMOVE));
    ::DestroyWindow(hwnd);
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message != WM_QUIT) ::DispatchMessageA(&msg);
    }
}

}  // namespace
