#pragma once

#include "app/PatchInstallerFactory.h"

namespace tw {

class CWebPatchInstallerFactory : public CPatchInstallerFactory {
public:
    CPatchInstallerBase* CreateInstaller() override;
};

}  // namespace tw
