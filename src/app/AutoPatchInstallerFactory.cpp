#include "app/AutoPatchInstallerFactory.h"

#include <new>

#include "app/AutoPatchInstaller.h"

namespace tw {

CPatchInstallerBase* CAutoPatchInstallerFactory::CreateInstaller() { return new (std::nothrow) CAutoPatchInstaller(); }

}  // namespace tw
