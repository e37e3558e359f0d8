#include "app/MsiMessageHandler.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "app/InstallerTexts.h"
#include "common/PlatformSeams.h"
#include "common/TextUtil.h"
#include "logging/InstallTracker.h"
#include "logging/StatusLogMgr.h"
#include "ui/WaitDialog.h"

namespace tw {
namespace {

// Fields of the last common-data or progress message, and the language of the error boxes
// (process-wide, as Windows Installer's records are).
MsiRecordFields g_msiFields;
WORD g_msiMessageBoxLanguage = 0;

constexpr UINT kMessageKindMask = 0xFF000000;
constexpr UINT kMessageStyleMask = 0x00FFFFFF;
constexpr UINT kButtonMask = 0x0000000F;
constexpr UINT kIconMask = 0x000000F0;

constexpr int kRetryErrorWritingFile = 1310;
constexpr int kRetryErrorReadingFile = 1321;
constexpr DWORD kRetryWaitMs = 1000;

// The value after "<number>: " found at or after from, up to the next blank. Null when the
// field is missing; otherwise the position after the value.
const char* ReadIntField(const char* from, const char* label, int* value) {
    const char* at = std::strstr(from, label);
    if (!at) return nullptr;
    at += std::strlen(label);
    *value = std::atoi(at);
    while (*at && *at != ' ') ++at;
    return at;
}

}  // namespace

CMsiMessageHandler::CMsiMessageHandler(CContinueFlag& continueFlag, MsiHandlerHooks hooks)
    : m_continue(continueFlag), m_hooks(std::move(hooks)) {}

bool CMsiMessageHandler::ParseRecordFields(const char* text, bool progress, MsiRecordFields* fields) {
    if (!text || text[0] != '1') return false;
    const char* at = std::strstr(text, "1: ");
    if (!at) return false;
    at += 3;
    if (*at < '0' || *at > '9') return false;
    fields->field1 = *at - '0';
    ++at;
    if (!progress) {
        if (fields->field1 == 1) return true;
        return ReadIntField(at, "2: ", &fields->field2) != nullptr;
    }
    at = ReadIntField(at, "2: ", &fields->field2);
    if (!at) return false;
    if (fields->field1 == 2 || fields->field1 == 3) return true;
    at = ReadIntField(at, "3: ", &fields->field3);
    if (!at) return false;
    if (fields->field1 == 1) return true;
    return ReadIntField(at, "4: ", &fields->field4) != nullptr;
}

int32_t CMsiMessageHandler::PercentOf(int32_t position, int32_t total) {
    if (total <= 0) return 0;
    const uint64_t percent =
        static_cast<uint64_t>(static_cast<uint32_t>(position)) * 100u / static_cast<uint64_t>(total);
    const uint64_t limit = static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
    return static_cast<int32_t>(percent > limit ? limit : percent);
}

int CMsiMessageHandler::ErrorNumberOf(const char* text) {
    const char* at = std::strstr(text, "Error ");
    if (!at) return 0;
    char digits[5] = {};
    std::strncpy(digits, at + 6, 4);
    return std::atoi(digits);
}

// The answer to one Windows Installer message. Initialize and terminate messages carry no
// text (Windows passes null, Wine an internal pointer), so their text is never read.
int CMsiMessageHandler::OnMessage(UINT messageType, LPCSTR message) {
    const UINT kind = messageType & kMessageKindMask;
    const UINT style = messageType & kMessageStyleMask;

    if (kind == INSTALLMESSAGE_INITIALIZE || kind == INSTALLMESSAGE_TERMINATE) {
        if (!message) return 0;
        LogStatusF(kind == INSTALLMESSAGE_INITIALIZE ? "INSTALLMESSAGE_INITIALIZE Message: %s"
                                                     : "INSTALLMESSAGE_TERMINATE Message: %s",
                   "");
        return IDOK;
    }
    if (!message) return 0;

    switch (kind) {
        case INSTALLMESSAGE_FATALEXIT: {
            const std::string line = FormatString("Patch: INSTALLMESSAGE_FATALEXIT Message: %s", message);
            StatusLogMgr::LogStatus(line.c_str());
            InstallTracker::Instance().SendTrackingMessage(0, line.c_str(), true);
            return Platform().ShowMessageBox(nullptr, message, "FatalError", style, 0);
        }
        case INSTALLMESSAGE_ERROR:
            return HandleErrorMessage(messageType, message);
        case INSTALLMESSAGE_WARNING:
            LogStatusF("INSTALLMESSAGE_WARNING Message: %s", message);
            return Platform().ShowMessageBox(nullptr, message, "Warning", style, 0);
        case INSTALLMESSAGE_USER:
            LogStatusF("INSTALLMESSAGE_USER Message: %s", message);
            return HandleUserMessage(messageType, message);
        case INSTALLMESSAGE_INFO:
            if (m_logInfoMessages) LogStatusF("INSTALLMESSAGE_INFO Message: %s", message);
            return IDOK;
        case INSTALLMESSAGE_RESOLVESOURCE:
            LogStatusF("INSTALLMESSAGE_RESOLVESOURCE Message: %s", message);
            return 0;
        case INSTALLMESSAGE_OUTOFDISKSPACE:
            LogStatusF("INSTALLMESSAGE_OUTOFDISKSPACE Message: %s", message);
            return IDABORT;
        case INSTALLMESSAGE_ACTIONSTART:
            LogStatusF("INSTALLMESSAGE_ACTIONSTART Message: %s", message);
            ShowActionStartStatus(message);
            return IDOK;
        case INSTALLMESSAGE_ACTIONDATA:
            if (m_progress.total != 0) {
                LogStatusF("INSTALLMESSAGE_ACTIONDATA Message: %s", message);
                HandleActionData();
            }
            return IDOK;
        case INSTALLMESSAGE_PROGRESS:
            return HandleProgressMessage(message);
        case INSTALLMESSAGE_COMMONDATA:
            LogStatusF("INSTALLMESSAGE_COMMONDATA Message: %s", message);
            HandleCommonData(message);
            return IDOK;
        case INSTALLMESSAGE_SHOWDIALOG:
            LogStatusF("INSTALLMESSAGE_SHOWDIALOG Message: %s", message);
            return IDOK;
        default:
            LogStatusF("default: Message type %d, Message: %s", static_cast<int>(kind), message);
            return 0;
    }
}

// Errors 1310 and 1321 (a file that cannot be written or read, usually held by another
// program for a moment) are retried automatically, at most ten times per run.
int CMsiMessageHandler::HandleErrorMessage(UINT messageType, LPCSTR message) {
    const std::string line = FormatString("Patch: INSTALLMESSAGE_ERROR Message: %s", message);
    StatusLogMgr::LogStatus(line.c_str());
    InstallTracker::Instance().SendTrackingMessage(0, line.c_str(), true);

    const int errorNumber = ErrorNumberOf(message);
    const UINT buttons = messageType & kButtonMask;
    const bool retryButtons = buttons == MB_ABORTRETRYIGNORE || buttons == MB_RETRYCANCEL;
    const bool retryError = errorNumber == kRetryErrorWritingFile || errorNumber == kRetryErrorReadingFile;
    if (retryButtons && retryError && m_retryCount >= 1) {
        --m_retryCount;
        Platform().Sleep(kRetryWaitMs);
        LogStatusF("AUTOMATIC RETRY:  error = %d, messageBoxStyle = %d, m_msiErrorMessageRetryCount = %d", errorNumber,
                   static_cast<int>(buttons), m_retryCount);
        return IDRETRY;
    }
    ::MessageBeep(messageType & kIconMask);
    // Shown in the language of the last common-data message.
    return Platform().ShowMessageBox(nullptr, message, "Error", messageType & kMessageStyleMask,
                                     g_msiMessageBoxLanguage);
}

// A user message that mentions a restart: Windows Installer is about to restart Windows,
// so the run brings the product into a consistent state now.
int CMsiMessageHandler::HandleUserMessage(UINT messageType, LPCSTR message) {
    std::string lower = message;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.find("restart") == std::string::npos) return IDOK;

    if (m_hooks.onRestartRequested) m_hooks.onRestartRequested();
    StatusLogMgr::LogStatus("INSTALLMESSAGE_USER: restart is requested, transitioning to a consistent state.");
    ::MessageBeep(messageType & kIconMask);
    Platform().ShowMessageBox(nullptr, texts::kRestartForChanges, "Warning", MB_ICONEXCLAMATION, 0);
    if (m_hooks.onRestart) m_hooks.onRestart();
    return IDOK;
}

// Progress records move the wait dialog's bar; each one is also the point where the user's
// Cancel takes effect and where the dialog's pending messages are handled.
int CMsiMessageHandler::HandleProgressMessage(LPCSTR message) {
    MsiRecordFields fields = g_msiFields;
    if (ParseRecordFields(message, true, &fields)) {
        g_msiFields = fields;
        ApplyProgressRecord(fields);
    }

    CWaitDialog* dialog = WaitDialog();
    if (!dialog) return IDOK;
    if (m_continue.TakeCancel()) {
        if (m_hooks.onCancelled) m_hooks.onCancelled();
        return IDCANCEL;
    }
    dialog->PumpMessages();
    return IDOK;
}

// Field 1: 0 resets the counters, 1 sets the ticks per action-data message, 2 adds ticks.
void CMsiMessageHandler::ApplyProgressRecord(const MsiRecordFields& fields) {
    MsiProgressState& p = m_progress;
    switch (fields.field1) {
        case 0: {
            p.total = fields.field2;
            p.forward = fields.field3 == 0;
            p.position = p.forward ? 0 : fields.field2;
            p.current = p.position;
            p.stepInc = 0;
            if (p.total == 0) p.total = 1;
            const int32_t percent = PercentOf(p.position, p.total);
            if (m_logProgressMessages) {
                LogStatusF(
                    "INSTALLMESSAGE_PROGRESS case 0: m_iProgressTotal:%d, m_iProgress:%d, "
                    "m_ProgressCurrent:%d, percent:%d ",
                    p.total, p.position, p.position, percent);
            }
            ShowPercent(percent);
            p.actionData = fields.field4 == 1;
            break;
        }
        case 1:
            if (fields.field3 == 0)
                p.stepInc = 0;
            else
                p.stepInc = p.forward ? fields.field2 : -fields.field2;
            break;
        case 2: {
            if (p.total == 0) break;
            const int32_t before = p.position;
            p.position = p.forward ? p.position + fields.field2 : p.position - fields.field2;
            const int32_t percent = PercentOf(p.position, p.total);
            if (percent == m_lastPercent) break;
            if (m_logProgressMessages) {
                LogStatusF(
                    "INSTALLMESSAGE_PROGRESS case 2: m_iProgressTotal:%d, m_iProgress:%d, "
                    "m_ProgressCurrent:%d, percent:%d ",
                    p.total, p.current, before, percent);
            }
            ShowPercent(percent);
            break;
        }
        default:
            StatusLogMgr::LogStatus("INSTALLMESSAGE_PROGRESS case 3:");
            break;
    }
}

void CMsiMessageHandler::HandleActionData() {
    MsiProgressState& p = m_progress;
    if (p.total == 0) return;
    p.position += p.stepInc;
    const int32_t percent = PercentOf(p.position, p.total);
    if (p.stepInc != 0) {
        LogStatusF("INSTALLMESSAGE_ACTIONDATA: m_iProgressTotal:%d, m_StepInc:%d, m_ProgressCurrent:%d, percent:%d ",
                   p.total, p.stepInc, p.position, percent);
    }
    ShowPercent(percent);
}

// Field 1 = 0 gives the language of the error boxes; 2 shows or hides the wait dialog;
// 1 (the caption) is ignored.
void CMsiMessageHandler::HandleCommonData(LPCSTR message) {
    MsiRecordFields fields = g_msiFields;
    if (!ParseRecordFields(message, false, &fields)) return;
    g_msiFields = fields;
    CWaitDialog* dialog = WaitDialog();
    if (fields.field1 == 0) {
        g_msiMessageBoxLanguage = static_cast<WORD>(fields.field2 & 0xFFFF);
    } else if (fields.field1 == 2) {
        if (dialog && dialog->GetHwnd()) ::ShowWindow(dialog->GetHwnd(), fields.field2 != 0 ? SW_SHOW : SW_HIDE);
    }
}

// "Action 6:17:43: WriteRegistryValues. Writing system registry values": the status line
// becomes the description after the last full stop.
void CMsiMessageHandler::ShowActionStartStatus(LPCSTR message) {
    const char* stop = std::strrchr(message, '.');
    if (!stop || std::strlen(stop) < 3) return;
    if (CWaitDialog* dialog = WaitDialog()) dialog->SetStatusText(stop + 1);
    LogStatusF("INSTALLMESSAGE_ACTIONSTART Message description: %s", stop + 1);
}

// A new percentage goes to the wait dialog (which clamps it to 0..100); at 100 % the
// installation can no longer be cancelled, and Cancel stays disabled.
void CMsiMessageHandler::ShowPercent(int32_t percent) {
    if (percent == m_lastPercent) return;
    m_lastPercent = percent;
    CWaitDialog* dialog = WaitDialog();
    if (!dialog) return;
    const int32_t shown = percent > std::numeric_limits<int16_t>::max()   ? std::numeric_limits<int16_t>::max()
                          : percent < std::numeric_limits<int16_t>::min() ? std::numeric_limits<int16_t>::min()
                                                                          : percent;
    dialog->SetProgress(1, static_cast<int16_t>(shown));
    if (m_lastPercent == 100) dialog->EnableCancel(false);
}

}  // namespace tw
