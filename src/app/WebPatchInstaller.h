#pragma once
// The web variant: started without a command line; asks the user to confirm and finds the
// product through Windows Installer.

#include "app/PatchInstallerBase.h"

namespace tw {

class CWebPatchInstaller : public CPatchInstallerBase {
public:
    CWebPatchInstaller();
    ~CWebPatchInstaller() override;

    bool Run(PatchCmdInfo& info, int showCommand, const char* commandLine) override;
    void PostPatchProcessing() override;
    void DoPostPatchBatchFile() override;

    HWND GetPatchViewDialog() const { return m_patchView; }

private:
    static INT_PTR CALLBACK PatchViewProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnPatchViewMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    void OnInstallNow();
    // Install Now with its exceptions kept for the entry point.
    void OnInstallNowGuarded();

    PatchCmdInfo* m_cmdInfo = nullptr;
    HWND m_patchView = nullptr;
};

}  // namespace tw
