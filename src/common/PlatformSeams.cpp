#include "common/PlatformSeams.h"

#include "common/Handles.h"
#include "common/ProcessState.h"

namespace tw {
namespace {

// The free-space query looks GetDiskFreeSpaceExA up at run time and falls back to the
// cluster arithmetic of GetDiskFreeSpaceA where it is missing.
bool QueryFreeDiskSpace(const char* root, unsigned long long* freeBytes) {
    *freeBytes = 0;
    Library kernel(::LoadLibraryA("KERNEL32.DLL"));
    using GetDiskFreeSpaceExFn = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
    GetDiskFreeSpaceExFn getFreeEx = nullptr;
    if (kernel) {
        getFreeEx = reinterpret_cast<GetDiskFreeSpaceExFn>(
            reinterpret_cast<void*>(::GetProcAddress(kernel.Get(), "GetDiskFreeSpaceExA")));
    }
    if (getFreeEx) {
        ULARGE_INTEGER available{}, total{}, totalFree{};
        if (!getFreeEx(root, &available, &total, &totalFree)) return false;
        *freeBytes = available.QuadPart;
        return true;
    }
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (!::GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters)) return false;
    *freeBytes = static_cast<unsigned long long>(sectorsPerCluster) * bytesPerSector * freeClusters;
    return true;
}

PlatformSeams MakeRealSeams() {
    PlatformSeams s;
    s.ShowMessageBox = [](HWND owner, LPCSTR text, LPCSTR title, UINT type, WORD language) {
        return ::MessageBoxExA(owner, text, title, type, language);
    };
    s.ShowDialog = [](HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC proc, LPARAM param) {
        return ::DialogBoxParamA(instance, name, owner, proc, param);
    };
    s.ExitWindowsEx = [](UINT flags, DWORD reason) { return ::ExitWindowsEx(flags, reason); };
    s.OpenProcessToken = [](HANDLE process, DWORD access, PHANDLE token) {
        return ::OpenProcessToken(process, access, token);
    };
    s.AdjustTokenPrivileges = [](HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES state, DWORD length,
                                 PTOKEN_PRIVILEGES previous, PDWORD returnLength) {
        return ::AdjustTokenPrivileges(token, disableAll, state, length, previous, returnLength);
    };
    s.Sleep = [](DWORD ms) { ::Sleep(ms); };
    s.Time64 = []() { return _time64(nullptr); };
    s.FreeDiskSpace = QueryFreeDiskSpace;

    s.Msi.SetInternalUI = [](INSTALLUILEVEL level, HWND* window) { return ::MsiSetInternalUI(level, window); };
    s.Msi.SetExternalUI = [](INSTALLUI_HANDLERA handler, DWORD filter, LPVOID context) {
        return ::MsiSetExternalUIA(handler, filter, context);
    };
    s.Msi.EnableLog = [](DWORD mode, LPCSTR file, DWORD attributes) { return ::MsiEnableLogA(mode, file, attributes); };
    s.Msi.ApplyMultiplePatches = [](LPCSTR packages, LPCSTR productCode, LPCSTR properties) {
        return ::MsiApplyMultiplePatchesA(packages, productCode, properties);
    };
    s.Msi.QueryProductState = [](LPCSTR productCode) { return ::MsiQueryProductStateA(productCode); };
    s.Msi.GetProductInfo = [](LPCSTR productCode, LPCSTR attribute, LPSTR buffer, LPDWORD size) {
        return ::MsiGetProductInfoA(productCode, attribute, buffer, size);
    };
    s.Msi.GetComponentPath = [](LPCSTR productCode, LPCSTR component, LPSTR buffer, LPDWORD size) {
        return ::MsiGetComponentPathA(productCode, component, buffer, size);
    };
    return s;
}

}  // namespace

PlatformSeams& Platform() {
    static PlatformSeams seams = MakeRealSeams();
    return seams;
}

namespace {
[[maybe_unused]] const bool g_resetRegistered =
    RegisterProcessStateReset(ProcessLayer::Common, [] { Platform() = MakeRealSeams(); });
}  // namespace

}  // namespace tw
