// Baseline of a start without work: registers a window class, creates a window and exits.
#include <windows.h>

#include "common/BenchReport.h"

namespace {
LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcA(window, message, wParam, lParam);
}
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    twbench::CBenchReport report;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "TwBenchBareWindow";
    if (!::RegisterClassA(&windowClass)) return 1;
    HWND window = ::CreateWindowA("TwBenchBareWindow", "bare", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                  instance, nullptr);
    if (!window) return 1;
    ::DestroyWindow(window);
    report.Stop();
    report.Print();
    return 0;
}
