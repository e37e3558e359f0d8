#include "ui/OSSupportDialog.h"

#include "common/PlatformSeams.h"
#include "common/Resource.h"
#include "common/RunState.h"
#include "common/StringTable.h"
#include "common/TextUtil.h"
#include "logging/CallbackGuard.h"
#include "logging/OSSupportMessage.h"
#include "logging/StatusLogMgr.h"

namespace tw {
namespace {

const int kTextControls[COSSupportDialog::kTextCount] = {IDC_OSS_HEADING, IDC_OSS_TEXT1, IDC_OSS_TEXT2,
                                                         IDC_OSS_TEXT3, IDC_OSS_TEXT4};

}  // namespace

COSSupportDialog::COSSupportDialog() : m_nudge(CRunState::Get().gateAllowedWithMessage) {
    const COSSupportMessage& message = COSSupportMessage::Get();
    for (size_t i = 0; i < kTextCount; ++i) SafeCopy(m_texts[i], kTextSize, message.Text(i).c_str());
}

INT_PTR COSSupportDialog::Show(HWND owner) {
    const INT_PTR result = Platform().ShowDialog(ResourceModule(), MAKEINTRESOURCEA(IDD_OS_SUPPORT), owner,
                                                 DialogProc, reinterpret_cast<LPARAM>(this));
    if (result == kResultButton || result == kResultClosed) {
        RecordOutcome(result, m_nudge);
        return result;
    }
    LogStatusF("In COSSupportDialog::Show, the message could not be shown (result %lld, error %lu).",
               static_cast<long long>(result), ::GetLastError());
    return -1;
}

void COSSupportDialog::RecordOutcome(INT_PTR result, bool nudge) {
    CRunState& state = CRunState::Get();
    if (result == kResultClosed) state.gateUserClosed = true;
    if (!nudge && (result == kResultClosed || result == kResultButton)) state.gateDismissed = true;
}

INT_PTR CALLBACK COSSupportDialog::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return GuardCallback("COSSupportDialog::DialogProc", static_cast<INT_PTR>(FALSE), [&]() -> INT_PTR {
        if (message == WM_INITDIALOG) ::SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        auto* self = reinterpret_cast<COSSupportDialog*>(::GetWindowLongPtrA(dialog, DWLP_USER));
        if (!self) return FALSE;
        return self->OnMessage(dialog, message, wParam, lParam);
    });
}

void COSSupportDialog::OnInit(HWND dialog) {
    ::SetWindowTextA(dialog, Title());
    ::SetDlgItemTextA(dialog, IDC_OSS_BUTTON, ButtonText());
    for (size_t i = 0; i < kTextCount; ++i) ::SetDlgItemTextA(dialog, kTextControls[i], m_texts[i]);
    ::SetDlgItemTextA(dialog, IDC_OSS_EMPTY, "");
    if (!m_background) m_background.Reset(::CreateSolidBrush(kBackground));

    // The heading and text 1 in a bold version of the dialog's font.
    HFONT font = reinterpret_cast<HFONT>(::SendMessageA(dialog, WM_GETFONT, 0, 0));
    LOGFONTA logFont = {};
    if (font && ::GetObjectA(font, sizeof(logFont), &logFont) == sizeof(logFont)) {
        logFont.lfWeight = FW_BOLD;
        m_boldFont.Reset(::CreateFontIndirectA(&logFont));
    }
    if (m_boldFont) {
        ::SendDlgItemMessageA(dialog, IDC_OSS_HEADING, WM_SETFONT, reinterpret_cast<WPARAM>(m_boldFont.Get()), TRUE);
        ::SendDlgItemMessageA(dialog, IDC_OSS_TEXT1, WM_SETFONT, reinterpret_cast<WPARAM>(m_boldFont.Get()), TRUE);
    }
}

INT_PTR COSSupportDialog::OnMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
        case WM_INITDIALOG:
            OnInit(dialog);
            return TRUE;
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
            ::SetBkColor(reinterpret_cast<HDC>(wParam), kBackground);
            return reinterpret_cast<INT_PTR>(m_background.Get());
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_OSS_BUTTON || LOWORD(wParam) == IDOK) {
                ::EndDialog(dialog, kResultButton);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {  // Escape, like closing the window
                ::EndDialog(dialog, kResultClosed);
                return TRUE;
            }
            return FALSE;
        case WM_CLOSE:
            ::EndDialog(dialog, kResultClosed);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace tw
