#pragma once
// One run of the update installer from process start to exit: chooses the variant, opens
// the logs, checks disk space, runs the installer, pumps messages, offers a restart and
// returns the run's exit code.

#include <windows.h>

#include <memory>

namespace tw {

class CPatchInstallerBase;
class CMainWnd;

class CPatchApp {
public:
    static int Run(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);

    // The process-wide installer and main window (null before the first run).
    static CPatchInstallerBase* Installer();
    static CMainWnd* MainWindow();

    // Seats the installer and window of the next run instead of the ones its variant's
    // factory would create (a host, or a test, that brings its own).
    static void Adopt(std::unique_ptr<CPatchInstallerBase> installer, std::unique_ptr<CMainWnd> mainWindow);
};

}  // namespace tw
