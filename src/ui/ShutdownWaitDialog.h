#pragma once
// The modal dialog shown while the installer waits for the product to close: it looks
// again every 200 ms and ends by itself once the product is gone; every few seconds it
// asks the product's companions to close once more. Cancel (or OK, or closing it) gives up.

#include <windows.h>

#include <functional>

#include "common/Handles.h"

namespace tw {

class CShutdownWaitDialog {
public:
    static constexpr UINT kTimerId = 1;
    static constexpr UINT kTimerMs = 200;
    static constexpr int kFirstCountdown = 20;  // ticks before the first closing again
    static constexpr int kNextCountdown = 10;   // ticks between later closings
    static constexpr COLORREF kBackground = 0xC0C0C0;

    // isRunning answers whether the product still runs; closeAuxiliary asks its
    // companions to close.
    CShutdownWaitDialog(std::function<bool()> isRunning, std::function<void()> closeAuxiliary);
    CShutdownWaitDialog(const CShutdownWaitDialog&) = delete;
    CShutdownWaitDialog& operator=(const CShutdownWaitDialog&) = delete;

    // Shows dialog 1001 modally (through the platform's dialog seam). Result: 1 when the
    // product closed, 0 when the user gave up (or the dialog could not be shown).
    INT_PTR Show(HWND owner);

    // One timer tick: true when the product is gone and the dialog must end.
    bool OnTick();
    int Countdown() const { return m_countdown; }

    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

private:
    INT_PTR OnMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    void End(HWND dialog, INT_PTR result);

    std::function<bool()> m_isRunning;
    std::function<void()> m_closeAuxiliary;
    int m_countdown = kFirstCountdown;
    GdiObject m_background;
};

}  // namespace tw
