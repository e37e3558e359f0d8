#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <msi.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "InstallerTestSupport.h"
#include "app/MsiInterface.h"
#include "app/PatchInstallerBase.h"
#include "common/PlatformSeams.h"
#include "common/RunState.h"
#include "common/TestSupport.h"
#include "fixtures/sampleproduct/SampleProduct.h"
#include "logging/StatusLogMgr.h"
#include "ui/AutoPatchWnd.h"
#include "common/Resource.h"
#include "ui/WaitDialog.h"

namespace {

using tw::CMsiInterface;
using tw::CPatchInstallerBase;
using tw::Platform;

constexpr UINT kProgress = INSTALLMESSAGE_PROGRESS;
constexpr UINT kError = INSTALLMESSAGE_ERROR;

// The installer with its handler state open to the tests; counts NotifyTWOnSuccess calls.
class HandlerProbe : public CPatchInstallerBase {
public:
    using CPatchInstallerBase::m_offCycle;
    int32_t LastPercent() const { return m_msiHandler.LastPercent(); }
    int32_t RetriesLeft() const { return m_msiHandler.RetriesLeft(); }
    void NotifyTWOnSuccess() override { ++notifications; }
    int notifications = 0;
};

class MsiHandlerTest : public ::testing::Test {
protected:
    void SetUp() override {
        tw::StatusLogMgr::RenameLogFile(logDir.Path().c_str());
        Platform().Sleep = [this](DWORD ms) { sleeps.push_back(ms); };
    }
    void TearDown() override { installer.DestroyWaitDialog(); }

    int Send(UINT type, const char* text) { return installer.OnMsiMessage(type, text); }
    std::string Log() const { return twtest::ReadTextFile(logDir / "Patchlog.txt"); }
    size_t Count(const std::string& text) const {
        const std::string log = Log();
        size_t n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
        return n;
    }
    HWND Dialog() { return installer.GetWaitDialog()->GetHwnd(); }
    std::string PercentText() {
        char text[32] = {};
        ::GetDlgItemTextA(Dialog(), IDC_WAIT_PERCENT_ROW1, text, sizeof(text));
        return text;
    }
    bool CancelEnabled() { return ::IsWindowEnabled(::GetDlgItem(Dialog(), IDCANCEL)) != FALSE; }
    void OpenDialog() {
        ASSERT_TRUE(installer.CreateWaitDialog());
        ASSERT_NE(nullptr, Dialog());
    }

    twtest::SeamGuard seams;
    twtest::MessageBoxRecorder boxes;
    twtest::TempDir logDir{"handlerlog"};
    std::vector<DWORD> sleeps;
    HandlerProbe installer;
};

// --- Kinds of messages ---

struct KindCase {
    const char* name;
    UINT type;
    const char* text;
    int answer;
    const char* logLine;   // null: no line expected
    const char* boxTitle;  // null: no box expected
};

const KindCase kKindCases[] = {
    {"FatalExit", INSTALLMESSAGE_FATALEXIT | MB_OK | MB_ICONERROR, "fatal", IDOK,
     "Patch: INSTALLMESSAGE_FATALEXIT Message: fatal", "FatalError"},
    {"Warning", INSTALLMESSAGE_WARNING | MB_OKCANCEL, "careful", IDOK, "INSTALLMESSAGE_WARNING Message: careful",
     "Warning"},
    {"UserWithoutRestart", INSTALLMESSAGE_USER | MB_OK, "hello", IDOK, "INSTALLMESSAGE_USER Message: hello", nullptr},
    {"InfoNotLogged", INSTALLMESSAGE_INFO, "info text", IDOK, nullptr, nullptr},
    {"ResolveSource", INSTALLMESSAGE_RESOLVESOURCE, "where", 0, "INSTALLMESSAGE_RESOLVESOURCE Message: where", nullptr},
    {"OutOfDiskSpace", INSTALLMESSAGE_OUTOFDISKSPACE, "full", IDABORT, "INSTALLMESSAGE_OUTOFDISKSPACE Message: full",
     nullptr},
    {"ActionStart", INSTALLMESSAGE_ACTIONSTART, "Action 1: X.", IDOK,
     "INSTALLMESSAGE_ACTIONSTART Message: Action 1: X.", nullptr},
    {"ActionDataWithoutTotal", INSTALLMESSAGE_ACTIONDATA, "data", IDOK, nullptr, nullptr},
    {"CommonData", INSTALLMESSAGE_COMMONDATA, "1: 0 2: 1033 3: 0 ", IDOK,
     "INSTALLMESSAGE_COMMONDATA Message: 1: 0 2: 1033 3: 0 ", nullptr},
    {"ShowDialog", INSTALLMESSAGE_SHOWDIALOG, "dlg", IDOK, "INSTALLMESSAGE_SHOWDIALOG Message: dlg", nullptr},
    {"FilesInUse", INSTALLMESSAGE_FILESINUSE, "busy", 0, "default: Message type 83886080, Message: busy", nullptr},
    {"NullText", INSTALLMESSAGE_WARNING, nullptr, 0, nullptr, nullptr},
};

class MessageKindTest : public MsiHandlerTest, public ::testing::WithParamInterface<KindCase> {};

TEST_P(MessageKindTest, AnswersLogsAndShowsAsItsKindSays) {
    const KindCase& c = GetParam();
    EXPECT_EQ(c.answer, Send(c.type, c.text));
    const std::string log = Log();
    if (c.logLine) {
        EXPECT_NE(std::string::npos, log.find(std::string(c.logLine) + "\r\n")) << log;
    } else if (c.text) {
        EXPECT_EQ(std::string::npos, log.find(c.text)) << log;
    }
    if (c.boxTitle) {
        ASSERT_EQ(1u, boxes.Calls().size());
        EXPECT_EQ(nullptr, boxes.Calls()[0].owner);
        EXPECT_EQ(c.text, boxes.Calls()[0].text);
        EXPECT_EQ(c.boxTitle, boxes.Calls()[0].title);
        EXPECT_EQ(c.type & 0x00FFFFFFu, boxes.Calls()[0].type);
    } else {
        EXPECT_TRUE(boxes.Calls().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, MessageKindTest, ::testing::ValuesIn(kKindCases),
                         [](const ::testing::TestParamInfo<KindCase>& row) { return row.param.name; });

TEST_F(MsiHandlerTest, InitializeAndTerminateTextIsNeverRead) {
    // Wine hands an internal pointer as their "text": reading it would fault.
    const char* notText = reinterpret_cast<const char*>(static_cast<uintptr_t>(0x10));
    EXPECT_EQ(IDOK, Send(INSTALLMESSAGE_INITIALIZE, notText));
    EXPECT_EQ(IDOK, Send(INSTALLMESSAGE_TERMINATE, notText));
    EXPECT_EQ(0, Send(INSTALLMESSAGE_INITIALIZE, nullptr));
    EXPECT_EQ(1u, Count("INSTALLMESSAGE_INITIALIZE Message: \r\n"));
    EXPECT_EQ(1u, Count("INSTALLMESSAGE_TERMINATE Message: \r\n"));
}

// --- Errors and the automatic retry ---

struct RetryCase {
    const char* name;
    const char* text;
    UINT buttons;
    bool retried;
};

const RetryCase kRetryCases[] = {
    {"WriteErrorRetryCancel", "Error 1310. Error writing to file: C:\\x.dll", MB_RETRYCANCEL, true},
    {"ReadErrorAbortRetryIgnore", "Error 1321. The Installer has insufficient privileges", MB_ABORTRETRYIGNORE, true},
    {"NumberInsideText", "Install: Error 1310. busy", MB_RETRYCANCEL, true},
    {"ReadErrorOkOnly", "Error 1321. The Installer has insufficient privileges", MB_OK, false},
    {"OtherError", "Error 1311. Could not locate source file", MB_RETRYCANCEL, false},
    {"NoNumber", "Something failed", MB_ABORTRETRYIGNORE, false},
};

class RetryRuleTest : public MsiHandlerTest, public ::testing::WithParamInterface<RetryCase> {};

TEST_P(RetryRuleTest, OnlyTheTwoFileErrorsWithRetryButtonsAreRetried) {
    const RetryCase& c = GetParam();
    boxes.Answer(IDIGNORE);
    const int answer = Send(kError | c.buttons | MB_ICONERROR, c.text);
    EXPECT_NE(std::string::npos, Log().find(std::string("Patch: INSTALLMESSAGE_ERROR Message: ") + c.text));
    if (c.retried) {
        EXPECT_EQ(IDRETRY, answer);
        EXPECT_EQ(9, installer.RetriesLeft());
        EXPECT_EQ(std::vector<DWORD>{1000}, sleeps);
        EXPECT_TRUE(boxes.Calls().empty());
    } else {
        EXPECT_EQ(IDIGNORE, answer);
        EXPECT_EQ(10, installer.RetriesLeft());
        EXPECT_TRUE(sleeps.empty());
        ASSERT_EQ(1u, boxes.Calls().size());
        EXPECT_EQ(nullptr, boxes.Calls()[0].owner);
        EXPECT_EQ("Error", boxes.Calls()[0].title);
        EXPECT_EQ(c.text, boxes.Calls()[0].text);
        EXPECT_EQ(c.buttons | MB_ICONERROR, boxes.Calls()[0].type);
    }
}

INSTANTIATE_TEST_SUITE_P(Errors, RetryRuleTest, ::testing::ValuesIn(kRetryCases),
                         [](const ::testing::TestParamInfo<RetryCase>& row) { return row.param.name; });

TEST_F(MsiHandlerTest, TenAutomaticRetriesPerRunThenTheBox) {
    const char* write = "Error 1310. Error writing to file";
    const char* read = "Error 1321. Error reading file";
    for (int i = 0; i < 10; ++i) EXPECT_EQ(IDRETRY, Send(kError | MB_RETRYCANCEL, i % 2 ? read : write)) << i;
    EXPECT_EQ(10u, sleeps.size());
    EXPECT_TRUE(boxes.Calls().empty());
    EXPECT_EQ(1u, Count("AUTOMATIC RETRY:  error = 1310, messageBoxStyle = 5, m_msiErrorMessageRetryCount = 9\r\n"));
    EXPECT_EQ(1u, Count("AUTOMATIC RETRY:  error = 1321, messageBoxStyle = 5, m_msiErrorMessageRetryCount = 0\r\n"));

    boxes.Answer(IDCANCEL);
    EXPECT_EQ(IDCANCEL, Send(kError | MB_RETRYCANCEL, write));
    EXPECT_EQ(1u, boxes.Calls().size());
    EXPECT_EQ(10u, sleeps.size());
    EXPECT_EQ(0, installer.RetriesLeft());
}

TEST_F(MsiHandlerTest, FatalExitsAndErrorsAreSentAsErrorTrackingMessages) {
    twtest::TrackingRecorder sender;
    tw::InstallTracker::Instance().SetCountry("US");
    Send(INSTALLMESSAGE_FATALEXIT | MB_OK, "installation ended");
    Send(kError | MB_RETRYCANCEL, "Error 1310. Error writing to file");  // retried, still sent
    Send(kError | MB_OK, "Error 1603. Fatal error");
    Send(INSTALLMESSAGE_WARNING | MB_OK, "only a warning");
    ASSERT_EQ(3u, sender.messages.size());
    const char* expected[] = {
        "ErrorMessage=\"Patch: INSTALLMESSAGE_FATALEXIT Message: installation ended\"",
        "ErrorMessage=\"Patch: INSTALLMESSAGE_ERROR Message: Error 1310. Error writing to file\"",
        "ErrorMessage=\"Patch: INSTALLMESSAGE_ERROR Message: Error 1603. Fatal error\"",
    };
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(sender.messages[i].isError) << i;
        EXPECT_NE(std::string::npos, sender.messages[i].text.find(expected[i])) << sender.messages[i].text;
    }
}

TEST_F(MsiHandlerTest, ErrorBoxSpeaksTheLanguageOfTheLastCommonData) {
    struct Step {
        const char* commonData;  // null: none before the error
        WORD language;
    } steps[] = {
        {"1: 0 2: 1031 3: 0 ", 1031},
        {nullptr, 1031},          // kept until the next language
        {"1: 1 2: 1036 ", 1031},  // a caption changes nothing
        {"1: 2 2: 1 ", 1031},     // nor does showing the dialog
        {"1: 0 2: 1033 3: 1252 ", 1033},
    };
    for (const Step& step : steps) {
        if (step.commonData) {
            EXPECT_EQ(IDOK, Send(INSTALLMESSAGE_COMMONDATA, step.commonData));
        }
        const size_t before = boxes.Calls().size();
        Send(kError | MB_OK | MB_ICONERROR, "Error 1603. Fatal error");
        ASSERT_EQ(before + 1, boxes.Calls().size());
        EXPECT_EQ(step.language, boxes.Calls().back().language) << (step.commonData ? step.commonData : "none");
    }
    // The other boxes are shown in the default language.
    Send(INSTALLMESSAGE_WARNING | MB_OK, "careful");
    EXPECT_EQ(0, boxes.Calls().back().language);
}

// --- Progress and percentage ---

TEST_F(MsiHandlerTest, ResetWithTotalZeroCountsAgainstOne) {
    OpenDialog();
    EXPECT_EQ(IDOK, Send(kProgress, "1: 0 2: 0 3: 0 4: 0 "));
    EXPECT_EQ(1, installer.Progress().total);
    EXPECT_EQ("0%", PercentText());
    EXPECT_EQ(IDOK, Send(kProgress, "1: 2 2: 1 3: 0 4: 0 "));
    EXPECT_EQ(100, installer.LastPercent());
    EXPECT_EQ("100%", PercentText());
    EXPECT_FALSE(CancelEnabled());
}

TEST_F(MsiHandlerTest, ForwardProgressMovesTheBar) {
    OpenDialog();
    Send(kProgress, "1: 0 2: 200 3: 0 4: 1 ");
    EXPECT_TRUE(installer.Progress().forward);
    EXPECT_TRUE(installer.Progress().actionData);
    Send(kProgress, "1: 2 2: 50 3: 0 4: 0 ");
    EXPECT_EQ(50, installer.Progress().position);
    EXPECT_EQ("25%", PercentText());
    EXPECT_EQ(25, ::SendDlgItemMessageA(Dialog(), IDC_WAIT_PROGRESS, PBM_GETPOS, 0, 0));
    EXPECT_TRUE(CancelEnabled());

    // Action data steps by the ticks of the action-info record.
    Send(kProgress, "1: 1 2: 20 3: 1 ");
    EXPECT_EQ(20, installer.Progress().stepInc);
    EXPECT_EQ(IDOK, Send(INSTALLMESSAGE_ACTIONDATA, "File: a.dll"));
    EXPECT_EQ(70, installer.Progress().position);
    EXPECT_EQ("35%", PercentText());
    EXPECT_EQ(1u, Count("INSTALLMESSAGE_ACTIONDATA Message: File: a.dll\r\n"));
    EXPECT_EQ(1u, Count("INSTALLMESSAGE_ACTIONDATA: m_iProgressTotal:200, m_StepInc:20, m_ProgressCurrent:70, "
                        "percent:35 \r\n"));
    Send(kProgress, "1: 1 2: 20 3: 0 ");
    EXPECT_EQ(0, installer.Progress().stepInc);

    // Unknown field 1 and unparsable records change nothing.
    Send(kProgress, "1: 3 2: 5 ");
    EXPECT_EQ(1u, Count("INSTALLMESSAGE_PROGRESS case 3:\r\n"));
    Send(kProgress, "2: 0 1: 2 2: 90 ");
    Send(kProgress, "1: x 2: 90 ");
    EXPECT_EQ(70, installer.Progress().position);
}

TEST_F(MsiHandlerTest, BackwardResetStartsAtFullAndCountsDown) {
    OpenDialog();
    Send(kProgress, "1: 0 2: 200 3: 1 4: 0 ");
    EXPECT_FALSE(installer.Progress().forward);
    EXPECT_EQ(200, installer.Progress().position);
    EXPECT_EQ(200, installer.Progress().current);
    EXPECT_EQ("100%", PercentText());
    EXPECT_FALSE(CancelEnabled());
    Send(kProgress, "1: 2 2: 50 3: 0 4: 0 ");
    EXPECT_EQ(150, installer.Progress().position);
    EXPECT_EQ("75%", PercentText());
    Send(kProgress, "1: 1 2: 10 3: 1 ");
    EXPECT_EQ(-10, installer.Progress().stepInc);
    Send(INSTALLMESSAGE_ACTIONDATA, "x");
    EXPECT_EQ(140, installer.Progress().position);
    EXPECT_EQ("70%", PercentText());
    EXPECT_FALSE(CancelEnabled());
}

TEST_F(MsiHandlerTest, CancelStaysDisabledAfterFullPercent) {
    OpenDialog();
    Send(kProgress, "1: 0 2: 100 3: 0 4: 0 ");
    EXPECT_TRUE(CancelEnabled());
    Send(kProgress, "1: 2 2: 100 3: 0 4: 0 ");
    EXPECT_EQ("100%", PercentText());
    EXPECT_FALSE(CancelEnabled());
    Send(kProgress, "1: 0 2: 100 3: 0 4: 0 ");
    Send(kProgress, "1: 2 2: 10 3: 0 4: 0 ");
    EXPECT_EQ("10%", PercentText());
    EXPECT_FALSE(CancelEnabled());
}

TEST_F(MsiHandlerTest, LargeTotalsDoNotOverflowThePercentage) {
    OpenDialog();
    Send(kProgress, "1: 0 2: 400000000 3: 0 4: 0 ");
    Send(kProgress, "1: 2 2: 300000000 3: 0 4: 0 ");
    EXPECT_EQ(75, installer.LastPercent());
    EXPECT_EQ("75%", PercentText());
}

TEST_F(MsiHandlerTest, CancelAnswersTheNextProgressMessageOnce) {
    OpenDialog();
    Send(kProgress, "1: 0 2: 100 3: 0 4: 0 ");
    HWND cancel = ::GetDlgItem(Dialog(), IDCANCEL);
    // Two presses before the handler dispatches them.
    ::PostMessageA(Dialog(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
    ::PostMessageA(Dialog(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
    EXPECT_EQ(IDOK, Send(kProgress, "1: 2 2: 10 3: 0 4: 0 "));  // dispatches the presses
    EXPECT_FALSE(installer.ContinueFlag().IsSet());
    EXPECT_FALSE(installer.IsAborted());
    EXPECT_EQ(IDCANCEL, Send(kProgress, "1: 2 2: 10 3: 0 4: 0 "));
    EXPECT_TRUE(installer.ContinueFlag().IsSet());
    EXPECT_TRUE(installer.IsAborted());
    EXPECT_EQ(IDOK, Send(kProgress, "1: 2 2: 10 3: 0 4: 0 "));
}

TEST_F(MsiHandlerTest, WithoutWaitDialogProgressIsAnsweredOk) {
    installer.ContinueFlag().RequestCancel();
    EXPECT_EQ(IDOK, Send(kProgress, "1: 0 2: 100 3: 0 4: 0 "));
    EXPECT_EQ(IDOK, Send(kProgress, "1: 2 2: 100 3: 0 4: 0 "));
    EXPECT_EQ(100, installer.LastPercent());
    EXPECT_FALSE(installer.IsAborted());
}

// --- Status line and common data ---

struct ActionStartCase {
    const char* text;
    const char* status;  // null: unchanged
};

const ActionStartCase kActionStartCases[] = {
    {"Action 6:17:43: WriteRegistryValues. Writing system registry values", " Writing system registry values"},
    {"Action 6:17:43: InstallFiles. Copying new files", " Copying new files"},
    {"Action 6:17:43: InstallFiles.", nullptr},
    {"Action 6:17:43: Nothing", nullptr},
    {"x.a", nullptr},
    {"x.ab", "ab"},
};

TEST_F(MsiHandlerTest, ActionStartTextsSetTheStatusLine) {
    OpenDialog();
    for (const ActionStartCase& c : kActionStartCases) {
        installer.GetWaitDialog()->SetStatusText("before");
        EXPECT_EQ(IDOK, Send(INSTALLMESSAGE_ACTIONSTART, c.text));
        char shown[300] = {};
        ::GetDlgItemTextA(Dialog(), IDC_WAIT_STATUS, shown, sizeof(shown));
        EXPECT_STREQ(c.status ? c.status : "before", shown) << c.text;
        if (c.status) {
            EXPECT_EQ(1u, Count(std::string("INSTALLMESSAGE_ACTIONSTART Message description: ") + c.status + "\r\n"));
        }
    }
}

TEST_F(MsiHandlerTest, CommonDataShowsAndHidesTheDialog) {
    OpenDialog();
    ASSERT_TRUE(::IsWindowVisible(Dialog()));
    Send(INSTALLMESSAGE_COMMONDATA, "1: 2 2: 0 ");
    EXPECT_FALSE(::IsWindowVisible(Dialog()));
    Send(INSTALLMESSAGE_COMMONDATA, "1: 2 2: 1 ");
    EXPECT_TRUE(::IsWindowVisible(Dialog()));
    Send(INSTALLMESSAGE_COMMONDATA, "1: 1 2: 0 ");  // caption: ignored
    Send(INSTALLMESSAGE_COMMONDATA, "2: 0 ");       // does not parse
    EXPECT_TRUE(::IsWindowVisible(Dialog()));
}

// --- The restart announcement ---

std::string Manifest(const std::string& feature, const std::string& file) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<manifest>\r\n  <identity>\r\n    <type>offcycle</type>\r\n"
           "    <version>1</version>\r\n    <channel>release</channel>\r\n  </identity>\r\n  <item>\r\n"
           "    <file base=\"INSTALLDIR\">" +
           file + "</file>\r\n    <feature>" + feature +
           "</feature>\r\n"
           "    <action from=\"\">modify</action>\r\n  </item>\r\n</manifest>\r\n";
}

class RestartAnnouncementTest : public MsiHandlerTest {
protected:
    void SetUp() override {
        MsiHandlerTest::SetUp();
        const std::string manifests = product.Path() + "\\Components\\Manifest\\OffCycle";
        ASSERT_TRUE(twtest::MakeDirs(manifests));
        ASSERT_TRUE(twtest::WriteTextFile(manifests + "\\offcycle.xml", Manifest("Core", "offcycle.dll")));
        ASSERT_TRUE(twtest::WriteTextFile(product / "offcycle.dll", "off-cycle"));
        ASSERT_EQ(S_OK, installer.m_offCycle.SaveOffCycleFiles({"Core"}, manifests.c_str(), product.Path().c_str(),
                                                               common.Path().c_str()));
        ASSERT_TRUE(twtest::WriteTextFile(product / "offcycle.dll", "patched"));
    }
    twtest::TempDir product{"restartproduct"};
    twtest::TempDir common{"restartcommon"};
};

TEST_F(RestartAnnouncementTest, RestoresOffCycleFilesAndSuppressesTheCompletion) {
    EXPECT_EQ(IDOK, Send(INSTALLMESSAGE_USER | MB_OK | MB_ICONINFORMATION, "Windows must RESTART now"));
    EXPECT_TRUE(installer.IsRestartInProgress());
    EXPECT_EQ("off-cycle", twtest::ReadTextFile(product / "offcycle.dll"));
    EXPECT_EQ(1, installer.notifications);
    ASSERT_EQ(1u, boxes.Calls().size());
    EXPECT_EQ(nullptr, boxes.Calls()[0].owner);
    EXPECT_EQ("Warning", boxes.Calls()[0].title);
    EXPECT_EQ(static_cast<UINT>(MB_ICONEXCLAMATION), boxes.Calls()[0].type);
    EXPECT_EQ(
        "You must restart your system for the configuration changes made to Tallyworks to take effect.Close "
        "all other applications and click OK to restart now.",
        boxes.Calls()[0].text);
    const std::string log = Log();
    EXPECT_NE(std::string::npos, log.find("INSTALLMESSAGE_USER Message: Windows must RESTART now\r\n"
                                          "INSTALLMESSAGE_USER: restart is requested, transitioning to a consistent "
                                          "state.\r\n"));
    EXPECT_NE(std::string::npos, log.find("INSTALLMESSAGE_USER: NotifyTWOnSuccess has been completed.\r\n"));
}

// The run counts as restarting from the announcement on, also while the warning is up.
TEST_F(RestartAnnouncementTest, FlagIsSetBeforeTheWarningIsShown) {
    bool restartingAtTheBox = false;
    tw::Platform().ShowMessageBox = [this, &restartingAtTheBox](HWND, LPCSTR, LPCSTR, UINT, WORD) {
        restartingAtTheBox = installer.IsRestartInProgress();
        return IDOK;
    };
    EXPECT_EQ(IDOK, Send(INSTALLMESSAGE_USER, "restart required"));
    EXPECT_TRUE(restartingAtTheBox);
}

TEST_F(RestartAnnouncementTest, AlternateComponentKeepsOffCycleFilesAlone) {
    tw::CRunState::Get().alternateComponent = true;
    EXPECT_EQ(IDOK, Send(INSTALLMESSAGE_USER, "restart required"));
    EXPECT_TRUE(installer.IsRestartInProgress());
    EXPECT_EQ("patched", twtest::ReadTextFile(product / "offcycle.dll"));
    EXPECT_EQ(1, installer.notifications);
}

TEST_F(RestartAnnouncementTest, OtherUserMessagesChangeNothing) {
    EXPECT_EQ(IDOK, Send(INSTALLMESSAGE_USER, "Please insert disk 2"));
    EXPECT_FALSE(installer.IsRestartInProgress());
    EXPECT_EQ("patched", twtest::ReadTextFile(product / "offcycle.dll"));
    EXPECT_EQ(0, installer.notifications);
    EXPECT_TRUE(boxes.Calls().empty());
}

// --- Wait dialog ownership ---

TEST_F(MsiHandlerTest, WaitDialogBelongsToTheMainWindowAndOwnsTheBoxes) {
    tw::CAutoPatchWnd window;
    ASSERT_NE(0, window.InitApplication(::GetModuleHandleA(nullptr)));
    HWND main = window.CreateMainWindow();
    ASSERT_NE(nullptr, main);
    installer.SetMainWindow(&window);
    EXPECT_EQ(main, installer.GetMessageOwner());

    OpenDialog();
    EXPECT_EQ(Dialog(), installer.GetMessageOwner());
    EXPECT_EQ(main, ::GetWindow(Dialog(), GW_OWNER));
    EXPECT_FALSE(::IsWindowEnabled(main));
    EXPECT_TRUE(installer.CreateWaitDialog());  // a second call keeps the dialog

    installer.DestroyWaitDialog();
    EXPECT_EQ(nullptr, installer.GetWaitDialog());
    EXPECT_TRUE(::IsWindowEnabled(main));
    EXPECT_EQ(main, installer.GetMessageOwner());
    installer.SetMainWindow(nullptr);
    ::DestroyWindow(main);
}

// --- The interface object with Windows Installer scripted ---

int WINAPI PreviousHandler(LPVOID, UINT, LPCSTR) { return 0; }

class MsiInterfaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The guard took any earlier object away, so the real Windows Installer has its
        // previous handler back; the scripted one is built on demand.
        tw::StatusLogMgr::RenameLogFile(logDir.Path().c_str());
        Platform().Msi.SetInternalUI = [this](INSTALLUILEVEL level, HWND*) {
            levels.push_back(level);
            return INSTALLUILEVEL_BASIC;
        };
        Platform().Msi.SetExternalUI = [this](INSTALLUI_HANDLERA handler, DWORD filter, LPVOID context) {
            handlers.push_back(handler);
            filters.push_back(filter);
            contexts.push_back(context);
            return handlers.size() == 1 ? &PreviousHandler : nullptr;
        };
        Platform().Sleep = [](DWORD) {};
    }
    // While the scripted seams and what they record are still there.
    void TearDown() override { CMsiInterface::DestroyInstance(); }

    // Windows Installer's side of an apply call: each message goes to the registered
    // handler; a cancel ends the call with 1602.
    void Script(std::vector<std::pair<UINT, const char*>> messages) {
        Platform().Msi.ApplyMultiplePatches = [this, messages](LPCSTR, LPCSTR, LPCSTR) -> UINT {
            for (const auto& m : messages) {
                const int answer = handlers.front()(contexts.front(), m.first, m.second);
                answers.push_back(answer);
                if (answer == IDCANCEL || answer == IDABORT) return answer == IDCANCEL ? 1602 : 1603;
            }
            return 0;
        };
    }

    twtest::SeamGuard seams;
    twtest::MessageBoxRecorder boxes;
    twtest::TempDir logDir{"msiobjlog"};
    std::vector<INSTALLUILEVEL> levels;
    std::vector<INSTALLUI_HANDLERA> handlers;
    std::vector<DWORD> filters;
    std::vector<LPVOID> contexts;
    std::vector<int> answers;
};

TEST_F(MsiInterfaceTest, InstallsItsHandlerAtTheFirstApplyAndPutsThePreviousOneBack) {
    Platform().Msi.ApplyMultiplePatches = [](LPCSTR, LPCSTR, LPCSTR) -> UINT { return 0; };
    char errorText[CMsiInterface::kErrorTextSize];
    UINT result = 99;

    // A run that ends before applying anything leaves Windows Installer alone.
    CMsiInterface::Instance();
    EXPECT_TRUE(levels.empty());
    EXPECT_TRUE(handlers.empty());
    CMsiInterface::DestroyInstance();
    EXPECT_TRUE(levels.empty());
    EXPECT_TRUE(handlers.empty());

    CMsiInterface& msi = CMsiInterface::Instance();
    EXPECT_TRUE(msi.ApplyMultiplePatches("p.msp", "{PC}", nullptr, errorText, &result));
    EXPECT_TRUE(msi.ApplyMultiplePatches("p.msp", "{PC}", nullptr, errorText, &result));
    ASSERT_EQ(1u, levels.size());
    EXPECT_EQ(static_cast<INSTALLUILEVEL>(0x102), levels[0]);
    ASSERT_EQ(1u, handlers.size());
    EXPECT_NE(nullptr, handlers[0]);
    EXPECT_EQ(0x7FDFu, filters[0]);
    EXPECT_EQ(&msi, contexts[0]);
    // Without an observer the handler answers 0.
    EXPECT_EQ(0, handlers[0](contexts[0], INSTALLMESSAGE_INFO, "x"));

    CMsiInterface::DestroyInstance();
    ASSERT_EQ(2u, levels.size());
    EXPECT_EQ(INSTALLUILEVEL_BASIC, levels[1]);
    ASSERT_EQ(2u, handlers.size());
    EXPECT_EQ(&PreviousHandler, handlers[1]);
    EXPECT_EQ(nullptr, contexts[1]);
    EXPECT_EQ(nullptr, CMsiInterface::Existing());
}

TEST_F(MsiInterfaceTest, TheFirstInstallerIsTheOneObserverUntilItIsGone) {
    {
        HandlerProbe first;
        CMsiInterface& msi = CMsiInterface::Instance();
        EXPECT_EQ(&first, msi.GetObserver());
        {
            HandlerProbe second;
            EXPECT_EQ(&first, msi.GetObserver());
            EXPECT_FALSE(msi.RegisterObserver(&second));
        }
        EXPECT_EQ(&first, msi.GetObserver());
        EXPECT_EQ(IDABORT, CMsiInterface::ExternalUiHandler(&msi, INSTALLMESSAGE_OUTOFDISKSPACE, "full"));
    }
    EXPECT_EQ(nullptr, CMsiInterface::Instance().GetObserver());
    EXPECT_EQ(0, CMsiInterface::ExternalUiHandler(&CMsiInterface::Instance(), INSTALLMESSAGE_OUTOFDISKSPACE, "full"));
    HandlerProbe third;
    EXPECT_EQ(&third, CMsiInterface::Instance().GetObserver());
}

TEST_F(MsiInterfaceTest, ScriptedRunWithCancelEndsInTheCanceledText) {
    HandlerProbe installer;
    ASSERT_TRUE(installer.CreateWaitDialog());
    HWND dialog = installer.GetWaitDialog()->GetHwnd();
    ASSERT_NE(nullptr, dialog);
    // The user presses Cancel while the first progress messages are handled.
    ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    Script({{INSTALLMESSAGE_INITIALIZE, reinterpret_cast<const char*>(static_cast<uintptr_t>(0x20))},
            {INSTALLMESSAGE_COMMONDATA, "1: 0 2: 1033 3: 0 "},
            {INSTALLMESSAGE_ACTIONSTART, "Action 6:17:43: InstallFiles. Copying new files"},
            {INSTALLMESSAGE_PROGRESS, "1: 0 2: 1000 3: 0 4: 0 "},
            {INSTALLMESSAGE_PROGRESS, "1: 2 2: 100 3: 0 4: 0 "},
            {INSTALLMESSAGE_PROGRESS, "1: 2 2: 100 3: 0 4: 0 "},
            {INSTALLMESSAGE_TERMINATE, nullptr}});
    char errorText[CMsiInterface::kErrorTextSize];
    UINT result = 0;
    EXPECT_FALSE(CMsiInterface::Instance().ApplyMultiplePatches("p.msp", "{PC}", "A=1", errorText, &result));
    EXPECT_EQ((std::vector<int>{IDOK, IDOK, IDOK, IDOK, IDCANCEL}), answers);
    EXPECT_EQ(1602u, result);
    EXPECT_EQ(1602, tw::CRunState::Get().exitCode);
    EXPECT_STREQ("The update has been canceled.  \n", errorText);
    EXPECT_TRUE(installer.IsAborted());
    EXPECT_EQ(" Copying new files", installer.GetWaitDialog()->GetStatusText());
    installer.DestroyWaitDialog();
}

TEST_F(MsiInterfaceTest, ScriptedRunOutOfDiskSpaceIsAborted) {
    HandlerProbe installer;
    Script({{INSTALLMESSAGE_PROGRESS, "1: 0 2: 10 3: 0 4: 0 "}, {INSTALLMESSAGE_OUTOFDISKSPACE, "disk full"}});
    char errorText[CMsiInterface::kErrorTextSize];
    UINT result = 0;
    EXPECT_FALSE(CMsiInterface::Instance().ApplyMultiplePatches("p.msp", "{PC}", nullptr, errorText, &result));
    EXPECT_EQ((std::vector<int>{IDOK, IDABORT}), answers);
}

// --- The real Windows Installer ---

class RecordingProbe : public HandlerProbe {
public:
    int OnMsiMessage(UINT type, LPCSTR message) override {
        kinds.insert(type & 0xFF000000);
        return HandlerProbe::OnMsiMessage(type, message);
    }
    std::set<UINT> kinds;
};

TEST(MsiInterfaceReal, ApplyCallReachesTheHandlerThroughWindowsInstaller) {
    twtest::SeamGuard seams;
    twtest::MessageBoxRecorder boxes;
    twtest::TempDir logDir{"realmsilog"};
    tw::StatusLogMgr::RenameLogFile(logDir.Path().c_str());
    ASSERT_TRUE(twtest::sampleproduct::EnsureInstalled()) << twtest::sampleproduct::MsiPath();

    CMsiInterface::DestroyInstance();  // rebuilt on the real Windows Installer
    {
        RecordingProbe installer;
        ASSERT_EQ(&installer, CMsiInterface::Instance().GetObserver());
        char errorText[CMsiInterface::kErrorTextSize];
        UINT result = 99;
        const std::string missing = logDir / "missing.msp";
        EXPECT_TRUE(CMsiInterface::Instance().ApplyMultiplePatches(missing.c_str(), twtest::sampleproduct::kProductCode,
                                                                   "REBOOT=ReallySuppress", errorText, &result));
        EXPECT_EQ(0u, result);
        EXPECT_EQ(1u, installer.kinds.count(INSTALLMESSAGE_INITIALIZE));
        EXPECT_EQ(1u, installer.kinds.count(INSTALLMESSAGE_TERMINATE));
        EXPECT_TRUE(boxes.Calls().empty());

        EXPECT_FALSE(
            CMsiInterface::Instance().ApplyMultiplePatches(missing.c_str(), nullptr, nullptr, errorText, &result));
        EXPECT_EQ(1627u, result);
        EXPECT_EQ(1627, tw::CRunState::Get().exitCode);
        EXPECT_STREQ("Unknown error , Error Code = 1627", errorText);
    }
    CMsiInterface::DestroyInstance();
}

}  // namespace
