#include "ui/AutoPatchWnd.h"

#include "common/Handles.h"

namespace tw {

CAutoPatchWnd::~CAutoPatchWnd() = default;

void CAutoPatchWnd::PaintBackground(HDC dc) { PaintBitmap(dc, "BACKGROUNDBMP"); }

HWND CAutoPatchWnd::CreateMainWindow() {
    int width = kDefaultWidth;
    int height = kDefaultHeight;
    GdiObject bitmap(::LoadBitmapA(m_instance, "BACKGROUNDBMP"));
    BITMAP info = {};
    if (bitmap && ::GetObjectA(bitmap.Get(), sizeof(info), &info)) {
        width = info.bmWidth;
        height = info.bmHeight;
    }
    return CreateWithStyle(WS_CAPTION | WS_THICKFRAME, 100, 100, width, height);
}

}  // namespace tw
