#include "ui/WaitDialog.h"

// PLACEHOLDER: the wait dialog comes with the message handler; until then it has no window
// and every operation does nothing.

namespace tw {

CWaitDialog::CWaitDialog(HINSTANCE, bool* continueFlag, HWND) : m_continue(continueFlag) {
    if (m_continue) *m_continue = true;
}
CWaitDialog::~CWaitDialog() = default;
void CWaitDialog::OnCancel(UINT, LPARAM) {
    if (m_continue) *m_continue = false;
}
void CWaitDialog::SetStatusText(const char*) {}
void CWaitDialog::SetProgress(int16_t, int16_t) {}
void CWaitDialog::EnableCancel(bool) {}
void CWaitDialog::PumpMessages() {}
bool CWaitDialog::DeleteFiles(const char*) { return false; }

}  // namespace tw
