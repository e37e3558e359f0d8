#include "ui/MainWnd.h"

#include "logging/CallbackGuard.h"
#include "common/Handles.h"
#include "common/Resource.h"
#include "common/StringTable.h"

namespace tw {

namespace {

// The window class stays registered until the process ends, for every later window
// object too, and so does its background brush.
HBRUSH ClassBrush() {
    static const GdiObject brush(::CreateSolidBrush(::GetSysColor(COLOR_WINDOW)));
    return static_cast<HBRUSH>(brush.Get());
}

}  // namespace

CMainWnd::CMainWnd() = default;

CMainWnd::~CMainWnd() {
    if (m_hWnd && ::IsWindow(m_hWnd)) {
        ::SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, 0);
        ::DestroyWindow(m_hWnd);
    }
}

std::string CMainWnd::ClassName() const { return LoadResourceString(IDS_WINDOW_CLASS); }

ATOM CMainWnd::InitApplication(HINSTANCE instance) {
    m_instance = instance;
    std::string className = ClassName();

    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hIcon = ::LoadIconA(instance, MAKEINTRESOURCEA(IDI_TWPATCH));
    wc.hIconSm = wc.hIcon;
    wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = ClassBrush();
    wc.lpszClassName = className.c_str();
    ATOM atom = ::RegisterClassExA(&wc);
    // A class registered earlier in this process (a second window object) is still usable.
    if (!atom && ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS) {
        WNDCLASSEXA existing = {};
        existing.cbSize = sizeof(existing);
        atom = static_cast<ATOM>(::GetClassInfoExA(instance, className.c_str(), &existing));
    }
    return atom;
}

void CMainWnd::PaintBackground(HDC dc) { PaintBitmap(dc, "BACKGROUNDBMP"); }

HWND CMainWnd::CreateMainWindow() { return nullptr; }

void CMainWnd::SetVersion(const char* version) { m_version = version ? version : ""; }

std::string CMainWnd::WindowTitle() const {
    std::string title = LoadResourceString(IDS_APP_TITLE) + ",";
    if (!m_version.empty())
        title += "Version " + m_version;
    else
        title += LoadResourceString(IDS_DEFAULT_VERSION);
    return title;
}

void CMainWnd::PaintBitmap(HDC dc, const char* bitmapName) {
    GdiObject bitmap(::LoadBitmapA(m_instance, bitmapName));
    if (!bitmap) return;
    BITMAP info = {};
    ::GetObjectA(bitmap.Get(), sizeof(info), &info);
    MemoryDc memory(::CreateCompatibleDC(dc));
    if (!memory) return;
    SelectedObject selected(memory.Get(), bitmap.Get());
    ::BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, memory.Get(), 0, 0, SRCCOPY);
}

HWND CMainWnd::CreateWithStyle(DWORD style, int x, int y, int width, int height) {
    std::string className = ClassName();
    std::string title = WindowTitle();
    m_hWnd = ::CreateWindowExA(0, className.c_str(), title.c_str(), style, x, y, width, height, nullptr, nullptr,
                               m_instance, this);
    if (m_hWnd) {
        ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
        ::UpdateWindow(m_hWnd);
    }
    return m_hWnd;
}

// A failure while handling a message answers 0 (the message counts as handled).
LRESULT CALLBACK CMainWnd::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return GuardCallback("CMainWnd::WindowProc", static_cast<LRESULT>(0),
                         [&]() { return HandleMessage(hwnd, message, wParam, lParam); });
}

LRESULT CMainWnd::HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<CMainWnd*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));

    switch (message) {
        case WM_CREATE: {
            RECT client;
            ::GetClientRect(hwnd, &client);
            return 0;
        }
        case WM_PAINT: {
            // Painting ends even when drawing fails, or the window would be painted forever.
            PaintScope paint(hwnd);
            if (self) self->PaintBackground(paint.Dc());
            return 0;
        }
        case WM_CLOSE:
            ::DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            if (self && self->m_hWnd == hwnd) self->m_hWnd = nullptr;
            ::PostQuitMessage(0);
            return 0;
        case WM_SIZE:
        case WM_SETFOCUS:
        case WM_GETMINMAXINFO:
            return 0;
        default:
            return ::DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

}  // namespace tw
