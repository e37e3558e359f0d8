#pragma once
// The auto variant: started with a command line that names the product folder; runs the
// update at once after initialisation.

#include "app/PatchInstallerBase.h"

namespace tw {

class CAutoPatchInstaller : public CPatchInstallerBase {
public:
    CAutoPatchInstaller();
    ~CAutoPatchInstaller() override;

    void ParseCmdLine(PatchCmdInfo& info, const char* commandLine) override;
    bool Run(PatchCmdInfo& info, int showCommand, const char* commandLine) override;
    void PostPatchProcessing() override;
    void DoPostPatchBatchFile() override;

private:
    void WriteRelaunchBatchFile(const char* productDir, const char* commandLine);
};

}  // namespace tw
