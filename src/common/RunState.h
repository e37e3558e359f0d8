#pragma once
// Process-wide state of one run: the installer kind, the exit code, the product paths and
// the flags that several parts of the program read and set.

#include <cstdint>
#include <string>

namespace tw {

enum class InstallerKind : int32_t { None = 0, Auto = 1, Web = 2 };

class CRunState {
public:
    static CRunState& Get();

    InstallerKind installerKind = InstallerKind::None;
    bool commandLineGiven = false;
    int32_t exitCode = 0;

    // The folder of this program (module path cut at its last backslash, no trailing one).
    std::string installerDir;
    // The product's executable; its folder is the product directory.
    std::string productExePath;
    // Path found through the alternate Windows Installer component (web variant).
    std::string alternatePath;
    // Set when the product was found through the alternate component: off-cycle files are
    // then neither saved nor restored.
    bool alternateComponent = false;

    // Outcome flags of the operating-system support gate.
    bool gateAllowedWithMessage = false;  // nudge: the update may go on after a warning
    bool gateDismissed = false;           // blocked: a non-warning dialog was dismissed
    bool gateUserClosed = false;          // the gate's dialog was closed through its frame
    bool offline = false;

    // Counts the presses of the wait dialog's Cancel: a transfer the main thread is waiting
    // for when it changes ends as a failure (later transfers are not affected).
    uint32_t cancelPresses = 0;

    // The product executable path cut before its last backslash; empty when unknown.
    std::string ProductDir() const;
};

}  // namespace tw
