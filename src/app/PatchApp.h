#pragma once
// One run of the update installer from process start to exit: chooses the variant, opens
// the logs, checks disk space, runs the installer, pumps messages, offers a restart and
// returns the run's exit code.

#include <windows.h>

namespace tw {

class CPatchInstallerBase;
class CMainWnd;

class CPatchApp {
public:
    static int Run(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);

    // The process-wide installer and main window (null before the first run).
    static CPatchInstallerBase* Installer();
    static CMainWnd* MainWindow();

    // Destroys the process-wide objects so that a test can start another run.
    static void ResetForTesting();
    // Seats objects a test prepared; the next run uses them instead of creating its own.
    static void AdoptForTesting(CPatchInstallerBase* installer, CMainWnd* mainWindow);
};

}  // namespace tw
