#pragma once

#include "app/PatchInstallerFactory.h"

namespace tw {

class CAutoPatchInstallerFactory : public CPatchInstallerFactory {
public:
    CPatchInstallerBase* CreateInstaller() override;
};

}  // namespace tw
