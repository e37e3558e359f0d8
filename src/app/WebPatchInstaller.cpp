#include "app/WebPatchInstaller.h"

#include "app/InstallerTexts.h"
#include "logging/CallbackGuard.h"
#include "common/PlatformSeams.h"
#include "common/ProductConstants.h"
#include "common/RunState.h"
#include "common/TextUtil.h"
#include "logging/StatusLogMgr.h"
#include "ui/MainWnd.h"
#include "common/Resource.h"
#include "common/StringTable.h"

namespace tw {
namespace {

std::string ComponentPath(const std::string& productCode, const char* component) {
    char path[1040] = {};
    DWORD size = sizeof(path);
    Platform().Msi.GetComponentPath(productCode.c_str(), component, path, &size);
    path[sizeof(path) - 1] = '\0';
    return path;
}

}  // namespace

CWebPatchInstaller::CWebPatchInstaller() = default;

CWebPatchInstaller::~CWebPatchInstaller() {
    if (m_patchView && ::IsWindow(m_patchView)) {
        ::SetWindowLongPtrA(m_patchView, DWLP_USER, 0);
        ::DestroyWindow(m_patchView);
    }
}

bool CWebPatchInstaller::Run(PatchCmdInfo& info, int /*showCommand*/, const char* /*commandLine*/) {
    m_instance = info.instance;
    if (!InitInstance(info)) return false;

    if (!OpenMainWindow(info) || StopForGateOutcome("Web")) return false;

    m_cmdInfo = &info;
    m_patchView = ::CreateDialogParamA(ResourceModule(), "IDD_PATCH_VIEW", info.mainWindow, PatchViewProc,
                                       reinterpret_cast<LPARAM>(this));
    if (m_patchView) {
        ::SetWindowPos(m_patchView, nullptr, 90, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ::ShowWindow(m_patchView, SW_SHOW);
    } else {
        LogStatusF("In CWebPatchInstaller::Run, the patch view dialog could not be created. Error code is: %lu",
                   ::GetLastError());
    }
    return true;
}

// Install Now runs the whole patch application inside this procedure.
INT_PTR CALLBACK CWebPatchInstaller::PatchViewProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return GuardCallback("CWebPatchInstaller::PatchViewProc", static_cast<INT_PTR>(FALSE), [&]() -> INT_PTR {
        if (message == WM_INITDIALOG) ::SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        auto* self = reinterpret_cast<CWebPatchInstaller*>(::GetWindowLongPtrA(dialog, DWLP_USER));
        if (!self) return FALSE;
        return self->OnPatchViewMessage(dialog, message, wParam, lParam);
    });
}

INT_PTR CWebPatchInstaller::OnPatchViewMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND mainWindow = m_cmdInfo ? m_cmdInfo->mainWindow : nullptr;
    switch (message) {
        case WM_INITDIALOG: {
            std::string title = m_config.GetProductTitle() ? m_config.GetProductTitle() : "";
            if (title.empty()) {
                StatusLogMgr::LogStatus("ERROR: Unable to retrieve product title from Patch.ini file");
                return TRUE;
            }
            std::string productCode = m_config.GetProductCode();
            if (Platform().Msi.QueryProductState(productCode.c_str()) == INSTALLSTATE_DEFAULT) {
                ::SetDlgItemTextA(dialog, IDC_PRODUCT_TITLE, title.c_str());
            } else {
                Platform().ShowMessageBox(nullptr, texts::kProductMissing, texts::kProductMissingTitle, MB_ICONHAND, 0);
                if (mainWindow) ::PostMessageA(mainWindow, WM_CLOSE, 0, 0);
            }
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) {
                if (mainWindow) ::PostMessageA(mainWindow, WM_CLOSE, 0, 0);
                return TRUE;
            }
            if (LOWORD(wParam) == IDC_INSTALL_NOW) {
                OnInstallNowGuarded();
                return TRUE;
            }
            return FALSE;
        case WM_PAINT:
            return FALSE;
        default:
            return FALSE;
    }
    (void)lParam;
}

void CWebPatchInstaller::OnInstallNow() {
    CRunState& state = CRunState::Get();
    m_productCode = m_config.GetProductCode();
    SafeCopy(m_locatedProductPath, ComponentPath(m_productCode, product::kMainComponent).c_str());
    if (m_locatedProductPath[0] == '\0') {
        SafeCopy(m_locatedProductPath, ComponentPath(m_productCode, product::kAlternateComponent).c_str());
        state.alternateComponent = true;
    }
    state.productExePath = m_locatedProductPath;
    state.alternatePath = m_locatedProductPath;
    LogStatusF("The web patch installer is applying patches to the Tallyworks at %s.", m_locatedProductPath);
    if (m_cmdInfo) RunProgramPatches(*m_cmdInfo);
    HWND mainWindow = m_cmdInfo ? m_cmdInfo->mainWindow : nullptr;
    if (mainWindow) ::PostMessageA(mainWindow, WM_CLOSE, 0, 0);
}

// The whole patch application runs here, inside the dialog procedure. An exception must
// not unwind into Windows, nor leave the run half open: it ends the run as one at the entry
// point does, once the windows have closed.
void CWebPatchInstaller::OnInstallNowGuarded() {
    try {
        OnInstallNow();
    } catch (const std::exception& e) {
        const DWORD error = ::GetLastError();
        const char* what = e.what();
        LogStatusF("In CWebPatchInstaller::OnInstallNow, Got exception: %s", what && *what ? what : "unknown");
        EndRunForException(what, error);
    } catch (...) {
        const DWORD error = ::GetLastError();
        StatusLogMgr::LogStatus("In CWebPatchInstaller::OnInstallNow, Got exception: unknown");
        EndRunForException(nullptr, error);
    }
}

void CWebPatchInstaller::PostPatchProcessing() {
    DestroyWaitDialog();
    ShowCompletionMessage();
}

void CWebPatchInstaller::DoPostPatchBatchFile() { RunPostPatchBatchFile(); }

}  // namespace tw
