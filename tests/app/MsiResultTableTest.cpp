#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <set>
#include <string>

#include "app/MsiInterface.h"
#include "app/MsiResultTable.h"
#include "common/PlatformSeams.h"
#include "common/RunState.h"
#include "common/TestSupport.h"
#include "common/TextUtil.h"
#include "logging/StatusLogMgr.h"

namespace {

using tw::CMsiResultTable;

const char kTail[] =
    "For detailed solution steps, write down the error number and then type the following into a Web browser:\n\n"
    "https://support.tallyworks.example/tallyworks/update\n\n";

const char* const kUserTexts[] = {
    nullptr,
    "Problem\nError %d. The update installer could not open an update file.\n\nSolution\nReset the update. \n",
    "Problem\nError %d. The update installer has detected an obsolete version of the installer.\n\nSolution\n"
    "Repair the Tallyworks installation. \n",
    "The update has been canceled.  \n",
    "Problem\nError %d. The update installer has encountered an internal error.\n\nSolution\nRepair the "
    "Tallyworks installation. \n",
    "Problem\nError %d. The update installer is not accessible.\n\nSolution\nReset the update. \n",
    "Problem\nError %d. The version of Tallyworks you are updating has been uninstalled.\n\nSolution\nReinstall "
    "Tallyworks and then install the update.\n\n",
    "Problem\nError %d. Another program is currently being updated.\n\nSolution\nComplete the current update and "
    "then update Tallyworks. \n\n",
    "Problem\nError %d. There was an error starting the update installer.\n\nSolution\nRestart your computer and "
    "then install the update. \n\n",
    "Problem\nError %d. There was an error opening the log file\n\nSolution\nVerify that the log can be written to "
    "and retry the update. \n\n",
    "Problem\nError %d. This language of this installation package is not supported by your system.\n\nSolution\n\n",
    "Problem\nError %d.  Permissions for this user/system will not allow the update installation.\n\nSolution\nAsk "
    "your system administrator to edit the Group or System Policy settings for this user/system. \n\n",
    "Problem\nError %d. The update installer has encountered an internal error.\n\nSolution\nRepair the "
    "Tallyworks installation and then reset the update.  \n",
    "Problem\nError %d. The Temp folder is either full or inaccessible.\n\nSolution\nVerify your temp folder "
    "permissions and use disk cleanup to remove unneeded files.  \nSee the Windows Help for more information.\n\n",
    "Problem\nError %d. Another version of Tallyworks is already installed. Installation of this version cannot "
    "continue.\n\nSolution\nRepair the Tallyworks installation. \n",
    "The update installer has initiated a system restart.\n",
    "Problem\nError %d. The update installer could not open a patch file.\n\nSolution\nRepair the Tallyworks "
    "installation. \n",
    "A restart is required to complete the install. \n",
};

struct RowCase {
    uint32_t code;
    int userText;  // index into kUserTexts
    bool tail;
    const char* logText;
};

const char kPatchNotOpened[] =
    "This patch package could not be opened. Verify that the patch package exists and is accessible, or contact "
    "the application vendor to verify that this is a valid Windows Installer patch package. ";

const RowCase kRowCases[] = {
    {13, 1, true, " The data is invalid."},
    {120, 2, true,
     "This function is not available for this platform. It is only available on Windows 2000 and Windows XP with "
     "Window Installer version 2.0.."},
    {1259, 2, true,
     "This error code only occurs when using Windows Installer version 2.0 and Windows XP. If Windows Installer "
     "determines a product may be incompatible with the current operating system, it displays a dialog box "
     "informing the user and asking whether to try to install anyway. This error code is returned if the user "
     "chooses not to try the installation. "},
    {1602, 3, false, "The user cancels installation"},
    {1603, 4, true, "A fatal error occurred during installation."},
    {1607, 4, true, "The component identifier is not registered."},
    {1608, 4, true, "This is an unknown property."},
    {1612, 5, true,
     "The installation source for this product is not available. Verify that the source exists and that you can "
     "access it. "},
    {1613, 2, true,
     "This installation package cannot be installed by the Windows Installer service. You must install a Windows "
     "service pack that contains a newer version of the Windows Installer service. "},
    {1614, 6, false, "The product is uninstalled."},
    {1618, 7, false,
     "Another installation is already in progress. Complete that installation before proceeding with this "
     "install. "},
    {1619, 5, true,
     "This installation package could not be opened. Verify that the package exists and is accessible, or contact "
     "the application vendor to verify that this is a valid Windows Installer package. "},
    {1620, 5, true,
     "This installation package could not be opened. Contact the application vendor to verify that this is a "
     "valid Windows Installer package."},
    {1621, 8, false,
     "There was an error starting the Windows Installer service user interface. Contact your support personnel. "},
    {1622, 9, false,
     "There was an error opening installation log file. Verify that the specified log file location exists and is "
     "writable."},
    {1623, 10, false, "This language of this installation package is not supported by your system."},
    {1624, 4, true, "There was an error applying transforms. Verify that the specified transform paths are valid. "},
    {1625, 11, false, "This installation is forbidden by system policy. Contact your system administrator."},
    {1631, 12, true, "The Windows Installer service failed to start. Contact your support personnel. "},
    {1632, 13, false,
     "The Temp folder is either full or inaccessible. Verify that the Temp folder exists and that you can write "
     "to it."},
    {1633, 5, true, "This installation package is not supported on this platform. Contact your application vendor. "},
    {1634, 12, true, "Component is not used on this machine."},
    {1635, 5, true, kPatchNotOpened},
    {1636, 5, true, kPatchNotOpened},
    {1637, 2, true,
     "This patch package cannot be processed by the Windows Installer service. You must install a Windows service "
     "pack that contains a newer version of the Windows Installer service."},
    {1638, 14, true,
     "Another version of this product is already installed. Installation of this version cannot continue. To "
     "configure or remove the existing version of this product, use Add/Remove Programs in Control Panel. "},
    {1639, 5, true,
     "Invalid command line argument. Consult the Windows Installer SDK for detailed command-line help. "},
    {1641, 15, false, "The installer has initiated a restart. "},
    {1642, 16, true,
     "The installer cannot install the upgrade patch because the program being upgraded may be missing or the "
     "upgrade patch updates a different version of the program. Verify that the program to be upgraded exists on "
     "your computer and that you have the correct upgrade patch."},
    {1643, 11, false, "The patch package is not permitted by system policy. "},
    {1644, 11, false, "One or more customizations are not permitted by system policy. "},
    {3010, 17, false, "A restart is required to complete the install. "},
};

std::string Expected(const RowCase& c) {
    std::string text = tw::FormatString(kUserTexts[c.userText], static_cast<int>(c.code));
    if (c.tail) text += kTail;
    return text;
}

class ResultRowTest : public ::testing::TestWithParam<RowCase> {};

TEST_P(ResultRowTest, RowCarriesItsTexts) {
    const RowCase& c = GetParam();
    const CMsiResultTable::Row* row = CMsiResultTable::Find(c.code);
    ASSERT_NE(nullptr, row);
    EXPECT_EQ(c.code, row->code);
    EXPECT_STREQ(c.logText, row->logText);
    EXPECT_EQ(c.tail, row->supportTail);
    EXPECT_EQ(Expected(c), CMsiResultTable::UserText(*row, c.code));
}

INSTANTIATE_TEST_SUITE_P(AllRows, ResultRowTest, ::testing::ValuesIn(kRowCases),
                         [](const ::testing::TestParamInfo<RowCase>& row) {
                             return "Code" + std::to_string(row.param.code);
                         });

TEST(MsiResultTable, HasThirtyTwoRowsInOrderOneEach) {
    size_t count = 0;
    const CMsiResultTable::Row* rows = CMsiResultTable::Rows(&count);
    ASSERT_EQ(32u, count);
    ASSERT_EQ(sizeof(kRowCases) / sizeof(kRowCases[0]), count);
    std::set<uint32_t> codes;
    for (size_t i = 0; i < count; ++i) {
        EXPECT_EQ(kRowCases[i].code, rows[i].code);
        codes.insert(rows[i].code);
    }
    EXPECT_EQ(32u, codes.size());
}

TEST(MsiResultTable, TextsOfTheEdgeCodes) {
    auto text = [](uint32_t code) { return CMsiResultTable::UserText(*CMsiResultTable::Find(code), code); };
    EXPECT_EQ("The update has been canceled.  \n", text(1602));  // no number
    EXPECT_EQ(0u, text(1603).find("Problem\nError 1603. The update installer has encountered an internal error."));
    EXPECT_NE(std::string::npos, text(1603).find(kTail));
    for (uint32_t code : {1625u, 1643u, 1644u}) {
        const std::string t = text(code);
        EXPECT_EQ(0u, t.find("Problem\nError " + std::to_string(code) + ".  Permissions")) << t;
        EXPECT_EQ(std::string::npos, t.find("For detailed solution steps")) << t;
    }
    EXPECT_EQ(nullptr, CMsiResultTable::Find(0));
    EXPECT_EQ(nullptr, CMsiResultTable::Find(1601));
}

// The apply call with Windows Installer's answer scripted: exit code, error text, log lines.
class ApplyCallTest : public ::testing::Test {
protected:
    void SetUp() override {
        tw::StatusLogMgr::RenameLogFile(logDir.Path().c_str());
        tw::Platform().Msi.ApplyMultiplePatches = [this](LPCSTR packages, LPCSTR productCode, LPCSTR properties) {
            seenPackages = packages ? packages : "";
            seenProductCode = productCode ? productCode : "";
            seenProperties = properties ? properties : "";
            return answer;
        };
    }

    bool Apply(UINT code, UINT* result) {
        answer = code;
        std::memset(errorText, 'x', sizeof(errorText));
        return tw::CMsiInterface::Instance().ApplyMultiplePatches("a.msp;b.msp", "{PC}", "PARENTAPP=TWPatch", errorText,
                                                                  result);
    }
    std::string Log() const { return twtest::ReadTextFile(logDir / "Patchlog.txt"); }

    twtest::SeamGuard seams;
    twtest::TempDir logDir{"applylog"};
    UINT answer = 0;
    std::string seenPackages, seenProductCode, seenProperties;
    char errorText[tw::CMsiInterface::kErrorTextSize];
};

TEST_F(ApplyCallTest, SuccessCodesAnswerTrue) {
    for (UINT code : {0u, 3010u}) {
        UINT result = 12345;
        EXPECT_TRUE(Apply(code, &result));
        EXPECT_EQ(code, result);
        EXPECT_EQ(static_cast<int32_t>(code), tw::CRunState::Get().exitCode);
        EXPECT_STREQ("", errorText);
    }
    EXPECT_EQ("a.msp;b.msp", seenPackages);
    EXPECT_EQ("{PC}", seenProductCode);
    EXPECT_EQ("PARENTAPP=TWPatch", seenProperties);
    const std::string log = Log();
    EXPECT_NE(std::string::npos, log.find("MsiApplyMultiplePatches:cmdline PARENTAPP=TWPatch\r\n"));
    EXPECT_NE(std::string::npos, log.find("MsiApplyMultiplePatches: return code = 0\r\n"));
    EXPECT_NE(std::string::npos, log.find("MsiApplyMultiplePatches: return code = 3010\r\n"));
    EXPECT_EQ(std::string::npos, log.find("Error Code"));
}

TEST_F(ApplyCallTest, KnownFailureGivesTheTableTexts) {
    UINT result = 0;
    EXPECT_FALSE(Apply(1603, &result));
    EXPECT_EQ(1603u, result);
    EXPECT_EQ(1603, tw::CRunState::Get().exitCode);
    EXPECT_EQ(CMsiResultTable::UserText(*CMsiResultTable::Find(1603), 1603), errorText);
    EXPECT_NE(std::string::npos, Log().find("Error Code = 1603, A fatal error occurred during installation.\r\n"));

    EXPECT_FALSE(Apply(1602, &result));
    EXPECT_STREQ("The update has been canceled.  \n", errorText);
}

TEST_F(ApplyCallTest, UnknownFailureGivesTheGenericTexts) {
    UINT result = 0;
    EXPECT_FALSE(Apply(1601, &result));
    EXPECT_STREQ("Unknown error , Error Code = 1601", errorText);
    EXPECT_NE(std::string::npos,
              Log().find("In CPatchInstallerBase::DoProgramPatches, Unknown return code , retcode=1601.\r\n"));
}

TEST_F(ApplyCallTest, NullPropertiesAreNotLogged) {
    answer = 0;
    UINT result = 1;
    EXPECT_TRUE(tw::CMsiInterface::Instance().ApplyMultiplePatches("a.msp", "{PC}", nullptr, errorText, &result));
    EXPECT_EQ(std::string::npos, Log().find("cmdline"));
}

TEST_F(ApplyCallTest, LogSwitchUsesTheFixedModeAndFile) {
    DWORD mode = 0, attributes = 99;
    std::string file;
    UINT answerLog = ERROR_SUCCESS;
    tw::Platform().Msi.EnableLog = [&](DWORD m, LPCSTR f, DWORD a) {
        mode = m;
        file = f ? f : "";
        attributes = a;
        return answerLog;
    };
    tw::CRunState::Get().installerDir = "C:\\upd";
    tw::CMsiInterface::Instance().EnableLog(7);
    EXPECT_EQ(0x1FDFu, mode);
    EXPECT_EQ("C:\\upd\\MsiPatchlog.txt", file);
    EXPECT_EQ(0u, attributes);
    EXPECT_EQ(std::string::npos, Log().find("MsiEnableLog returned"));
    answerLog = ERROR_INVALID_PARAMETER;
    tw::CMsiInterface::Instance().EnableLog(0);
    EXPECT_NE(std::string::npos, Log().find("MsiEnableLog returned 87\r\n"));
}

}  // namespace
