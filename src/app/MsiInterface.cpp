#include "app/MsiInterface.h"

#include <string>

#include "app/MSIObserver.h"
#include "app/MsiResultTable.h"
#include "logging/CallbackGuard.h"
#include "common/PlatformSeams.h"
#include "common/ProcessState.h"
#include "common/RunState.h"
#include "common/TextUtil.h"
#include "logging/StatusLogMgr.h"

namespace tw {
namespace {
CMsiInterface* g_instance = nullptr;

constexpr UINT kSuccess = ERROR_SUCCESS;
constexpr UINT kSuccessRebootRequired = ERROR_SUCCESS_REBOOT_REQUIRED;  // 3010
}  // namespace

CMsiInterface& CMsiInterface::Instance() {
    if (!g_instance) g_instance = new CMsiInterface();
    return *g_instance;
}

CMsiInterface* CMsiInterface::Existing() { return g_instance; }

void CMsiInterface::DestroyInstance() {
    CMsiInterface* instance = g_instance;
    g_instance = nullptr;  // not reachable while its destructor runs
    delete instance;
}

namespace {
[[maybe_unused]] const bool g_resetRegistered =
    RegisterProcessStateReset(ProcessLayer::App, &CMsiInterface::DestroyInstance);
}  // namespace

CMsiInterface::CMsiInterface() = default;

// Puts back what was installed before. The previous handler's filter and context are not
// known; it gets the same filter and no context.
CMsiInterface::~CMsiInterface() {
    if (!m_userInterfaceInstalled) return;
    Platform().Msi.SetInternalUI(m_previousLevel, nullptr);
    Platform().Msi.SetExternalUI(m_previousHandler, m_previousHandler ? kMessageFilter : 0, nullptr);
}

// Windows Installer shows no dialogs of its own (only source resolution would), and every
// message kind but files-in-use comes to this object's handler. Done before the first call
// that installs anything, the only calls that show a user interface or send messages; a run
// that ends before it never loads Windows Installer (the program delay-loads it).
void CMsiInterface::InstallUserInterface() {
    if (m_userInterfaceInstalled) return;
    m_userInterfaceInstalled = true;
    m_previousLevel = Platform().Msi.SetInternalUI(static_cast<INSTALLUILEVEL>(kInternalUiLevel), nullptr);
    m_previousHandler = Platform().Msi.SetExternalUI(&CMsiInterface::ExternalUiHandler, kMessageFilter, this);
}

bool CMsiInterface::RegisterObserver(MSIObserver* observer) {
    if (m_observer) return false;
    m_observer = observer;
    return true;
}

void CMsiInterface::UnregisterObserver(MSIObserver* observer) {
    if (m_observer == observer) m_observer = nullptr;
}

// A failure inside the handler answers 0 ("not handled"): Windows Installer then goes on as
// without an external handler for that message, whereas IDOK would accept an error
// and IDCANCEL or IDABORT would end the installation.
int WINAPI CMsiInterface::ExternalUiHandler(LPVOID context, UINT messageType, LPCSTR message) {
    return GuardCallback("CMsiInterface::ExternalUiHandler", 0, [&]() {
        CMsiInterface* self = static_cast<CMsiInterface*>(context);
        if (!self || !self->m_observer) return 0;
        return self->m_observer->OnMsiMessage(messageType, message);
    });
}

bool CMsiInterface::ApplyMultiplePatches(const char* patchList, const char* productCode, const char* properties,
                                         char* errorText, UINT* result) {
    if (errorText) errorText[0] = '\0';
    if (properties) LogStatusF("MsiApplyMultiplePatches:cmdline %s", properties);

    InstallUserInterface();
    UINT code = Platform().Msi.ApplyMultiplePatches(patchList, productCode, properties);
    CRunState::Get().exitCode = static_cast<int32_t>(code);
    LogStatusF("MsiApplyMultiplePatches: return code = %d", static_cast<int>(code));
    if (result) *result = code;

    if (code == kSuccess || code == kSuccessRebootRequired) return true;

    std::string userText;
    std::string logText;
    if (const CMsiResultTable::Row* row = CMsiResultTable::Find(code)) {
        logText = FormatString("Error Code = %d, %s", static_cast<int>(code), row->logText);
        userText = CMsiResultTable::UserText(*row, code);
    } else {
        userText = FormatString("Unknown error , Error Code = %d", static_cast<int>(code));
        logText = FormatString("In CPatchInstallerBase::DoProgramPatches, Unknown return code , retcode=%d.",
                               static_cast<int>(code));
    }
    if (errorText) SafeCopy(errorText, kErrorTextSize, userText.c_str());
    StatusLogMgr::LogStatus(logText.c_str());
    return false;
}

// The mode read from patch.ini does not change what is logged: always everything but
// files-in-use, into a new file.
void CMsiInterface::EnableLog(int /*logMode*/) {
    std::string path = CRunState::Get().installerDir + "\\MsiPatchlog.txt";
    UINT result = Platform().Msi.EnableLog(kLogMode, path.c_str(), 0);
    if (result != ERROR_SUCCESS) LogStatusF("MsiEnableLog returned %d", static_cast<int>(result));
}

}  // namespace tw
