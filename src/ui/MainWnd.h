#pragma once
// The run's main window: a plain top-level window with a background bitmap and the
// update's title. It owns the installer's dialogs and message boxes; destroying it ends
// the message loop.

#include <windows.h>

#include <string>

namespace tw {

class CMainWnd {
public:
    CMainWnd();
    virtual ~CMainWnd();                               // slot 0
    virtual ATOM InitApplication(HINSTANCE instance);  // slot 1
    virtual void PaintBackground(HDC dc);              // slot 2
    virtual HWND CreateMainWindow();                   // slot 3
    virtual void SetVersion(const char* version);      // slot 4

    HWND GetHwnd() const { return m_hWnd; }
    HINSTANCE GetInstance() const { return m_instance; }
    // "Tallyworks Update," then "Version <text>" or the default version string.
    std::string WindowTitle() const;
    std::string ClassName() const;

protected:
    // Copies the named bitmap resource unscaled to the origin of the context.
    void PaintBitmap(HDC dc, const char* bitmapName);
    HWND CreateWithStyle(DWORD style, int x, int y, int width, int height);

    HWND m_hWnd = nullptr;
    HINSTANCE m_instance = nullptr;
    std::string m_version;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
};

}  // namespace tw
