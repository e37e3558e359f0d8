#include <gtest/gtest.h>

#include <cctype>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/AutoPatchInstaller.h"
#include "app/PatchApp.h"
#include "common/ProcessState.h"
#include "app/PatchInstallerBase.h"
#include "app/WebPatchInstaller.h"
#include "common/PlatformSeams.h"
#include "common/RunState.h"
#include "common/TestSupport.h"
#include "common/UpdateLogFolderGuard.h"
#include "datastore/DataStoreFixture.h"
#include "logging/StatusLogMgr.h"
#include "common/Resource.h"
#include "ui/AutoPatchWnd.h"
#include "ui/WebPatchWnd.h"

namespace {

using tw::CPatchApp;
using tw::CPatchInstallerBase;
using tw::CRunState;
using tw::Platform;

constexpr unsigned long long kRequired = 407552000ULL;

class EntryPointTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The run reads patch.ini beside the program (this test executable) and needs the
        // product installed.
        ASSERT_TRUE(twtest::WriteTextFile(PatchIniBesideProgram(),
                                          "[PatchConfig]\nTWName=Tallyworks 2028\nTWFileVersion=28.0\n"
                                          "[MSI Info]\nProductCode={7A3C5E21-94B6-4D0F-8E2A-5B61C93D7F40}\n"));
        Platform().Msi.QueryProductState = [](LPCSTR) { return INSTALLSTATE_DEFAULT; };
        Platform().FreeDiskSpace = [this](const char* root, unsigned long long* bytes) {
            diskRoots.push_back(root);
            *bytes = freeBytes;
            return true;
        };
        Platform().ExitWindowsEx = [this](UINT flags, DWORD) {
            rebootFlags.push_back(flags);
            if (rebootSucceeds.empty()) return FALSE;
            bool succeeds = rebootSucceeds.front();
            rebootSucceeds.erase(rebootSucceeds.begin());
            return succeeds ? TRUE : FALSE;
        };
        // The product folder holds the product program.
        ASSERT_TRUE(twtest::WriteTextFile(product / "tww.exe", "program"));
    }
    void TearDown() override {
        tw::ResetProcessState();
        ::DeleteFileA(PatchIniBesideProgram().c_str());
    }

    static std::string PatchIniBesideProgram() {
        char module[MAX_PATH] = {};
        ::GetModuleFileNameA(nullptr, module, MAX_PATH - 1);
        std::string path = module;
        return path.substr(0, path.find_last_of('\\') + 1) + "patch.ini";
    }

    int RunWith(const std::string& commandLine) {
        std::vector<char> line(commandLine.begin(), commandLine.end());
        line.push_back('\0');
        return CPatchApp::Run(::GetModuleHandleA(nullptr), nullptr, line.data(), SW_SHOWNORMAL);
    }

    std::string AutoLine() const { return "/A /P " + product.Path(); }

    // The one status record the run wrote, or "" when it wrote none (or more than one).
    std::string Record() const {
        std::vector<std::string> records = logFolder.Records();
        return records.size() == 1 ? records[0] : std::string();
    }
    static std::string ErrorField(int code) { return ";err-" + std::to_string(code) + ";"; }

    static std::string PatchLog() {
        std::string ini = PatchIniBesideProgram();
        return twtest::ReadTextFile(ini.substr(0, ini.find_last_of('\\') + 1) + "Patchlog.txt");
    }

    twtest::UpdateLogFolderGuard logFolder;
    twtest::SeamGuard seams;
    twtest::MessageBoxRecorder boxes;
    twtest::TempDir product{"product"};
    unsigned long long freeBytes = kRequired;
    std::vector<std::string> diskRoots;
    std::vector<UINT> rebootFlags;
    std::vector<bool> rebootSucceeds;  // answers of successive reboot calls; false once empty
};

// An auto installer that reports a pending restart, as after Windows Installer's 3010.
class RestartingInstaller : public tw::CAutoPatchInstaller {
public:
    bool IsRestartRequired() override { return true; }
};

TEST_F(EntryPointTest, SwitchesWithoutProductFolderEndWith18011AndExitCodeZero) {
    EXPECT_EQ(0, RunWith("/A /Q"));
    EXPECT_EQ(18011, CRunState::Get().exitCode);
    EXPECT_NE(std::string::npos, Record().find(ErrorField(18011))) << Record();
    EXPECT_TRUE(diskRoots.empty());
    EXPECT_TRUE(boxes.Calls().empty());
}

TEST_F(EntryPointTest, ExactlyTheRequiredFreeSpaceGoesOn) {
    freeBytes = kRequired;
    EXPECT_EQ(0, RunWith(AutoLine()));
    EXPECT_EQ(0, CRunState::Get().exitCode);
    // Checked before the run and again before patching, on the drive's root ("C:\").
    ASSERT_FALSE(diskRoots.empty());
    for (const std::string& root : diskRoots) EXPECT_EQ(product.Path().substr(0, 3), root);
    for (const auto& box : boxes.Calls()) EXPECT_EQ(std::string::npos, box.text.find("free disk space"));
    // The run went as far as the installer: it wrote the relaunch batch file.
    EXPECT_TRUE(twtest::FileExists(product / "TWUpdateUtility.bat"));
}

TEST_F(EntryPointTest, RunStoppedByInitialisationSkipsTheLoopAndReturnsItsCode) {
    Platform().Msi.QueryProductState = [](LPCSTR) { return INSTALLSTATE_ABSENT; };
    EXPECT_EQ(18002, RunWith(AutoLine()));
    EXPECT_EQ(18002, CRunState::Get().exitCode);
    ASSERT_EQ(1u, boxes.Calls().size());
    EXPECT_EQ("No version of Tallyworks was found to update.\nCanceling update.", boxes.Calls()[0].text);
    // The run ended before its main window was created.
    EXPECT_EQ(nullptr, ::FindWindowA("TWPatchClass", nullptr));
}

TEST_F(EntryPointTest, OneByteLessStopsWith18004AndTheLowSpaceMessage) {
    freeBytes = kRequired - 1;
    EXPECT_EQ(0, RunWith(AutoLine()));
    EXPECT_EQ(18004, CRunState::Get().exitCode);
    EXPECT_NE(std::string::npos, Record().find(ErrorField(18004))) << Record();
    ASSERT_EQ(1u, boxes.Calls().size());
    const twtest::MessageBoxCall& box = boxes.Calls()[0];
    std::string expected = std::string("You have only 397 MBs of free disk space left on drive ") + product.Path()[0] +
                           ":\nYou need at least 398 MBs of free disk space to run the update program.";
    EXPECT_EQ(expected, box.text);
    EXPECT_EQ("Tallyworks Update", box.title);
    EXPECT_EQ(static_cast<UINT>(MB_ICONHAND), box.type);
    EXPECT_EQ(nullptr, box.owner);
    EXPECT_FALSE(twtest::FileExists(product / "TWUpdateUtility.bat"));
}

TEST_F(EntryPointTest, FailedFreeSpaceQueryCountsAsNotEnough) {
    Platform().FreeDiskSpace = [](const char*, unsigned long long* bytes) {
        *bytes = 0;
        return false;
    };
    EXPECT_EQ(0, RunWith(AutoLine()));
    EXPECT_EQ(18004, CRunState::Get().exitCode);
}

TEST_F(EntryPointTest, EmptyCommandLineSelectsTheWebVariantWithoutDiskCheck) {
    // The web run waits in its confirmation dialog; close the main window once it is up.
    ::SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR id, DWORD) {
        if (HWND main = ::FindWindowA("TWPatchClass", nullptr)) {
            ::KillTimer(nullptr, id);
            ::PostMessageA(main, WM_CLOSE, 0, 0);
        }
    });
    EXPECT_EQ(0, RunWith(""));
    EXPECT_EQ(tw::InstallerKind::Web, CRunState::Get().installerKind);
    EXPECT_FALSE(CRunState::Get().commandLineGiven);
    EXPECT_TRUE(diskRoots.empty());
}

TEST_F(EntryPointTest, RestartAnsweredNoKeepsTheExitCode) {
    CPatchApp::Adopt(std::make_unique<RestartingInstaller>(), std::make_unique<tw::CAutoPatchWnd>());
    boxes.Answer(IDNO);
    EXPECT_EQ(0, RunWith(AutoLine()));
    ASSERT_EQ(1u, boxes.Calls().size());
    EXPECT_EQ(
        "Tallyworks Update has to restart your computer \nto complete the update.\n\nClick Yes to restart now.  "
        "Click No to restart later.",
        boxes.Calls()[0].text);
    EXPECT_EQ("Tallyworks Update", boxes.Calls()[0].title);
    EXPECT_EQ(0x50034u, boxes.Calls()[0].type);
    EXPECT_TRUE(rebootFlags.empty());
}

TEST_F(EntryPointTest, RestartAnsweredYesReboots) {
    CPatchApp::Adopt(std::make_unique<RestartingInstaller>(), std::make_unique<tw::CAutoPatchWnd>());
    boxes.Answer(IDYES);
    rebootSucceeds = {true};
    EXPECT_EQ(0, RunWith(AutoLine()));
    EXPECT_EQ(std::vector<UINT>{EWX_REBOOT}, rebootFlags);
    EXPECT_EQ(0, CRunState::Get().exitCode);
}

struct PrivilegeCase {
    bool tokenOpens;
    DWORD adjustError;
    int expectedExitCode;
    size_t rebootCalls;
};

class RestartPrivilegeTest : public EntryPointTest, public ::testing::WithParamInterface<PrivilegeCase> {};

TEST_P(RestartPrivilegeTest, FirstRebootFailureEnablesTheShutdownPrivilege) {
    const PrivilegeCase& c = GetParam();
    CPatchApp::Adopt(std::make_unique<RestartingInstaller>(), std::make_unique<tw::CAutoPatchWnd>());
    boxes.Answer(IDYES);
    rebootSucceeds = {false, true};
    std::string privilegeName;
    Platform().OpenProcessToken = [&](HANDLE process, DWORD access, PHANDLE token) {
        EXPECT_EQ(static_cast<DWORD>(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY), access);
        if (!c.tokenOpens) {
            ::SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        return ::OpenProcessToken(process, access, token);
    };
    Platform().AdjustTokenPrivileges = [&](HANDLE, BOOL, PTOKEN_PRIVILEGES state, DWORD, PTOKEN_PRIVILEGES, PDWORD) {
        EXPECT_EQ(1u, state->PrivilegeCount);
        EXPECT_EQ(static_cast<DWORD>(SE_PRIVILEGE_ENABLED), state->Privileges[0].Attributes);
        ::SetLastError(c.adjustError);
        return TRUE;
    };

    // The process exit code is the snapshot taken before the restart; the new code goes
    // only into the status record.
    EXPECT_EQ(0, RunWith(AutoLine()));
    EXPECT_EQ(c.expectedExitCode, CRunState::Get().exitCode);
    EXPECT_NE(std::string::npos, Record().find(ErrorField(c.expectedExitCode))) << Record();
    EXPECT_EQ(c.rebootCalls, rebootFlags.size());
}

INSTANTIATE_TEST_SUITE_P(Table, RestartPrivilegeTest,
                         ::testing::Values(PrivilegeCase{false, ERROR_SUCCESS, 18010, 1},
                                           PrivilegeCase{true, ERROR_NOT_ALL_ASSIGNED, 18009, 1},
                                           PrivilegeCase{true, ERROR_SUCCESS, 0, 2}));

TEST_F(EntryPointTest, RelaunchBatchFileRepeatsTheCommandLine) {
    std::string line = AutoLine();
    RunWith(line);
    char module[MAX_PATH];
    ::GetModuleFileNameA(nullptr, module, MAX_PATH);
    std::string batch = twtest::ReadTextFile(product / "TWUpdateUtility.bat");
    EXPECT_EQ("\"" + std::string(module) + "\" " + line + "\r\n", batch);
}

// --- The product folder as the command line spells it ---

enum class Spelling { TrailingBackslash, ForwardSlashes, Quoted, QuotedTrailingBackslash, Relative, OtherCase };

// A product of major version 28 with the flavor "cedar" registered for its tww.exe, and an
// update that raises the flavor's revision to 8.
class ProductFolderTest : public EntryPointTest, public ::testing::WithParamInterface<Spelling> {
protected:
    void SetUp() override {
        EntryPointTest::SetUp();
        ResetDataStore();
        ASSERT_TRUE(twtest::WriteTextFile(PatchIniBesideProgram(),
                                          "[PatchConfig]\nTWName=Tallyworks 2028\nTWFileVersion=28.0\n"
                                          "[AutoPatch]\nTWVersion=284008000\nCountry=US\n"
                                          "[MSI Info]\nProductCode={7A3C5E21-94B6-4D0F-8E2A-5B61C93D7F40}\n"));
        Platform().Msi.GetProductInfo = [](LPCSTR, LPCSTR attribute, LPSTR buffer, LPDWORD size) {
            lstrcpynA(buffer, std::string(attribute) == "VersionMajor" ? "28" : "28.0.4005.1", static_cast<int>(*size));
            return static_cast<UINT>(ERROR_SUCCESS);
        };
        ASSERT_TRUE(twtest::WriteTextFile(common / "twm3t2.dat", "catalogue"));
        twtest::SetString(HKEY_LOCAL_MACHINE, twtest::kCommonKey, "CommonFilesPath", common.Path());
        ASSERT_TRUE(::CopyFileA(twtest::VersionExe("ver28").c_str(), (product / "tww.exe").c_str(), FALSE));
        ASSERT_TRUE(twtest::WriteTextFile(product / "twwCedar.exe", "edition"));
        twtest::SetString(HKEY_LOCAL_MACHINE, kCedarKey, "Path", product / "tww.exe");
        twtest::SetString(HKEY_LOCAL_MACHINE, kCedarKey, "InstallTimeStamp", "03/01/2027 10:00:00 AM");
        twtest::SetString(HKEY_LOCAL_MACHINE, kCedarKey, "TWVersion", "5");
    }
    void TearDown() override {
        EntryPointTest::TearDown();
        ResetDataStore();
    }
    // The reader and its catalogue go with the rest of the process state (the guard).
    static void ResetDataStore() { twtest::RemoveVendorKeys(); }

    static constexpr char kCedarKey[] = "Software\\Veltra\\Tallyworks\\28.0\\cedar";
    twtest::TempDir common{"twcommon"};
};

TEST_P(ProductFolderTest, EverySpellingOfTheFolderRaisesTheFlavorsRevision) {
    std::string folder = product.Path();
    char startDir[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, startDir);
    switch (GetParam()) {
        case Spelling::TrailingBackslash:
            folder += "\\";
            break;
        case Spelling::ForwardSlashes:
            for (char& c : folder)
                if (c == '\\') c = '/';
            break;
        case Spelling::Quoted:
            folder = "\"" + folder + "\"";
            break;
        case Spelling::QuotedTrailingBackslash:
            folder = "\"" + folder + "\\\"";
            break;
        case Spelling::Relative: {
            // Relative to the folder the program is started in.
            size_t slash = folder.find_last_of('\\');
            ASSERT_TRUE(::SetCurrentDirectoryA(folder.substr(0, slash).c_str()));
            folder = folder.substr(slash + 1);
            break;
        }
        case Spelling::OtherCase:
            for (char& c : folder) c = static_cast<char>(::toupper(static_cast<unsigned char>(c)));
            break;
    }
    const int exitCode = RunWith("/A /P " + folder);
    ::SetCurrentDirectoryA(startDir);

    EXPECT_EQ(0, exitCode);
    EXPECT_NE(std::string::npos, Record().find(ErrorField(0))) << Record();
    EXPECT_EQ("8", twtest::GetString(HKEY_LOCAL_MACHINE, kCedarKey, "TWVersion"));
    // The free space was asked for the product's drive, and the relaunch file lies in its folder.
    ASSERT_FALSE(diskRoots.empty());
    for (const std::string& root : diskRoots) EXPECT_EQ(product.Path().substr(0, 3), root);
    EXPECT_TRUE(twtest::FileExists(product / "TWUpdateUtility.bat"));
    ASSERT_FALSE(boxes.Calls().empty());
    EXPECT_EQ(0u, boxes.Calls().back().text.find("Congratulations!")) << boxes.Calls().back().text;
}

INSTANTIATE_TEST_SUITE_P(Spellings, ProductFolderTest,
                         ::testing::Values(Spelling::TrailingBackslash, Spelling::ForwardSlashes, Spelling::Quoted,
                                           Spelling::QuotedTrailingBackslash, Spelling::Relative, Spelling::OtherCase));

TEST_F(ProductFolderTest, MissingFolderStopsTheRunBeforeAnythingChanges) {
    std::vector<std::string> queried;
    Platform().Msi.QueryProductState = [&queried](LPCSTR code) {
        queried.push_back(code);
        return INSTALLSTATE_DEFAULT;
    };
    const std::string missing = product / "Tallyworks 29";
    EXPECT_EQ(0, RunWith("/A /P " + missing));
    EXPECT_EQ(18011, CRunState::Get().exitCode);
    EXPECT_NE(std::string::npos, Record().find(ErrorField(18011))) << Record();
    EXPECT_NE(std::string::npos, PatchLog().find("In WinMain, the Tallyworks folder " + missing +
                                                 " given on the command line does not exist."));
    EXPECT_TRUE(queried.empty());
    EXPECT_TRUE(boxes.Calls().empty());
    EXPECT_EQ("5", twtest::GetString(HKEY_LOCAL_MACHINE, kCedarKey, "TWVersion"));
    EXPECT_FALSE(twtest::FileExists(missing));
}

// A folder that exists but holds no product program names no product to update: the run
// stops as for a missing folder, and the product found by its code stays as it was.
TEST_F(ProductFolderTest, FolderWithoutTheProductProgramStopsTheRunBeforeAnythingChanges) {
    std::vector<std::string> queried;
    Platform().Msi.QueryProductState = [&queried](LPCSTR code) {
        queried.push_back(code);
        return INSTALLSTATE_DEFAULT;
    };
    char windows[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetWindowsDirectoryA(windows, MAX_PATH));
    for (const std::string& folder : {common.Path(), std::string(windows)}) {
        SCOPED_TRACE(folder);
        twtest::UpdateLogFolderGuard records;
        CPatchApp::Adopt(nullptr, nullptr);  // each run creates its own installer and window
        queried.clear();
        EXPECT_EQ(0, RunWith("/A /P " + folder));
        EXPECT_EQ(18011, CRunState::Get().exitCode);
        std::vector<std::string> lines = records.Records();
        ASSERT_EQ(1u, lines.size());
        EXPECT_NE(std::string::npos, lines[0].find(ErrorField(18011))) << lines[0];
        EXPECT_NE(std::string::npos, PatchLog().find("In WinMain, the Tallyworks folder " + folder +
                                                     " given on the command line holds no tww.exe."))
            << PatchLog();
        EXPECT_TRUE(queried.empty());
        EXPECT_TRUE(boxes.Calls().empty());
        EXPECT_EQ("5", twtest::GetString(HKEY_LOCAL_MACHINE, kCedarKey, "TWVersion"));
        EXPECT_FALSE(twtest::FileExists(folder + "\\TWUpdateUtility.bat"));
    }
}

// An empty folder is reported with the "unable to read" message, and then the run ends as
// without a folder, before the installer has changed anything.
TEST_F(EntryPointTest, EmptyProductFolderIsReportedAndEndsTheRun) {
    bool queried = false;
    Platform().Msi.QueryProductState = [&queried](LPCSTR) {
        queried = true;
        return INSTALLSTATE_DEFAULT;
    };
    for (const char* line : {"/A /P", "/A /P \"\""}) {
        SCOPED_TRACE(line);
        twtest::UpdateLogFolderGuard records;
        CPatchApp::Adopt(nullptr, nullptr);  // each run creates its own installer and window
        queried = false;
        const size_t before = boxes.Calls().size();
        EXPECT_EQ(0, RunWith(line));
        ASSERT_EQ(before + 1, boxes.Calls().size());
        const twtest::MessageBoxCall& box = boxes.Calls()[before];
        EXPECT_EQ("We are unable to read your Tallyworks file.", box.text);
        EXPECT_EQ("Tallyworks Update", box.title);
        EXPECT_EQ(static_cast<UINT>(MB_ICONHAND), box.type);
        EXPECT_EQ(18011, CRunState::Get().exitCode);
        std::vector<std::string> lines = records.Records();
        ASSERT_EQ(1u, lines.size());
        EXPECT_NE(std::string::npos, lines[0].find(ErrorField(18011))) << lines[0];
        EXPECT_NE(std::string::npos,
                  PatchLog().find("In WinMain, the Tallyworks folder given on the command line is empty."));
        // The product program is the empty folder's "\tww.exe", in no folder.
        EXPECT_EQ("\\tww.exe", CRunState::Get().productExePath);
        EXPECT_FALSE(queried);  // the installer did not run
    }
}

// --- The end of a run ---

// An auto installer whose run fails with an exception, with the last error as given.
class ThrowingInstaller : public tw::CAutoPatchInstaller {
public:
    explicit ThrowingInstaller(DWORD lastError) : m_lastError(lastError) {}
    bool Run(tw::PatchCmdInfo&, int, const char*) override {
        ::SetLastError(m_lastError);
        throw std::runtime_error("the run broke");
    }

private:
    DWORD m_lastError;
};

TEST_F(EntryPointTest, ExceptionEndsTheRunWithAFailureCode) {
    struct Case {
        DWORD lastError;
        int expected;
    } cases[] = {{ERROR_ACCESS_DENIED, 5}, {ERROR_SUCCESS, 574}};  // 574: ERROR_UNHANDLED_EXCEPTION
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lastError);
        twtest::UpdateLogFolderGuard records;
        CPatchApp::Adopt(std::make_unique<ThrowingInstaller>(c.lastError), std::make_unique<tw::CAutoPatchWnd>());
        EXPECT_EQ(c.expected, RunWith(AutoLine()));
        EXPECT_EQ(c.expected, CRunState::Get().exitCode);
        std::vector<std::string> lines = records.Records();
        ASSERT_EQ(1u, lines.size());
        EXPECT_NE(std::string::npos, lines[0].find(ErrorField(c.expected))) << lines[0];
        EXPECT_NE(std::string::npos, PatchLog().find("In WinMain, unexpected exception: the run broke, exit code " +
                                                     std::to_string(c.expected)));
    }
}

// The web run's confirmation dialog, pressed by a timer of the run's own message loop.
tw::CWebPatchInstaller* g_webToPress = nullptr;

void CALLBACK PressInstallNow(HWND, UINT, UINT_PTR id, DWORD) {
    HWND view = g_webToPress ? g_webToPress->GetPatchViewDialog() : nullptr;
    if (!view) return;
    ::KillTimer(nullptr, id);
    ::SendMessageA(view, WM_COMMAND, MAKEWPARAM(IDC_INSTALL_NOW, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(view, IDC_INSTALL_NOW)));
}

// An exception inside the web variant's Install Now ends the run as one at the entry point
// does: its last error (or 574) in the status record and as the exit code, the log line,
// and the windows closed.
TEST_F(EntryPointTest, ExceptionInsideInstallNowEndsTheRunAsAtTheEntryPoint) {
    struct Case {
        DWORD lastError;
        int expected;
    } cases[] = {{ERROR_ACCESS_DENIED, 5}, {ERROR_SUCCESS, 574}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lastError);
        twtest::UpdateLogFolderGuard records;
        auto web = std::make_unique<tw::CWebPatchInstaller>();
        g_webToPress = web.get();
        CPatchApp::Adopt(std::move(web), std::make_unique<tw::CWebPatchWnd>());
        int applyCalls = 0;
        Platform().Msi.ApplyMultiplePatches = [&applyCalls](LPCSTR, LPCSTR, LPCSTR) -> UINT {
            ++applyCalls;
            return ERROR_SUCCESS;
        };
        Platform().Msi.GetComponentPath = [&c](LPCSTR, LPCSTR, LPSTR, LPDWORD) -> INSTALLSTATE {
            ::SetLastError(c.lastError);
            throw std::runtime_error("component lookup failed");
        };
        const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, PressInstallNow);
        ASSERT_NE(0u, timer);
        const int exitCode = RunWith("");
        ::KillTimer(nullptr, timer);
        g_webToPress = nullptr;

        EXPECT_EQ(c.expected, exitCode);
        EXPECT_EQ(c.expected, CRunState::Get().exitCode);
        EXPECT_EQ(0, applyCalls);
        std::vector<std::string> lines = records.Records();
        ASSERT_EQ(1u, lines.size());
        EXPECT_NE(std::string::npos, lines[0].find(ErrorField(c.expected))) << lines[0];
        EXPECT_NE(std::string::npos, PatchLog().find("In WinMain, unexpected exception: component lookup failed, "
                                                     "exit code " +
                                                     std::to_string(c.expected)))
            << PatchLog();
        // The message loop ended because the main window closed.
        EXPECT_EQ(nullptr, CPatchApp::MainWindow()->GetHwnd());
        EXPECT_EQ(nullptr, ::FindWindowA("TWPatchClass", nullptr));
    }
}

// An auto installer whose run failed after the user was told that Windows restarts.
class RestartPendingInstaller : public tw::CAutoPatchInstaller {
public:
    bool Run(tw::PatchCmdInfo&, int, const char*) override {
        CRunState::Get().exitCode = 1603;
        m_restartPending = true;
        return false;
    }
};

TEST_F(EntryPointTest, PendingRestartFollowsTheStatusRecord) {
    CPatchApp::Adopt(std::make_unique<RestartPendingInstaller>(), std::make_unique<tw::CAutoPatchWnd>());
    std::vector<std::string> recordsAtReboot;
    Platform().ExitWindowsEx = [&](UINT flags, DWORD) {
        rebootFlags.push_back(flags);
        recordsAtReboot = logFolder.Records();
        return TRUE;
    };
    EXPECT_EQ(1603, RunWith(AutoLine()));
    EXPECT_EQ(std::vector<UINT>{EWX_REBOOT}, rebootFlags);
    ASSERT_EQ(1u, recordsAtReboot.size());
    EXPECT_NE(std::string::npos, recordsAtReboot[0].find(ErrorField(1603))) << recordsAtReboot[0];
}

// Windows refuses the restart to a token whose shutdown privilege is disabled: the deferred
// restart enables it and asks again, after the status record was written.
struct DeferredRestartCase {
    const char* name;
    std::vector<bool> rebootAnswers;
    bool tokenOpens;
    DWORD adjustError;
    size_t rebootCalls;
    bool privilegeAsked;
    const char* logLine;  // null: none of the restart's error lines
    int exitCode;         // of the run state; the record and the process keep 1603
};

class DeferredRestartTest : public EntryPointTest, public ::testing::WithParamInterface<DeferredRestartCase> {};

TEST_P(DeferredRestartTest, FollowsTheStatusRecordAndEnablesTheShutdownPrivilege) {
    const DeferredRestartCase& c = GetParam();
    CPatchApp::Adopt(std::make_unique<RestartPendingInstaller>(), std::make_unique<tw::CAutoPatchWnd>());
    std::vector<size_t> recordsAtReboot;
    std::vector<bool> answers = c.rebootAnswers;
    Platform().ExitWindowsEx = [&](UINT flags, DWORD) {
        rebootFlags.push_back(flags);
        recordsAtReboot.push_back(logFolder.Records().size());
        const bool succeeds = !answers.empty() && answers.front();
        if (!answers.empty()) answers.erase(answers.begin());
        if (!succeeds) ::SetLastError(ERROR_PRIVILEGE_NOT_HELD);
        return succeeds ? TRUE : FALSE;
    };
    bool privilegeAsked = false;
    Platform().OpenProcessToken = [&](HANDLE process, DWORD access, PHANDLE token) {
        EXPECT_EQ(static_cast<DWORD>(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY), access);
        if (!c.tokenOpens) {
            ::SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        return ::OpenProcessToken(process, access, token);
    };
    Platform().AdjustTokenPrivileges = [&](HANDLE, BOOL disableAll, PTOKEN_PRIVILEGES state, DWORD, PTOKEN_PRIVILEGES,
                                           PDWORD) {
        privilegeAsked = true;
        EXPECT_FALSE(disableAll);
        EXPECT_EQ(1u, state->PrivilegeCount);
        EXPECT_EQ(static_cast<DWORD>(SE_PRIVILEGE_ENABLED), state->Privileges[0].Attributes);
        LUID shutdown = {};
        EXPECT_TRUE(::LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &shutdown));
        EXPECT_EQ(shutdown.LowPart, state->Privileges[0].Luid.LowPart);
        EXPECT_EQ(shutdown.HighPart, state->Privileges[0].Luid.HighPart);
        ::SetLastError(c.adjustError);
        return TRUE;
    };

    const size_t logBefore = PatchLog().size();
    EXPECT_EQ(1603, RunWith(AutoLine()));
    EXPECT_EQ(std::vector<UINT>(c.rebootCalls, EWX_REBOOT), rebootFlags);
    EXPECT_EQ(std::vector<size_t>(c.rebootCalls, 1u), recordsAtReboot);
    EXPECT_NE(std::string::npos, Record().find(ErrorField(1603))) << Record();
    EXPECT_EQ(c.privilegeAsked, privilegeAsked);
    EXPECT_EQ(c.exitCode, CRunState::Get().exitCode);
    // This run's lines (the log is only started anew once it has grown large).
    std::string log = PatchLog();
    if (log.size() >= logBefore) log.erase(0, logBefore);
    for (const char* line : {"In WinMain, error in OpenProcessToken", "In WinMain, error in AdjustTokenPrivileges",
                             "In WinMain, error in ExitWindowsEx"}) {
        const bool expected = c.logLine && std::string(c.logLine) == line;
        EXPECT_EQ(expected, log.find(line) != std::string::npos) << line;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, DeferredRestartTest,
    ::testing::Values(
        DeferredRestartCase{"FirstCallRestarts", {true}, true, ERROR_SUCCESS, 1, false, nullptr, 1603},
        DeferredRestartCase{"PrivilegeEnabled", {false, true}, true, ERROR_SUCCESS, 2, true, nullptr, 1603},
        DeferredRestartCase{
            "TokenNotOpened", {false}, false, ERROR_SUCCESS, 1, false, "In WinMain, error in OpenProcessToken", 18010},
        DeferredRestartCase{"PrivilegeNotHeld",
                            {false},
                            true,
                            ERROR_NOT_ALL_ASSIGNED,
                            1,
                            true,
                            "In WinMain, error in AdjustTokenPrivileges",
                            18009},
        DeferredRestartCase{"SecondCallRefused",
                            {false, false},
                            true,
                            ERROR_SUCCESS,
                            2,
                            true,
                            "In WinMain, error in ExitWindowsEx",
                            1603}),
    [](const ::testing::TestParamInfo<DeferredRestartCase>& param) { return std::string(param.param.name); });

TEST_F(EntryPointTest, PendingRestartIsNotRepeatedAfterTheRestartQuestion) {
    struct BothInstaller : RestartPendingInstaller {
        bool IsRestartRequired() override { return true; }
    };
    CPatchApp::Adopt(std::make_unique<BothInstaller>(), std::make_unique<tw::CAutoPatchWnd>());
    boxes.Answer(IDYES);
    rebootSucceeds = {true};
    RunWith(AutoLine());
    EXPECT_EQ(std::vector<UINT>{EWX_REBOOT}, rebootFlags);
}

TEST(ExitMessage, JoinsReasonAndVariant) {
    EXPECT_EQ("Patch Installation Exit\"& Error=\"Blocked\"& InstallType=\"Patch:Web",
              tw::CPatchInstallerBase::BuildExitMessage("Blocked", "Web"));
    EXPECT_EQ("Patch Installation Exit\"& Error=\"User Exited\"& InstallType=\"Patch:Auto",
              tw::CPatchInstallerBase::BuildExitMessage("User Exited", "Auto"));
}

}  // namespace
