#include "app/WebPatchInstallerFactory.h"

#include <new>

#include "app/WebPatchInstaller.h"

namespace tw {

CPatchInstallerBase* CWebPatchInstallerFactory::CreateInstaller() { return new (std::nothrow) CWebPatchInstaller(); }

}  // namespace tw
