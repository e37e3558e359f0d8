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

}  // namespace texts
}  // namespace tw
