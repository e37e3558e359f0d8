#pragma once
// Answers the Windows Installer messages of one run: logs them, moves the wait dialog's
// progress bar, lets the user cancel, retries two passing file errors and reacts to a
// restart announcement. The state it moves belongs to the installer.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>

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

// The installer's fields the handler reads and moves.
struct MsiHandlerState {
    MsiProgressState& progress;
    const bool& logInfoMessages;
    const bool& logProgressMessages;
    int32_t& lastPercent;
    int32_t& retryCount;
    bool& continueRun;
    bool& abort;
    bool& restartInProgress;
    const std::unique_ptr<CWaitDialog>& waitDialog;  // the installer owns it
};

class CMsiMessageHandler {
public:
    // onRestart brings the product into a consistent state once a restart is announced.
    CMsiMessageHandler(MsiHandlerState state, std::function<void()> onRestart);

    int OnMessage(UINT messageType, LPCSTR message);

    // Reads a record text. Progress records stop after field 2 when field 1 is 2 or 3,
    // after field 3 when it is 1, and read field 4 otherwise; common-data records read
    // field 2 unless field 1 is 1. Fields not read keep their value.
    static bool ParseRecordFields(const char* text, bool progress, MsiRecordFields* fields);
    // position * 100 / total with the position taken as unsigned, without overflow.
    static int32_t PercentOf(int32_t position, int32_t total);
    // The number in the four characters after the first "Error " of the text, 0 without one.
    static int ErrorNumberOf(const char* text);

private:
    int HandleErrorMessage(UINT messageType, LPCSTR message);
    int HandleUserMessage(UINT messageType, LPCSTR message);
    int HandleProgressMessage(LPCSTR message);
    void ApplyProgressRecord(const MsiRecordFields& fields);
    void HandleActionData();
    void HandleCommonData(LPCSTR message);
    void ShowActionStartStatus(LPCSTR message);
    void ShowPercent(int32_t percent);

    MsiHandlerState m_state;
    std::function<void()> m_onRestart;
};

}  // namespace tw
