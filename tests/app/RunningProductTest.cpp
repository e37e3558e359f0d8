#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "InstallerTestSupport.h"
#include "app/RunningProductCheck.h"
#include "ui/ShutdownWaitDialog.h"
#include "common/PlatformSeams.h"
#include "common/RunState.h"
#include "logging/StatusLogMgr.h"
#include "ui/AutoPatchWnd.h"
#include "common/Resource.h"

namespace {

using tw::CRunState;
using tw::Platform;
using namespace twtest;

class RunningProductTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(installer.LoadConfig(PatchIni()));
        // An existing, unlocked product executable: nothing else makes the product count
        // as running.
        ASSERT_TRUE(WriteTextFile(product / "tww.exe", "product"));
        CRunState::Get().productExePath = product / "tww.exe";
    }

    // A copy of the stand-in under another name, in the scratch folder.
    std::string StandInCopy(const std::string& name) {
        std::string path = programs / name;
        EXPECT_TRUE(::CopyFileA(StandInExe().c_str(), path.c_str(), FALSE)) << name;
        return path;
    }

    SeamGuard seams;
    TrackingRecorder sender;
    TempDir product{"twproduct"};
    TempDir programs{"twprograms"};
    TestInstaller installer;
};

TEST_F(RunningProductTest, NothingRunningAnswersFalse) {
    EXPECT_FALSE(installer.CheckIfTWIsRunning());
    EXPECT_FALSE(installer.LoggedExecutableMissing());
}

TEST_F(RunningProductTest, HiddenFrameGetsBothMessagesAndItsProcessEnds) {
    StandIn frame;
    std::string log = programs / "messages.txt";
    ASSERT_TRUE(frame.Start(StandInExe(), "/hiddenframe /exitonclose /log \"" + log + "\""));
    EXPECT_FALSE(installer.CheckIfTWIsRunning());
    EXPECT_FALSE(frame.IsRunning());
    EXPECT_EQ("161\r\n190\r\n", ReadTextFile(log));
}

TEST_F(RunningProductTest, HiddenFrameThatStaysIsEndedAfterTheWait) {
    // The frame takes both messages but its process keeps running: after the wait it is
    // ended (the wait takes 15 seconds).
    StandIn frame;
    std::string log = programs / "messages.txt";
    ASSERT_TRUE(frame.Start(StandInExe(), "/hiddenframe /log \"" + log + "\""));
    EXPECT_FALSE(installer.CheckIfTWIsRunning());
    EXPECT_TRUE(frame.WaitForExit(0));
    EXPECT_EQ("161\r\n190\r\n", ReadTextFile(log));
}

TEST_F(RunningProductTest, HiddenFrameWithoutTheMarkIsNotClosed) {
    // Hidden, but its title does not end in "@@": left alone, and the frame class answers.
    StandIn frame;
    std::string log = programs / "messages.txt";
    ASSERT_TRUE(frame.Start(StandInExe(), "/hiddenframe /title \"Tallyworks@\" /exitonclose /log \"" + log + "\""));
    EXPECT_TRUE(installer.CheckIfTWIsRunning());
    EXPECT_TRUE(frame.IsRunning());
    EXPECT_FALSE(FileExists(log));
}

TEST_F(RunningProductTest, VisibleFrameAnswersTrue) {
    StandIn frame;
    std::string log = programs / "messages.txt";
    ASSERT_TRUE(frame.Start(StandInExe(), "/frame /title \"Tallyworks@@\" /exitonclose /log \"" + log + "\""));
    EXPECT_TRUE(installer.CheckIfTWIsRunning());
    EXPECT_TRUE(installer.CheckIfTWIsRunning());
    EXPECT_TRUE(frame.IsRunning());
    EXPECT_FALSE(FileExists(log));  // visible frames get no messages
}

TEST_F(RunningProductTest, GlobalMutexAloneDoesNotAnswerTrue) {
    StandIn holder;
    ASSERT_TRUE(holder.Start(StandInCopy("holder.exe"), "/globalmutex"));
    // Even with the product executable locked: after the global mutex only the companions
    // are looked at.
    StandIn locker;
    ASSERT_TRUE(locker.Start(StandInCopy("locker.exe"), "/lock \"" + (product / "tww.exe") + "\""));
    EXPECT_FALSE(installer.CheckIfTWIsRunning());
    EXPECT_TRUE(installer.LoggedGlobalMutex());
    EXPECT_FALSE(installer.LoggedExecutableLocked());
}

TEST_F(RunningProductTest, MajorVersionMutexAnswersTrue) {
    StandIn holder;
    ASSERT_TRUE(holder.Start(StandInCopy("holder.exe"), "/majormutex 28"));
    EXPECT_TRUE(installer.CheckIfTWIsRunning());
    EXPECT_TRUE(installer.LoggedLocalMutex());

    // Another major version's mutex is not this product's.
    holder.Stop();
    StandIn other;
    ASSERT_TRUE(other.Start(StandInCopy("other.exe"), "/majormutex 27"));
    EXPECT_FALSE(installer.CheckIfTWIsRunning());
}

TEST_F(RunningProductTest, LockedExecutableAnswersTrue) {
    StandIn locker;
    ASSERT_TRUE(locker.Start(StandInCopy("locker.exe"), "/lock \"" + (product / "tww.exe") + "\""));
    EXPECT_TRUE(installer.CheckIfTWIsRunning());
    EXPECT_TRUE(installer.LoggedExecutableLocked());
    EXPECT_FALSE(installer.LoggedProcessAlive());
    locker.Stop();
    EXPECT_FALSE(installer.CheckIfTWIsRunning());
}

TEST_F(RunningProductTest, ProductProcessAnswersTrue) {
    StandIn running;
    ASSERT_TRUE(running.Start(StandInExe(), ""));  // "tww.exe" without window or mutex
    EXPECT_TRUE(installer.CheckIfTWIsRunning());
    EXPECT_TRUE(installer.LoggedProcessAlive());
    EXPECT_FALSE(installer.LoggedExecutableLocked());
}

TEST_F(RunningProductTest, MissingExecutableIsReportedOnce) {
    CRunState::Get().productExePath = product / "missing\\tww.exe";
    EXPECT_FALSE(installer.CheckIfTWIsRunning());
    EXPECT_FALSE(installer.CheckIfTWIsRunning());
    EXPECT_TRUE(installer.LoggedExecutableMissing());
    EXPECT_STREQ(
        "Patch: In CPatchInstallerBase::CheckIfTWIsRunning, could not find the tww32.exe file in the patch apply "
        "directory.",
        installer.GetLastFailureText());
}

TEST_F(RunningProductTest, WithoutProductPathOnlyWindowsAndMutexesCount) {
    CRunState::Get().productExePath.clear();
    StandIn running;
    ASSERT_TRUE(running.Start(StandInExe(), ""));
    EXPECT_FALSE(installer.CheckIfTWIsRunning());
}

TEST_F(RunningProductTest, CompanionsAnswerTrue) {
    ASSERT_TRUE(installer.LoadConfig(PatchIni("[AgentData]\nOneAgentData1=TWAgentWnd,Agent,agentproc.exe\n")));
    struct Case {
        const char* exe;
        const char* switches;
    } cases[] = {
        {"standin.exe", "/frame /class TWAgentWnd /title Agent"},  // the agent's window
        {"agentproc.exe", ""},                                     // the agent's process
        {"TWDAGENT.EXE", ""},                                      // a "twdage" process
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.exe);
        StandIn companion;
        ASSERT_TRUE(companion.Start(StandInCopy(c.exe), c.switches));
        EXPECT_TRUE(installer.CheckIfTWIsRunning());
        companion.Stop();
        EXPECT_FALSE(installer.CheckIfTWIsRunning());
    }
}

TEST_F(RunningProductTest, RelatedApplicationIsClosedOrNamed) {
    struct Case {
        const char* entry;
        const char* switches;
        bool running;
        const char* displayName;
    } cases[] = {
        // Closes on WM_CLOSE: not there afterwards.
        {"TWRelatedWnd,Related", "/frame /class TWRelatedWnd /title Related", false, ""},
        // Survives WM_CLOSE: named by its display name, else its process name.
        {"TWRelatedWnd,Related,related.exe,Related Tool", "/frame /class TWRelatedWnd /title Related /ignoreclose",
         true, "Related Tool"},
        {"TWRelatedWnd,Related,related.exe", "/frame /class TWRelatedWnd /title Related /ignoreclose", true,
         "related.exe"},
        {"TWRelatedWnd,Related", "/frame /class TWRelatedWnd /title Related /ignoreclose", true, "Related"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        TestInstaller fresh;
        ASSERT_TRUE(fresh.LoadConfig(PatchIni(std::string("[TWRelatedApps]\nOneTWRelatedApp1=") + c.entry + "\n")));
        StandIn related;
        ASSERT_TRUE(related.Start(StandInCopy("related.exe"), c.switches));
        EXPECT_EQ(c.running, fresh.CheckIfTWIsRunning());
        EXPECT_STREQ(c.displayName, fresh.ProductDisplayName());
        if (!c.running) {
            EXPECT_TRUE(related.WaitForExit(10000));
        }
    }
}

// --- Windows that do not answer ---

// A top-level window on a thread of this process that answers no message until it is
// released (or 30 seconds have passed).
class HungWindow {
public:
    HungWindow(const char* windowClass, const char* title)
        : m_ready(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
          m_release(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
        m_thread = std::thread([this, windowClass, title]() {
            WNDCLASSA wc = {};
            wc.lpfnWndProc = ::DefWindowProcA;
            wc.hInstance = ::GetModuleHandleA(nullptr);
            wc.lpszClassName = windowClass;
            ::RegisterClassA(&wc);
            m_window = ::CreateWindowExA(0, windowClass, title, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                         wc.hInstance, nullptr);
            ::SetEvent(m_ready.Get());
            ::WaitForSingleObject(m_release.Get(), 30000);
            if (m_window) ::DestroyWindow(m_window);
            ::UnregisterClassA(windowClass, wc.hInstance);
        });
        ::WaitForSingleObject(m_ready.Get(), 10000);
    }
    ~HungWindow() {
        ::SetEvent(m_release.Get());
        m_thread.join();
    }
    HWND Window() const { return m_window; }

private:
    tw::KernelHandle m_ready, m_release;
    HWND m_window = nullptr;
    std::thread m_thread;
};

// A top-level window on a thread of this process that answers its messages, so that it
// closes on WM_CLOSE, until the object goes.
class AnsweringWindow {
public:
    AnsweringWindow(const char* windowClass, const char* title)
        : m_ready(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
        m_thread = std::thread([this, windowClass, title]() {
            WNDCLASSA wc = {};
            wc.lpfnWndProc = ::DefWindowProcA;
            wc.hInstance = ::GetModuleHandleA(nullptr);
            wc.lpszClassName = windowClass;
            ::RegisterClassA(&wc);
            m_window = ::CreateWindowExA(0, windowClass, title, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                         wc.hInstance, nullptr);
            m_threadId = ::GetCurrentThreadId();
            ::SetEvent(m_ready.Get());
            MSG msg;
            while (::GetMessageA(&msg, nullptr, 0, 0) > 0) ::DispatchMessageA(&msg);
            if (::IsWindow(m_window)) ::DestroyWindow(m_window);
            ::UnregisterClassA(windowClass, wc.hInstance);
        });
        ::WaitForSingleObject(m_ready.Get(), 10000);
    }
    ~AnsweringWindow() {
        ::PostThreadMessageA(m_threadId, WM_QUIT, 0, 0);
        m_thread.join();
    }
    HWND Window() const { return m_window; }
    bool IsOpen() const { return ::IsWindow(m_window) != FALSE; }

private:
    tw::KernelHandle m_ready;
    HWND m_window = nullptr;
    DWORD m_threadId = 0;
    std::thread m_thread;
};

// A companion's window is looked up by class and title as configured: a blank field is an
// empty text, which matches only an empty class or title; only a missing field matches any.
TEST_F(RunningProductTest, CompanionWindowIsFoundByItsConfiguredClassAndTitle) {
    struct Case {
        const char* entry;
        const char* windowClass;
        const char* title;
        bool closed;
    } cases[] = {
        {"TWConfiguredWnd,", "TWConfiguredWnd", "Another window", false},  // blank title
        {"TWConfiguredWnd,", "TWConfiguredWnd", "", true},
        {",Configured Title", "TWAnyOtherWnd", "Configured Title", false},  // blank class
        {"TWConfiguredWnd, Configured Title", "TWConfiguredWnd", "Configured Title", true},
        {"TWConfiguredWnd", "TWConfiguredWnd", "Another window", true},  // title missing: any title
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        for (const char* section : {"[AgentData]\nOneAgentData1=", "[TWRelatedApps]\nOneTWRelatedApp1="}) {
            SCOPED_TRACE(section);
            TestInstaller fresh;
            ASSERT_TRUE(fresh.LoadConfig(PatchIni(std::string(section) + c.entry + "\n")));
            AnsweringWindow window(c.windowClass, c.title);
            ASSERT_NE(nullptr, window.Window());
            fresh.CloseAuxiliaryApplications();
            EXPECT_EQ(c.closed, !window.IsOpen());
        }
    }
}

class UnansweredWindowTest : public RunningProductTest {
protected:
    void SetUp() override {
        RunningProductTest::SetUp();
        tw::StatusLogMgr::RenameLogFile(logDir.Path().c_str());
    }
    std::string Log() const { return ReadTextFile(logDir / "Patchlog.txt"); }

    TempDir logDir{"hunglog"};
};

TEST_F(UnansweredWindowTest, CompanionWindowThatDoesNotAnswerIsNotWaitedFor) {
    ASSERT_TRUE(installer.LoadConfig(PatchIni("[AgentData]\nOneAgentData1=TWHungWnd,Hung Agent\n")));
    HungWindow hung("TWHungWnd", "Hung Agent");
    ASSERT_NE(nullptr, hung.Window());
    const DWORD start = ::GetTickCount();
    installer.CloseAuxiliaryApplications();
    EXPECT_LT(::GetTickCount() - start, 10000u);
    EXPECT_NE(std::string::npos, Log().find("In CPatchInstallerBase::CloseApplication, the window ")) << Log();
    EXPECT_NE(std::string::npos, Log().find(" of class TWHungWnd did not answer message 0x10 within 3000 ms")) << Log();
}

TEST_F(UnansweredWindowTest, HiddenFrameThatDoesNotAnswerIsEndedAfterTheWait) {
    // Neither message is answered; the process is still ended after the 15-second wait.
    StandIn frame;
    std::string messages = programs / "messages.txt";
    ASSERT_TRUE(frame.Start(StandInExe(), "/hiddenframe /hang 45000 /log \"" + messages + "\""));
    const DWORD start = ::GetTickCount();
    EXPECT_FALSE(installer.CheckIfTWIsRunning());
    EXPECT_LT(::GetTickCount() - start, 30000u);
    EXPECT_TRUE(frame.WaitForExit(0));
    EXPECT_EQ("", ReadTextFile(messages));
    const std::string log = Log();
    EXPECT_NE(std::string::npos, log.find("of class AtollFrame did not answer message 0x4A1 within 3000 ms")) << log;
    EXPECT_NE(std::string::npos, log.find("of class AtollFrame did not answer message 0x4BE within 3000 ms")) << log;
}

// --- The shutdown wait ---

class ShutdownWaitTest : public RunningProductTest {
protected:
    void SetUp() override {
        RunningProductTest::SetUp();
        Platform().Sleep = [this](DWORD milliseconds) { sleeps.push_back(milliseconds); };
    }

    std::vector<DWORD> sleeps;
};

TEST_F(ShutdownWaitTest, ProductAlreadyClosedGoesOnAtOnce) {
    int dialogs = 0;
    Platform().ShowDialog = [&](HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM) -> INT_PTR {
        ++dialogs;
        return 0;
    };
    EXPECT_TRUE(installer.EnsureTWNotRunning());
    EXPECT_TRUE(sleeps.empty());
    EXPECT_EQ(0, dialogs);
}

TEST_F(ShutdownWaitTest, ProductClosingDuringTheSecondLookNeedsNoDialog) {
    StandIn frame;
    ASSERT_TRUE(frame.Start(StandInExe(), "/frame /exitafter 300"));
    Platform().Sleep = [&](DWORD milliseconds) {
        sleeps.push_back(milliseconds);
        frame.WaitForExit(20000);  // the product ends within the wait
    };
    int dialogs = 0;
    Platform().ShowDialog = [&](HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM) -> INT_PTR {
        ++dialogs;
        return 0;
    };
    EXPECT_TRUE(installer.EnsureTWNotRunning());
    EXPECT_EQ(std::vector<DWORD>{2000}, sleeps);
    EXPECT_EQ(0, dialogs);
}

TEST_F(ShutdownWaitTest, ProductStillRunningShowsDialog1001) {
    StandIn frame;
    ASSERT_TRUE(frame.Start(StandInExe(), "/frame"));
    struct Case {
        INT_PTR answer;
        bool expected;
    } cases[] = {{0, false}, {1, true}, {-1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        LPCSTR templateName = nullptr;
        Platform().ShowDialog = [&](HINSTANCE, LPCSTR name, HWND, DLGPROC, LPARAM) -> INT_PTR {
            templateName = name;
            return c.answer;
        };
        EXPECT_EQ(c.expected, installer.EnsureTWNotRunning());
        EXPECT_EQ(MAKEINTRESOURCEA(IDD_SHUTDOWN_WAIT), templateName);
    }
}

// A visible dialog titled "Tallyworks Update" of this process.
HWND FindVisibleDialog() {
    struct Search {
        HWND found = nullptr;
    } search;
    ::EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            char className[64] = {}, title[64] = {};
            ::GetClassNameA(window, className, sizeof(className));
            ::GetWindowTextA(window, title, sizeof(title));
            DWORD processId = 0;
            ::GetWindowThreadProcessId(window, &processId);
            if (std::string(className) == "#32770" && std::string(title) == "Tallyworks Update" &&
                processId == ::GetCurrentProcessId() && ::IsWindowVisible(window)) {
                reinterpret_cast<Search*>(param)->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Watches for the shutdown dialog from another thread and acts on it once it is up.
class DialogWatcher {
public:
    template <typename Action>
    explicit DialogWatcher(Action action) {
        m_thread = std::thread([this, action]() {
            for (int i = 0; i < 600 && !m_stop; ++i) {
                HWND dialog = FindVisibleDialog();
                if (dialog) {
                    found = true;
                    char text[512] = {};
                    ::GetDlgItemTextA(dialog, IDC_SHUTDOWN_TEXT, text, sizeof(text));
                    dialogText = text;
                    mainWindowVisible = ::FindWindowA("TWPatchClass", nullptr) &&
                                        ::IsWindowVisible(::FindWindowA("TWPatchClass", nullptr));
                    // A pause on request, to look at the dialog (screenshots).
                    if (const char* hold = std::getenv("TW_HOLD_SHUTDOWN_DIALOG_MS")) ::Sleep(std::atoi(hold));
                    action(dialog);
                    return;
                }
                ::Sleep(50);
            }
        });
    }
    ~DialogWatcher() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
    }
    void Join() {
        if (m_thread.joinable()) m_thread.join();
    }

    std::atomic<bool> found{false};
    std::string dialogText;
    bool mainWindowVisible = true;

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

TEST_F(ShutdownWaitTest, CancelInTheRealDialogGivesUp) {
    tw::CAutoPatchWnd mainWindow;
    ASSERT_NE(0, mainWindow.InitApplication(::GetModuleHandleA(nullptr)));
    ASSERT_NE(nullptr, mainWindow.CreateMainWindow());
    installer.SetMainWindow(&mainWindow);

    StandIn frame;
    ASSERT_TRUE(frame.Start(StandInExe(), "/frame"));
    DialogWatcher watcher([](HWND dialog) { ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0); });
    EXPECT_FALSE(installer.EnsureTWNotRunning());
    watcher.Join();
    EXPECT_TRUE(watcher.found);
    EXPECT_EQ(
        "To install the update, Tallyworks and its related applications must close. We'll try to do that for you, "
        "but you might have to reboot your computer to close everything.",
        watcher.dialogText);
    EXPECT_FALSE(watcher.mainWindowVisible);  // hidden while the dialog is up
    EXPECT_TRUE(::IsWindowVisible(mainWindow.GetHwnd()));
    EXPECT_EQ(std::vector<DWORD>{2000}, sleeps);
    EXPECT_TRUE(frame.IsRunning());
    // Destroying the main window posts WM_QUIT: take it out of the queue, or the next
    // modal loop of this thread would end at once.
    ::DestroyWindow(mainWindow.GetHwnd());
    MSG quit;
    while (::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

TEST_F(ShutdownWaitTest, RealDialogEndsByItselfOnceTheProductCloses) {
    StandIn frame;
    ASSERT_TRUE(frame.Start(StandInExe(), "/frame"));
    DialogWatcher watcher([&](HWND) { frame.Stop(); });
    EXPECT_TRUE(installer.EnsureTWNotRunning());
    watcher.Join();
    EXPECT_TRUE(watcher.found);
}

TEST(ShutdownWaitDialog, TicksRecheckAndCloseCompanionsAgainAfter20ThenEvery10) {
    bool running = true;
    int closings = 0;
    tw::CShutdownWaitDialog dialog([&]() { return running; }, [&]() { ++closings; });
    std::vector<int> closingsAfterTick;
    for (int tick = 1; tick <= 40; ++tick) {
        EXPECT_FALSE(dialog.OnTick());
        closingsAfterTick.push_back(closings);
    }
    EXPECT_EQ(0, closingsAfterTick[18]);  // tick 19
    EXPECT_EQ(1, closingsAfterTick[19]);  // tick 20: four seconds
    EXPECT_EQ(1, closingsAfterTick[28]);
    EXPECT_EQ(2, closingsAfterTick[29]);  // tick 30: then every two seconds
    EXPECT_EQ(3, closingsAfterTick[39]);
    running = false;
    EXPECT_TRUE(dialog.OnTick());
    EXPECT_EQ(3, closings);
}

}  // namespace

namespace {

using tw::CRunningProductCheck;
using tw::ProductProbes;
using V = tw::RunningProductVerdict;

// The verdict over what was seen of the product: which sign decides, and in which order.
TEST(RunningProductVerdictTest, SignsDecideInOrder) {
    // frame, global, local, have path, exists, locked, process
    struct Case {
        const char* name;
        ProductProbes probes;
        V::Answer answer;
        V::Reason reason;
        bool missing;
    } cases[] = {
        {"nothing seen: ask the companions",
         {false, false, false, true, true, false, false},
         V::kAskCompanions,
         V::kNoReason,
         false},
        {"a product frame is enough", {true, true, true, true, true, true, true}, V::kRunning, V::kFrameWindow, false},
        {"the global mutex alone only sends to the companions",
         {false, true, true, true, true, true, true},
         V::kAskCompanions,
         V::kGlobalMutex,
         false},
        {"the local mutex", {false, false, true, true, true, true, true}, V::kRunning, V::kLocalMutex, false},
        {"without an executable path nothing more is known",
         {false, false, false, false, false, false, true},
         V::kNotRunning,
         V::kNoReason,
         false},
        {"a locked executable",
         {false, false, false, true, true, true, true},
         V::kRunning,
         V::kExecutableLocked,
         false},
        {"a product process", {false, false, false, true, true, false, true}, V::kRunning, V::kProcessAlive, false},
        {"a missing executable is noted, the process still counts",
         {false, false, false, true, false, false, true},
         V::kRunning,
         V::kProcessAlive,
         true},
        {"a missing executable without a process",
         {false, false, false, true, false, false, false},
         V::kAskCompanions,
         V::kNoReason,
         true},
        {"a lock is not looked at without the file",
         {false, false, false, true, false, true, false},
         V::kAskCompanions,
         V::kNoReason,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const V verdict = CRunningProductCheck::Judge(c.probes);
        EXPECT_EQ(c.answer, verdict.answer);
        EXPECT_EQ(c.reason, verdict.reason);
        EXPECT_EQ(c.missing, verdict.executableMissing);
    }
}

}  // namespace
