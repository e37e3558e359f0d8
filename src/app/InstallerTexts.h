#pragma once
// Fixed user-visible texts that more than one step of the installer shows.

namespace tw {
namespace texts {

constexpr char kProductMissing[] = "No version of Tallyworks was found to update.\nCanceling update.";
constexpr char kProductMissingTitle[] = "Tallyworks Update";
// Shown before Windows restarts for the run: after a failed off-cycle restore, and when
// Windows Installer announces a restart.
constexpr char kRestartForChanges[] =
    "You must restart your system for the configuration changes made to Tallyworks to take effect.Close all "
    "other applications and click OK to restart now.";

// The operating-system support gate's notice when Windows 7 (or a server of its family) has
// no connection to the maker's server.
constexpr char kOfflineHeading[] = "Please check your internet connection";
constexpr char kOfflineServer[] =
    "In order to update Tallyworks, you will need to connect you computer to the internet.";
constexpr char kOfflineWindows7[] =
    "Your computer is running on Windows 7 - In order to update Tallyworks, you will need to connect your "
    "computer to the internet.";
constexpr char kOfflineRelaunch[] =
    "Please check your internet connection and then relaunch Tallyworks update to complete the Tallyworks update "
    "process.";

}  // namespace texts
}  // namespace tw
