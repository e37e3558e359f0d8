#include "ui/WebPatchWnd.h"

namespace tw {

CWebPatchWnd::CWebPatchWnd() : m_greenBrush(::CreateSolidBrush(0x008000)) {}

CWebPatchWnd::~CWebPatchWnd() {
    if (m_greenBrush) ::DeleteObject(m_greenBrush);
}

void CWebPatchWnd::PaintBackground(HDC dc) { PaintBitmap(dc, "BACKGROUNDBMP1"); }

HWND CWebPatchWnd::CreateMainWindow() {
    int x = ::GetSystemMetrics(SM_CXSCREEN) / 2 - 213;
    int y = ::GetSystemMetrics(SM_CYSCREEN) / 2 - 143;
    return CreateWithStyle(WS_CAPTION, x, y, kWidth, kHeight);
}

}  // namespace tw
