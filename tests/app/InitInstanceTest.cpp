#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "InstallerTestSupport.h"
#include "common/PlatformSeams.h"
#include "common/RunState.h"
#include "datastore/DataStoreFixture.h"
#include "fixtures/sampleproduct/SampleProduct.h"
#include "sysinfo/OSInfo.h"

namespace {

using tw::CRunState;
using tw::Platform;
using namespace twtest;

class InitInstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        CRunState::Get().installerDir = installerDir.Path();
        realQueryProductState = Platform().Msi.QueryProductState;
        Platform().Msi.QueryProductState = [this](LPCSTR code) {
            queriedCodes.push_back(code ? code : "");
            return productState;
        };
        std::memset(&info, 0, sizeof(info));
    }

    void WriteIni(const std::string& extra = std::string()) {
        ASSERT_TRUE(WriteTextFile(installerDir / "patch.ini", PatchIni(extra)));
    }
    void GivePath(const std::string& dir) {
        std::strcpy(info.productDir, dir.c_str());
        info.pathGiven = 1;
    }

    SeamGuard seams;
    TrackingRecorder sender;
    MessageBoxRecorder boxes;
    TempDir installerDir{"twinstaller"};
    TestInstaller installer;
    tw::PatchCmdInfo info;
    INSTALLSTATE productState = INSTALLSTATE_DEFAULT;
    std::vector<std::string> queriedCodes;
    std::function<INSTALLSTATE(LPCSTR)> realQueryProductState;
};

TEST_F(InitInstanceTest, WithoutInstallerFolderStopsWith18000) {
    CRunState::Get().installerDir.clear();
    EXPECT_FALSE(installer.InitInstance(info));
    EXPECT_EQ(18000, CRunState::Get().exitCode);
}

TEST_F(InitInstanceTest, MissingOrEmptyPatchIniStopsWith18001) {
    EXPECT_FALSE(installer.InitInstance(info));
    EXPECT_EQ(18001, CRunState::Get().exitCode);
    EXPECT_TRUE(queriedCodes.empty());

    CRunState::Get().exitCode = 0;
    ASSERT_TRUE(WriteTextFile(installerDir / "patch.ini", "; no sections\n"));
    EXPECT_FALSE(installer.InitInstance(info));
    EXPECT_EQ(18001, CRunState::Get().exitCode);
    EXPECT_TRUE(boxes.Calls().empty());
}

TEST_F(InitInstanceTest, ProductNotInstalledShowsTheMessageAndStopsWith18002) {
    WriteIni();
    for (INSTALLSTATE state : {INSTALLSTATE_ADVERTISED, INSTALLSTATE_ABSENT, INSTALLSTATE_UNKNOWN}) {
        SCOPED_TRACE(state);
        productState = state;
        CRunState::Get().exitCode = 0;
        TestInstaller fresh;
        size_t boxesBefore = boxes.Calls().size();
        EXPECT_FALSE(fresh.InitInstance(info));
        EXPECT_EQ(18002, CRunState::Get().exitCode);
        ASSERT_EQ(boxesBefore + 1, boxes.Calls().size());
        const MessageBoxCall& box = boxes.Calls().back();
        EXPECT_EQ("No version of Tallyworks was found to update.\nCanceling update.", box.text);
        EXPECT_EQ("Tallyworks Update", box.title);
        EXPECT_EQ(static_cast<UINT>(MB_ICONHAND), box.type);
        EXPECT_EQ(nullptr, box.owner);
    }
    EXPECT_EQ("{7A3C5E21-94B6-4D0F-8E2A-5B61C93D7F40}", queriedCodes.back());
}

TEST_F(InitInstanceTest, ProductStateComesFromWindowsInstaller) {
    Platform().Msi.QueryProductState = realQueryProductState;  // the real msi.dll
    ASSERT_TRUE(sampleproduct::EnsureInstalled());
    WriteIni();
    EXPECT_TRUE(installer.InitInstance(info));
    EXPECT_EQ(0, CRunState::Get().exitCode);

    ASSERT_TRUE(WriteTextFile(installerDir / "patch.ini",
                              "[PatchConfig]\nTWName=Tallyworks 2028\n"
                              "[MSI Info]\nProductCode={00000000-1111-2222-3333-444444444444}\n"));
    TestInstaller other;
    EXPECT_FALSE(other.InitInstance(info));
    EXPECT_EQ(18002, CRunState::Get().exitCode);
    EXPECT_EQ(1u, boxes.Calls().size());
}

TEST_F(InitInstanceTest, CommandLineFolderLosesOneTrailingBackslash) {
    WriteIni();
    struct Case {
        const char* given;
        const char* stored;
    } cases[] = {
        {"C:\\Tallyworks\\", "C:\\Tallyworks"},
        {"C:\\Tallyworks\\\\", "C:\\Tallyworks\\"},
        {"C:\\Tallyworks", "C:\\Tallyworks"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.given);
        TestInstaller fresh;
        GivePath(c.given);
        EXPECT_TRUE(fresh.InitInstance(info));
        EXPECT_STREQ(c.stored, fresh.GetAppPath());
        EXPECT_STREQ(c.stored, info.productDir);
        EXPECT_EQ(c.stored, fresh.CmdLineProductPath());
        EXPECT_FALSE(fresh.IsLocateByProductCode());
    }
}

TEST_F(InitInstanceTest, WithoutCommandLineFolderTheProductIsLocatedByItsCode) {
    WriteIni();
    std::strcpy(info.productDir, "C:\\ignored");
    info.pathGiven = 0;
    EXPECT_TRUE(installer.InitInstance(info));
    EXPECT_STREQ("", installer.GetAppPath());
    EXPECT_TRUE(installer.IsLocateByProductCode());
    EXPECT_EQ("", installer.CmdLineProductPath());
}

TEST_F(InitInstanceTest, TrackingContextIsHandedOver) {
    ASSERT_TRUE(WriteTextFile(installerDir / "patch.ini",
                              "[PatchConfig]\nTWName=Tallyworks 2028\nTWFileVersion=28.0\n"
                              "[AutoPatch]\nTWVersion=280407000\nCountry=us\nServer=pds\n"
                              "[MSI Info]\nProductCode={7A3C5E21-94B6-4D0F-8E2A-5B61C93D7F40}\nReinstall=TW_KYV\n"));
    struct Case {
        bool pathGiven;
        const char* exe;  // product executable variant, or null for none
        const char* major;
        const char* level;
    } cases[] = {
        {true, "ver28", "28", "R9"},   // major version from the executable
        {true, nullptr, "NA", "NA"},   // no executable: nothing known
        {false, "ver28", "16", "R9"},  // located by product code: Windows Installer's answer
    };
    Platform().Msi.GetProductInfo = [](LPCSTR, LPCSTR attribute, LPSTR buffer, LPDWORD size) -> UINT {
        EXPECT_STREQ("VersionMajor", attribute);
        EXPECT_EQ(260u, *size);
        std::strcpy(buffer, "16");
        *size = 2;
        return ERROR_SUCCESS;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.exe ? c.exe : "none") + (c.pathGiven ? " path" : " code"));
        tw::InstallTracker::Instance().ResetContext();
        TempDir product("twproduct");
        CRunState::Get().productExePath.clear();
        if (c.exe) {
            ASSERT_TRUE(::CopyFileA(VersionExe(c.exe).c_str(), (product / "tww.exe").c_str(), FALSE));
            CRunState::Get().productExePath = product / "tww.exe";
        }
        std::memset(&info, 0, sizeof(info));
        if (c.pathGiven) GivePath(product.Path());
        TestInstaller fresh;
        EXPECT_TRUE(fresh.InitInstance(info));
        const tw::InstallTracker& tracker = tw::InstallTracker::Instance();
        EXPECT_EQ("07", tracker.GetSlipStream());
        EXPECT_EQ("US", tracker.GetCountry());
        EXPECT_EQ("PDS", tracker.GetServer());
        EXPECT_EQ("CDKYV", tracker.GetSKU());
        EXPECT_EQ(c.major, tracker.GetMajorVersion());
        EXPECT_EQ(c.level, tracker.GetPrevSlipStream());
        EXPECT_EQ(tw::COSInfo::GetTrackingFields(), tracker.GetOSFields());
    }
}

TEST_F(InitInstanceTest, CompanionWindowsAreClosedAndTheirProcessesEnded) {
    WriteIni(
        "[AgentData]\nOneAgentData1=TWAgentWnd,Agent,agentwnd.exe\nOneAgentData2=TWNoWindow,None,agentproc.exe\n"
        "[TWRelatedApps]\nOneTWRelatedApp1=TWRelatedWnd,Related,related.exe,Related Tool\n");
    TempDir programs("twprograms");
    auto copy = [&](const std::string& name) {
        std::string path = programs / name;
        EXPECT_TRUE(::CopyFileA(StandInExe().c_str(), path.c_str(), FALSE)) << name;
        return path;
    };
    std::string log = programs / "agent.txt";
    StandIn agentWindow, agentProcess, related, twdagent, twdag;
    // The agent's window only gets WM_CLOSE; its process survives because the window does.
    ASSERT_TRUE(agentWindow.Start(copy("agentwnd.exe"),
                                  "/frame /class TWAgentWnd /title Agent /ignoreclose /log \"" + log + "\""));
    ASSERT_TRUE(agentProcess.Start(copy("agentproc.exe"), ""));
    ASSERT_TRUE(related.Start(copy("related.exe"), "/frame /class TWRelatedWnd /title Related"));
    ASSERT_TRUE(twdagent.Start(copy("TWDAGENT.EXE"), ""));
    ASSERT_TRUE(twdag.Start(copy("twdag.exe"), ""));

    EXPECT_TRUE(installer.InitInstance(info));
    EXPECT_EQ("close\r\n", ReadTextFile(log));
    EXPECT_TRUE(agentWindow.IsRunning());
    EXPECT_TRUE(agentProcess.WaitForExit(10000));
    EXPECT_TRUE(related.WaitForExit(10000));
    EXPECT_TRUE(twdagent.WaitForExit(10000));
    EXPECT_TRUE(twdag.IsRunning());
}

TEST_F(InitInstanceTest, SuccessLeavesExitCodeAndGateFlagsClear) {
    WriteIni();
    ASSERT_TRUE(WriteTextFile(installerDir / "patch.ini",
                              "[PatchConfig]\nTWName=Tallyworks 2030\nTWFileVersion=30.0\n"
                              "[MSI Info]\nProductCode={7A3C5E21-94B6-4D0F-8E2A-5B61C93D7F40}\n"));
    // The gate runs for 30.0; nothing listens on this port, so it answers "no verdict" at once
    // instead of asking the maker's host.
    installer.SetOsSupportConfigUrls("https://127.0.0.1:9/config.ini", "https://127.0.0.1:9/config_test.ini");
    EXPECT_TRUE(installer.InitInstance(info));
    const CRunState& state = CRunState::Get();
    EXPECT_EQ(0, state.exitCode);
    EXPECT_FALSE(state.gateAllowedWithMessage);
    EXPECT_FALSE(state.gateDismissed);
    EXPECT_FALSE(state.gateUserClosed);
    EXPECT_FALSE(state.offline);
    EXPECT_TRUE(boxes.Calls().empty());
}

}  // namespace
