#pragma once
// Main window of the auto variant: sized to its background bitmap, with a thick frame.

#include "ui/MainWnd.h"

namespace tw {

class CAutoPatchWnd : public CMainWnd {
public:
    static constexpr int kDefaultWidth = 392;
    static constexpr int kDefaultHeight = 295;

    ~CAutoPatchWnd() override;
    void PaintBackground(HDC dc) override;
    HWND CreateMainWindow() override;
};

}  // namespace tw
