#pragma once
// The modeless progress window shown while the patch packages are applied: status line,
// percentage, progress bar and Cancel.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "ui/ContinueFlag.h"

namespace tw {

class CWaitDialog {
public:
    static constexpr size_t kFailureTextSize = 2048;

    // The continue flag is the installer's; the dialog sets it and Cancel clears it.
    CWaitDialog(HINSTANCE instance, CContinueFlag* continueFlag, HWND owner);
    virtual ~CWaitDialog();                                   // slot 0
    virtual void OnCancel(UINT inputKind, LPARAM parameter);  // slot 1

    void SetStatusText(const char* text);
    void SetProgress(int16_t row, int16_t percent);
    void EnableCancel(bool enable);
    void PumpMessages();
    bool DeleteFiles(const char* folder);

    HWND GetHwnd() const { return m_dialog; }
    // The window disabled while the dialog is up, and centred over.
    HWND GetOwner() const { return m_owner; }
    int16_t GetPercent() const { return m_percent; }
    const std::string& GetStatusText() const { return m_statusText; }
    const char* GetLastFailureText() const { return m_lastFailure; }

private:
    CContinueFlag* m_continue;
    HWND m_dialog = nullptr;
    HWND m_owner = nullptr;
    int16_t m_percent = 0;
    std::string m_statusText;
    std::string m_secondText;
    char m_lastFailure[kFailureTextSize] = {};
};

}  // namespace tw
