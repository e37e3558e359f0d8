#include "app/MsiInterface.h"

#include "app/MSIObserver.h"
#include "common/TextUtil.h"

namespace tw {

// PLACEHOLDER: the Windows Installer interface comes with the message handler.
namespace {
CMsiInterface* g_instance = nullptr;
}

CMsiInterface& CMsiInterface::Instance() {
    if (!g_instance) g_instance = new CMsiInterface();
    return *g_instance;
}

void CMsiInterface::DestroyInstance() {
    delete g_instance;
    g_instance = nullptr;
}

CMsiInterface::CMsiInterface() = default;
CMsiInterface::~CMsiInterface() = default;

bool CMsiInterface::RegisterObserver(MSIObserver* observer) {
    if (m_observer) return false;
    m_observer = observer;
    return true;
}

void CMsiInterface::UnregisterObserver(MSIObserver* observer) {
    if (m_observer == observer) m_observer = nullptr;
}

bool CMsiInterface::ApplyMultiplePatches(const char*, const char*, const char*, char* errorText, UINT* result) {
    if (errorText) SafeCopy(errorText, kErrorTextSize, "");
    if (result) *result = ERROR_CALL_NOT_IMPLEMENTED;
    return false;
}

void CMsiInterface::EnableLog(int) {}

int WINAPI CMsiInterface::ExternalUiHandler(LPVOID, UINT, LPCSTR) { return 0; }

}  // namespace tw
