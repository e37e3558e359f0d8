#include "app/MsiResultTable.h"

#include "common/ProductConstants.h"
#include "common/TextUtil.h"

namespace tw {
namespace {

// The user texts; those beginning with "Problem" are formats with the result code.
constexpr const char kOpenUpdateFile[] =
    "Problem\nError %d. The update installer could not open an update file.\n\nSolution\nReset the update. \n";
constexpr const char kObsoleteInstaller[] =
    "Problem\nError %d. The update installer has detected an obsolete version of the installer.\n\n"
    "Solution\nRepair the Tallyworks installation. \n";
constexpr const char kCanceled[] = "The update has been canceled.  \n";
constexpr const char kInternalError[] =
    "Problem\nError %d. The update installer has encountered an internal error.\n\n"
    "Solution\nRepair the Tallyworks installation. \n";
constexpr const char kNotAccessible[] =
    "Problem\nError %d. The update installer is not accessible.\n\nSolution\nReset the update. \n";
constexpr const char kUninstalled[] =
    "Problem\nError %d. The version of Tallyworks you are updating has been uninstalled.\n\n"
    "Solution\nReinstall Tallyworks and then install the update.\n\n";
constexpr const char kAnotherUpdate[] =
    "Problem\nError %d. Another program is currently being updated.\n\n"
    "Solution\nComplete the current update and then update Tallyworks. \n\n";
constexpr const char kStartError[] =
    "Problem\nError %d. There was an error starting the update installer.\n\n"
    "Solution\nRestart your computer and then install the update. \n\n";
constexpr const char kLogFileError[] =
    "Problem\nError %d. There was an error opening the log file\n\n"
    "Solution\nVerify that the log can be written to and retry the update. \n\n";
constexpr const char kLanguage[] =
    "Problem\nError %d. This language of this installation package is not supported by your system.\n\n"
    "Solution\n\n";
constexpr const char kPolicy[] =
    "Problem\nError %d.  Permissions for this user/system will not allow the update installation.\n\n"
    "Solution\nAsk your system administrator to edit the Group or System Policy settings for this "
    "user/system. \n\n";
constexpr const char kInternalErrorReset[] =
    "Problem\nError %d. The update installer has encountered an internal error.\n\n"
    "Solution\nRepair the Tallyworks installation and then reset the update.  \n";
constexpr const char kTempFolder[] =
    "Problem\nError %d. The Temp folder is either full or inaccessible.\n\n"
    "Solution\nVerify your temp folder permissions and use disk cleanup to remove unneeded files.  \n"
    "See the Windows Help for more information.\n\n";
constexpr const char kOtherVersion[] =
    "Problem\nError %d. Another version of Tallyworks is already installed. Installation of this version "
    "cannot continue.\n\nSolution\nRepair the Tallyworks installation. \n";
constexpr const char kRestartInitiated[] = "The update installer has initiated a system restart.\n";
constexpr const char kOpenPatchFile[] =
    "Problem\nError %d. The update installer could not open a patch file.\n\n"
    "Solution\nRepair the Tallyworks installation. \n";
constexpr const char kRestartRequired[] = "A restart is required to complete the install. \n";

constexpr const char kSupportTailHead[] =
    "For detailed solution steps, write down the error number and then type the following into a Web "
    "browser:\n\n";
constexpr const char kSupportTailEnd[] = "\n\n";

constexpr const char kPatchNotOpened[] =
    "This patch package could not be opened. Verify that the patch package exists and is accessible, or "
    "contact the application vendor to verify that this is a valid Windows Installer patch package. ";

const CMsiResultTable::Row kRows[] = {
    {13, " The data is invalid.", kOpenUpdateFile, true},
    {120,
     "This function is not available for this platform. It is only available on Windows 2000 and Windows XP "
     "with Window Installer version 2.0..",
     kObsoleteInstaller, true},
    {1259,
     "This error code only occurs when using Windows Installer version 2.0 and Windows XP. If Windows "
     "Installer determines a product may be incompatible with the current operating system, it displays a "
     "dialog box informing the user and asking whether to try to install anyway. This error code is returned "
     "if the user chooses not to try the installation. ",
     kObsoleteInstaller, true},
    {1602, "The user cancels installation", kCanceled, false},
    {1603, "A fatal error occurred during installation.", kInternalError, true},
    {1607, "The component identifier is not registered.", kInternalError, true},
    {1608, "This is an unknown property.", kInternalError, true},
    {1612,
     "The installation source for this product is not available. Verify that the source exists and that you "
     "can access it. ",
     kNotAccessible, true},
    {1613,
     "This installation package cannot be installed by the Windows Installer service. You must install a "
     "Windows service pack that contains a newer version of the Windows Installer service. ",
     kObsoleteInstaller, true},
    {1614, "The product is uninstalled.", kUninstalled, false},
    {1618,
     "Another installation is already in progress. Complete that installation before proceeding with this "
     "install. ",
     kAnotherUpdate, false},
    {1619,
     "This installation package could not be opened. Verify that the package exists and is accessible, or "
     "contact the application vendor to verify that this is a valid Windows Installer package. ",
     kNotAccessible, true},
    {1620,
     "This installation package could not be opened. Contact the application vendor to verify that this is a "
     "valid Windows Installer package.",
     kNotAccessible, true},
    {1621,
     "There was an error starting the Windows Installer service user interface. Contact your support "
     "personnel. ",
     kStartError, false},
    {1622,
     "There was an error opening installation log file. Verify that the specified log file location exists "
     "and is writable.",
     kLogFileError, false},
    {1623, "This language of this installation package is not supported by your system.", kLanguage, false},
    {1624, "There was an error applying transforms. Verify that the specified transform paths are valid. ",
     kInternalError, true},
    {1625, "This installation is forbidden by system policy. Contact your system administrator.", kPolicy, false},
    {1631, "The Windows Installer service failed to start. Contact your support personnel. ", kInternalErrorReset,
     true},
    {1632,
     "The Temp folder is either full or inaccessible. Verify that the Temp folder exists and that you can "
     "write to it.",
     kTempFolder, false},
    {1633, "This installation package is not supported on this platform. Contact your application vendor. ",
     kNotAccessible, true},
    {1634, "Component is not used on this machine.", kInternalErrorReset, true},
    {1635, kPatchNotOpened, kNotAccessible, true},
    {1636, kPatchNotOpened, kNotAccessible, true},
    {1637,
     "This patch package cannot be processed by the Windows Installer service. You must install a Windows "
     "service pack that contains a newer version of the Windows Installer service.",
     kObsoleteInstaller, true},
    {1638,
     "Another version of this product is already installed. Installation of this version cannot continue. To "
     "configure or remove the existing version of this product, use Add/Remove Programs in Control Panel. ",
     kOtherVersion, true},
    {1639, "Invalid command line argument. Consult the Windows Installer SDK for detailed command-line help. ",
     kNotAccessible, true},
    {1641, "The installer has initiated a restart. ", kRestartInitiated, false},
    {1642,
     "The installer cannot install the upgrade patch because the program being upgraded may be missing or "
     "the upgrade patch updates a different version of the program. Verify that the program to be upgraded "
     "exists on your computer and that you have the correct upgrade patch.",
     kOpenPatchFile, true},
    {1643, "The patch package is not permitted by system policy. ", kPolicy, false},
    {1644, "One or more customizations are not permitted by system policy. ", kPolicy, false},
    {3010, "A restart is required to complete the install. ", kRestartRequired, false},
};

constexpr size_t kRowCount = sizeof(kRows) / sizeof(kRows[0]);
static_assert(kRowCount == 32, "the result table has 32 rows");

}  // namespace

const CMsiResultTable::Row* CMsiResultTable::Find(uint32_t code) {
    for (const Row& row : kRows) {
        if (row.code == code) return &row;
    }
    return nullptr;
}

const CMsiResultTable::Row* CMsiResultTable::Rows(size_t* count) {
    if (count) *count = kRowCount;
    return kRows;
}

std::string CMsiResultTable::UserText(const Row& row, uint32_t code) {
    std::string format = row.userText ? row.userText : "";
    if (row.supportTail) {
        format += kSupportTailHead;
        format += product::kSupportPageUrl;
        format += kSupportTailEnd;
    }
    // The texts are the table's own constants; the support address carries no '%'.
    return FormatString(format.c_str(), static_cast<int>(code));
}

}  // namespace tw
