#pragma once
// The modal message of the operating-system support gate (dialog 1054, white background):
// a warning that lets the update go on ("Warning", button "Continue") or an error that ends
// it ("Error", button "OK"). How the user ended it is recorded in the run flags: closing the
// window sets user-closed; ending an error message either way sets dismissed.

#include <windows.h>

#include <cstddef>
#include <string>

#include "common/Handles.h"

namespace tw {

class COSSupportDialog {
public:
    static constexpr size_t kTextSize = 2012;  // each text, terminator included; longer ones are cut
    static constexpr size_t kTextCount = 5;    // heading, texts 1 to 4
    static constexpr COLORREF kBackground = RGB(255, 255, 255);

    // Dialog results: the button, or the window closed (frame, Escape).
    static constexpr INT_PTR kResultButton = 1;
    static constexpr INT_PTR kResultClosed = 2;

    // Takes the texts of the process-wide message and the nudge flag as they are now.
    COSSupportDialog();
    COSSupportDialog(const COSSupportDialog&) = delete;
    COSSupportDialog& operator=(const COSSupportDialog&) = delete;

    // Shows the dialog modally (through the platform's dialog seam) and records the
    // outcome. Result: kResultButton, kResultClosed, or -1 when it could not be shown (no
    // flag is set then).
    INT_PTR Show(HWND owner);

    // Sets the run flags for one way of ending the dialog.
    static void RecordOutcome(INT_PTR result, bool nudge);

    bool IsNudge() const { return m_nudge; }
    const char* Text(size_t index) const { return index < kTextCount ? m_texts[index] : ""; }
    const char* Title() const { return m_nudge ? "Warning" : "Error"; }
    const char* ButtonText() const { return m_nudge ? "Continue" : "OK"; }

    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

private:
    INT_PTR OnMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    void OnInit(HWND dialog);

    bool m_nudge = false;
    char m_texts[kTextCount][kTextSize] = {};
    GdiObject m_background;
    GdiObject m_boldFont;
};

}  // namespace tw
