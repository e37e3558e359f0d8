#pragma once
// Main window of the web variant: fixed size, centred on the screen.

#include "common/Handles.h"
#include "ui/MainWnd.h"

namespace tw {

class CWebPatchWnd : public CMainWnd {
public:
    static constexpr int kWidth = 426;
    static constexpr int kHeight = 287;

    CWebPatchWnd();
    ~CWebPatchWnd() override;
    void PaintBackground(HDC dc) override;
    HWND CreateMainWindow() override;

private:
    GdiObject m_greenBrush;
};

}  // namespace tw
