#pragma once
// Answers the Windows Installer messages of one run: logs them, moves the wait dialog's
// progress bar, lets the user cancel, retries two passing file errors and reacts to a
// restart announcement. It keeps the counters only it changes (progress, last percent,
// retries left); the continue flag is the installer's, changed through its own operations.

#include <windows.h>

#include <cstdint>
#include <functional>

#include "ui/ContinueFlag.h"

namespace tw {

class CWaitDialog;

// Windows Installer progress counters of the run.
struct MsiProgressState {
    int32_t total = 0;     // m_iProgressTotal: never 0 after a reset
    int32_t position = 0;  // m_iProgress
    int32_t current = 0;   // m_ProgressCurrent: position at the last reset
    int32_t stepInc = 0;   // m_StepInc: ticks per action-data message
    bool forward = true;
    bool actionData = false;
};

// Fields of a Windows Installer record text ("1: 0 2: 37209 3: 0 4: 0 ").
struct MsiRecordFields {
    int field1 = 0;
    int field2 = 0;
    int field3 = 0;
    int field4 = 0;
};

// What the handler asks of the run it serves, and what it tells it.
struct MsiHandlerHooks {
    std::function<CWaitDialog*()> waitDialog;  // the run's wait dialog; null while there is none
    std::function<void()> onCancelled;         // the user's Cancel ends the installation
    std::function<void()> onRestartRequested;  // a restart was announced: from now on the run is restarting
    std::function<void()> onRestart;           // after the warning: bring the product into a consistent state
};

class CMsiMessageHandler {
public:
    // Automatic retries of a run.
    static constexpr int32_t kRetryCount = 10;

    CMsiMessageHandler(CContinueFlag& continueFlag, MsiHandlerHooks hooks);

    int OnMessage(UINT messageType, LPCSTR message);

    // Reads a record text. Progress records stop after field 2 when field 1 is 2 or 3,
    // after field 3 when it is 1, and read field 4 otherwise; common-data records read
    // field 2 unless field 1 is 1. Fields not read keep their value.
    static bool ParseRecordFields(const char* text, bool progress, MsiRecordFields* fields);
    // position * 100 / total with the position taken as unsigned, without overflow.
    static int32_t PercentOf(int32_t position, int32_t total);
    // The number in the four characters after the first "Error " of the text, 0 without one.
    static int ErrorNumberOf(const char* text);

    const MsiProgressState& Progress() const { return m_progress; }
    int32_t LastPercent() const { return m_lastPercent; }
    // m_msiErrorMessageRetryCount: shared by all errors of the run and never reset.
    int32_t RetriesLeft() const { return m_retryCount; }

private:
    int HandleErrorMessage(UINT messageType, LPCSTR message);
    int HandleUserMessage(UINT messageType, LPCSTR message);
    int HandleProgressMessage(LPCSTR message);
    void ApplyProgressRecord(const MsiRecordFields& fields);
    void HandleActionData();
    void HandleCommonData(LPCSTR message);
    void ShowActionStartStatus(LPCSTR message);
    void ShowPercent(int32_t percent);

    CWaitDialog* WaitDialog() const { return m_hooks.waitDialog ? m_hooks.waitDialog() : nullptr; }

    CContinueFlag& m_continue;
    MsiHandlerHooks m_hooks;
    MsiProgressState m_progress;
    // Switches for the info and progress lines; nothing turns them on, so they stay off.
    bool m_logInfoMessages = false;
    bool m_logProgressMessages = false;
    int32_t m_lastPercent = 0;
    int32_t m_retryCount = kRetryCount;
};

}  // namespace tw
