#include "ui/ShutdownWaitDialog.h"

#include <utility>

#include "logging/CallbackGuard.h"
#include "common/PlatformSeams.h"
#include "common/Resource.h"
#include "common/StringTable.h"

namespace tw {
namespace {

constexpr char kShutdownText[] =
    "To install the update, Tallyworks and its related applications must close. We'll try to do that for you, "
    "but you might have to reboot your computer to close everything.";

}  // namespace

CShutdownWaitDialog::CShutdownWaitDialog(std::function<bool()> isRunning, std::function<void()> closeAuxiliary)
    : m_isRunning(std::move(isRunning)), m_closeAuxiliary(std::move(closeAuxiliary)) {}

INT_PTR CShutdownWaitDialog::Show(HWND owner) {
    m_countdown = kFirstCountdown;
    INT_PTR result = Platform().ShowDialog(ResourceModule(), MAKEINTRESOURCEA(IDD_SHUTDOWN_WAIT), owner, DialogProc,
                                           reinterpret_cast<LPARAM>(this));
    // -1: the dialog could not be created; the wait then counts as given up.
    return result == -1 ? 0 : result;
}

bool CShutdownWaitDialog::OnTick() {
    if (!m_isRunning || !m_isRunning()) return true;
    if (--m_countdown <= 0) {
        m_countdown = kNextCountdown;
        if (m_closeAuxiliary) m_closeAuxiliary();
    }
    return false;
}

INT_PTR CALLBACK CShutdownWaitDialog::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return GuardCallback("CShutdownWaitDialog::DialogProc", static_cast<INT_PTR>(FALSE), [&]() -> INT_PTR {
        if (message == WM_INITDIALOG) ::SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        auto* self = reinterpret_cast<CShutdownWaitDialog*>(::GetWindowLongPtrA(dialog, DWLP_USER));
        if (!self) return FALSE;
        return self->OnMessage(dialog, message, wParam, lParam);
    });
}

void CShutdownWaitDialog::End(HWND dialog, INT_PTR result) {
    ::KillTimer(dialog, kTimerId);
    ::EndDialog(dialog, result);
}

INT_PTR CShutdownWaitDialog::OnMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
        case WM_INITDIALOG:
            ::SetDlgItemTextA(dialog, IDC_SHUTDOWN_TEXT, kShutdownText);
            if (!m_background) m_background.Reset(::CreateSolidBrush(kBackground));
            ::SetTimer(dialog, kTimerId, kTimerMs, nullptr);
            return TRUE;
        case WM_TIMER:
            if (wParam == kTimerId && OnTick()) End(dialog, 1);
            return TRUE;
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
            ::SetBkColor(reinterpret_cast<HDC>(wParam), kBackground);
            return reinterpret_cast<INT_PTR>(m_background.Get());
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK) {
                End(dialog, 0);
                return TRUE;
            }
            return FALSE;
        case WM_CLOSE:
            End(dialog, 0);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace tw
