#pragma once
// The few platform effects that tests must be able to steer: answers of modal message
// boxes and dialogs, the reboot and its privilege steps, sleeps and the clock, free disk
// space, and the Windows Installer calls. Every member defaults to the real API; tests
// replace members, and the process-state reset (common/ProcessState.h) puts the real
// APIs back.

#include <windows.h>
#include <msi.h>
#include <ctime>
#include <functional>

namespace tw {

struct MsiApi {
    std::function<INSTALLUILEVEL(INSTALLUILEVEL level, HWND* window)> SetInternalUI;
    std::function<INSTALLUI_HANDLERA(INSTALLUI_HANDLERA handler, DWORD filter, LPVOID context)> SetExternalUI;
    std::function<UINT(DWORD mode, LPCSTR file, DWORD attributes)> EnableLog;
    std::function<UINT(LPCSTR packages, LPCSTR productCode, LPCSTR properties)> ApplyMultiplePatches;
    std::function<INSTALLSTATE(LPCSTR productCode)> QueryProductState;
    std::function<UINT(LPCSTR productCode, LPCSTR attribute, LPSTR buffer, LPDWORD size)> GetProductInfo;
    std::function<INSTALLSTATE(LPCSTR productCode, LPCSTR component, LPSTR buffer, LPDWORD size)> GetComponentPath;
};

struct PlatformSeams {
    // Modal user interaction. A message box is shown in the given language (0: the
    // user's default).
    std::function<int(HWND owner, LPCSTR text, LPCSTR title, UINT type, WORD language)> ShowMessageBox;
    std::function<INT_PTR(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM param)> ShowDialog;

    // Restart of Windows and the privilege steps before it.
    std::function<BOOL(UINT flags, DWORD reason)> ExitWindowsEx;
    std::function<BOOL(HANDLE process, DWORD access, PHANDLE token)> OpenProcessToken;
    std::function<BOOL(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES state, DWORD length, PTOKEN_PRIVILEGES previous,
                       PDWORD returnLength)>
        AdjustTokenPrivileges;

    // Sleeps and the clock.
    std::function<void(DWORD milliseconds)> Sleep;
    std::function<__time64_t()> Time64;

    // Bytes available to the caller on the drive whose root directory is given; false when
    // the query fails.
    std::function<bool(const char* root, unsigned long long* freeBytes)> FreeDiskSpace;

    MsiApi Msi;
};

// The process-wide seams, initialised with the real APIs on first use.
PlatformSeams& Platform();

}  // namespace tw
