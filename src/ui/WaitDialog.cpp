#include "ui/WaitDialog.h"

#include <commctrl.h>

#include <cstdio>
#include <exception>
#include <string>

#include "logging/CriticalFixesReset.h"
#include "logging/FolderFileDeleter.h"
#include "logging/CallbackGuard.h"
#include "common/Handles.h"
#include "common/RunState.h"
#include "common/TextUtil.h"
#include "logging/FailureReporter.h"
#include "logging/InstallTracker.h"
#include "logging/StatusLogMgr.h"
#include "common/Resource.h"
#include "common/StringTable.h"

namespace tw {
namespace {

constexpr const char kDefaultTitle[] = "Working";
constexpr const char kDefaultStatus[] = "Installing Tallyworks Update...";
constexpr int kTitleLength = 100;
constexpr int kStatusLength = 256;

const CFolderFileDeleter::Texts kDeleteFilesTexts = {
    "Patch: CWaitDialog::DeleteFiles, Directory does not exist.",
    "Patch: CWaitDialog::DeleteFiles, No files found in CriticalFixes folder.",
    "Patch: CWaitDialog::DeleteFiles Failed to delete the File : %s  with GetLastError : %d",
    "Patch: CWaitDialog::DeleteFiles, Got exception while deleting files from CriticalFixes folder.",
};

std::string LoadText(HINSTANCE instance, UINT id, int maxLength) {
    char buffer[kStatusLength + 1] = {};
    int length = ::LoadStringA(instance, id, buffer, maxLength + 1);
    return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

// Places the dialog's centre over the centre of the reference window (or the desktop).
void CentreDialog(HWND dialog, HWND owner) {
    HWND reference = owner;
    if (!reference || !::IsWindow(reference)) reference = ::GetParent(dialog);
    if (!reference) reference = ::GetDesktopWindow();
    RECT dialogRect{}, referenceRect{};
    ::GetWindowRect(dialog, &dialogRect);
    ::GetWindowRect(reference, &referenceRect);
    const int dialogWidth = dialogRect.right - dialogRect.left;
    const int dialogHeight = dialogRect.bottom - dialogRect.top;
    const int referenceWidth = referenceRect.right - referenceRect.left;
    const int referenceHeight = referenceRect.bottom - referenceRect.top;
    const int x = referenceRect.left + (referenceWidth - dialogWidth) / 2;
    const int y = referenceRect.top + (referenceHeight - dialogHeight) / 2;
    ::SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The object of a dialog, kept in the window from WM_INITDIALOG on; null once it is gone.
CWaitDialog* DialogObject(HWND dialog) {
    return reinterpret_cast<CWaitDialog*>(::GetWindowLongPtrA(dialog, DWLP_USER));
}

INT_PTR HandleWaitDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            ::SetWindowLongPtrA(dialog, DWLP_USER, lParam);
            CWaitDialog* object = reinterpret_cast<CWaitDialog*>(lParam);
            CentreDialog(dialog, object ? object->GetOwner() : nullptr);
            HWND cancel = ::GetDlgItem(dialog, IDCANCEL);
            if (reinterpret_cast<HWND>(wParam) != cancel) {
                ::SetFocus(cancel);
                return FALSE;
            }
            return TRUE;
        }
        case WM_COMMAND:
        case WM_KEYDOWN:
        case WM_CHAR:
            if (CWaitDialog* object = DialogObject(dialog)) object->OnCancel(message, lParam);
            return TRUE;
        default:
            return FALSE;
    }
}

// Cancel runs inside a Windows Installer callback, below this procedure.
INT_PTR CALLBACK WaitDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return GuardCallback("CWaitDialog::WaitDialogProc", static_cast<INT_PTR>(FALSE),
                         [&]() { return HandleWaitDialogMessage(dialog, message, wParam, lParam); });
}

}  // namespace

CWaitDialog::CWaitDialog(HINSTANCE instance, CContinueFlag* continueFlag, HWND owner) : m_continue(continueFlag) {
    if (m_continue) m_continue->Set();
    if (!instance) instance = ResourceModule();

    const std::string title = LoadText(instance, IDS_MSGBOX_TITLE, kTitleLength);
    const std::string status = LoadText(instance, IDS_INSTALLING, kStatusLength);

    if (!owner) owner = ::GetActiveWindow();
    if (owner) ::EnableWindow(owner, FALSE);
    m_owner = owner;

    m_dialog = ::CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_WAIT), owner, WaitDialogProc,
                                    reinterpret_cast<LPARAM>(this));
    if (!m_dialog) {
        // Without a window nothing would enable the owner again.
        LogStatusF("CWaitDialog::CWaitDialog, could not create the wait dialog, error %lu", ::GetLastError());
        if (m_owner) ::EnableWindow(m_owner, TRUE);
        return;
    }
    ::ShowWindow(m_dialog, SW_SHOW);
    ::SetWindowTextA(m_dialog, title.empty() ? kDefaultTitle : title.c_str());
    SetStatusText(status.empty() ? kDefaultStatus : status.c_str());
    ::ShowWindow(m_dialog, SW_SHOW);
    ::UpdateWindow(m_dialog);
}

CWaitDialog::~CWaitDialog() {
    if (m_dialog && ::IsWindow(m_dialog)) {
        // No message of the closing window reaches an object half destroyed.
        ::SetWindowLongPtrA(m_dialog, DWLP_USER, 0);
        if (m_owner) ::EnableWindow(m_owner, TRUE);
        ::DestroyWindow(m_dialog);
    }
    m_dialog = nullptr;
}

void CWaitDialog::SetStatusText(const char* text) {
    if (!m_dialog) return;
    const char* value = text ? text : "";
    ::SetDlgItemTextA(m_dialog, IDC_WAIT_STATUS, value);
    m_statusText = value;
}

void CWaitDialog::SetProgress(int16_t row, int16_t percent) {
    if (!m_dialog) return;
    if (percent < 0) percent = 0;
    if (percent > 100) percent = 100;
    m_percent = percent;
    char text[16];
    SafeFormat(text, sizeof(text), "%d%%", static_cast<int>(percent));
    ::SetDlgItemTextA(m_dialog, IDC_WAIT_PERCENT_ROW0 + row, text);
    ::SendDlgItemMessageA(m_dialog, IDC_WAIT_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

void CWaitDialog::EnableCancel(bool enable) {
    if (!m_dialog) return;
    ::EnableWindow(::GetDlgItem(m_dialog, IDCANCEL), enable ? TRUE : FALSE);
}

// A quit request met here is posted again so that the run's own message loop still ends.
void CWaitDialog::PumpMessages() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

// Cancel: the message handler turns the cleared flag into a cancellation at the next
// progress message. The CriticalFixes folder is emptied and marked so that the product
// restores its common files at its next start.
void CWaitDialog::OnCancel(UINT /*inputKind*/, LPARAM /*parameter*/) {
    if (m_continue) m_continue->RequestCancel();
    ++CRunState::Get().cancelPresses;  // ends a transfer the run is waiting for

    const CRunState& state = CRunState::Get();
    if (state.productExePath.empty()) {
        FailureReporter::Report("Patch: CWaitDialog::OnCancel, TW Windows app name is NULL.", m_lastFailure);
        return;
    }
    const std::string productDir = state.ProductDir();
    if (productDir.empty()) {
        FailureReporter::Report(
            "Patch: CWaitDialog::OnCancel, it fails to get the directory name for the TW Windows app name.",
            m_lastFailure);
        return;
    }
    static const CCriticalFixesReset::Texts texts = {
        kDeleteFilesTexts,
        "Patch: CWaitDialog::OnCancel, Failed to delete all the files from CriticalFixes folder.",
        nullptr,
        "CWaitDialog::OnCancel, force_apply_ulip.dat written successfully",
        "Patch: CWaitDialog::OnCancel, Could not create file force_apply_ulip.dat. Error code is: %lu",
        "Patch: CWaitDialog::OnCancel, Exception while file open force_apply_ulip.dat.",
    };
    // The marker's failure is logged and sent, but does not become the dialog's last failure.
    CCriticalFixesReset::Reset(
        productDir, texts, {false, false}, m_lastFailure, sizeof(m_lastFailure),
        [this](const char* text) { FailureReporter::Report(text, m_lastFailure); },
        [](const char* text) {
            StatusLogMgr::LogStatus(text);
            InstallTracker::Instance().SendTrackingMessage(0, text, true);
        });
}

bool CWaitDialog::DeleteFiles(const char* folder) {
    return CFolderFileDeleter::DeleteFiles(folder, kDeleteFilesTexts, m_lastFailure, sizeof(m_lastFailure));
}

}  // namespace tw
