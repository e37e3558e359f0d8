#pragma once
// The process-wide Windows Installer interface object: switches Windows Installer's own
// user interface off, routes its messages to one observer (the installer) and applies the
// patch packages. The user interface is switched before the first apply call.

#include <windows.h>
#include <msi.h>

#include <cstddef>

namespace tw {

class MSIObserver;

class CMsiInterface {
public:
    static constexpr size_t kErrorTextSize = 516;
    static constexpr UINT kInternalUiLevel = INSTALLUILEVEL_NONE | INSTALLUILEVEL_SOURCERESONLY;  // 0x102
    static constexpr DWORD kMessageFilter = 0x7FDF;  // every kind but files-in-use
    static constexpr DWORD kLogMode = 0x1FDF;

    // The process-wide object, created on the first request.
    static CMsiInterface& Instance();
    // The process-wide object if it has been created, else null (never creates it).
    static CMsiInterface* Existing();
    // Destroys the process-wide object, reinstating the previous UI level and handler.
    static void DestroyInstance();

    // Registers the one observer; a second registration is refused (false).
    bool RegisterObserver(MSIObserver* observer);
    // Forgets the observer if it is the registered one.
    void UnregisterObserver(MSIObserver* observer);
    MSIObserver* GetObserver() const { return m_observer; }

    // Applies the patch packages in one call. Sets the run's exit code to Windows
    // Installer's result, fills errorText (kErrorTextSize bytes) for a failure and returns
    // true for 0 and 3010.
    bool ApplyMultiplePatches(const char* patchList, const char* productCode, const char* properties, char* errorText,
                              UINT* result);

    // Enables the Windows Installer log "<installer dir>\MsiPatchlog.txt" (mode 0x1FDF).
    void EnableLog(int logMode);

private:
    CMsiInterface();
    ~CMsiInterface();
    CMsiInterface(const CMsiInterface&) = delete;
    CMsiInterface& operator=(const CMsiInterface&) = delete;

public:
    // The handler given to Windows Installer; the context is the object itself.
    static int WINAPI ExternalUiHandler(LPVOID context, UINT messageType, LPCSTR message);

private:
    void InstallUserInterface();

    MSIObserver* m_observer = nullptr;
    bool m_userInterfaceInstalled = false;
    INSTALLUILEVEL m_previousLevel = INSTALLUILEVEL_NOCHANGE;
    INSTALLUI_HANDLERA m_previousHandler = nullptr;
};

}  // namespace tw
