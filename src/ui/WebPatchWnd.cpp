#include "ui/WebPatchWnd.h"

namespace tw {

CWebPatchWnd::CWebPatchWnd() : m_greenBrush(::CreateSolidBrush(0x008000)) {}

CWebPatchWnd::~CWebPatchWnd() = default;

void CWebPatchWnd::PaintBackground(HDC dc) { PaintBitmap(dc, "BACKGROUNDBMP1"); }

HWND CWebPatchWnd::CreateMainWindow() {
    int x = ::GetSystemMetrics(SM_CXSCREEN) / 2 - 213;
    int y = ::GetSystemMetrics(SM_CYSCREEN) / 2 - 143;
    // The confirmation dialog is a child of this window: clipping it out of the background
    // keeps the bitmap from being painted over the dialog.
    return CreateWithStyle(WS_CAPTION | WS_CLIPCHILDREN, x, y, kWidth, kHeight);
}

}  // namespace tw
