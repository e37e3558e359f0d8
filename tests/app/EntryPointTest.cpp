#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/AutoPatchInstaller.h"
#include "app/PatchApp.h"
#include "app/PatchInstallerBase.h"
#include "common/PlatformSeams.h"
#include "common/RunState.h"
#include "common/TestSupport.h"
#include "logging/StatusLogMgr.h"
#include "ui/AutoPatchWnd.h"

namespace {

using tw::CPatchApp;
using tw::CPatchInstallerBase;
using tw::CRunState;
using tw::Platform;

constexpr unsigned long long kRequired = 407552000ULL;

class EntryPointTest : public ::testing::Test {
protected:
    void SetUp() override {
        CPatchApp::ResetForTesting();
        tw::StatusLogMgr::ResetState();
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
    }
    void TearDown() override {
        CPatchApp::ResetForTesting();
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
    CPatchApp::AdoptForTesting(new RestartingInstaller(), new tw::CAutoPatchWnd());
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
    CPatchApp::AdoptForTesting(new RestartingInstaller(), new tw::CAutoPatchWnd());
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
    CPatchApp::AdoptForTesting(new RestartingInstaller(), new tw::CAutoPatchWnd());
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

TEST(ExitMessage, JoinsReasonAndVariant) {
    EXPECT_EQ("Patch Installation Exit\"& Error=\"Blocked\"& InstallType=\"Patch:Web",
              tw::CPatchInstallerBase::BuildExitMessage("Blocked", "Web"));
    EXPECT_EQ("Patch Installation Exit\"& Error=\"User Exited\"& InstallType=\"Patch:Auto",
              tw::CPatchInstallerBase::BuildExitMessage("User Exited", "Auto"));
}

}  // namespace
