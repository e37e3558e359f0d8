#include "app/PatchInstallerFactory.h"

#include <new>

#include "app/AutoPatchInstallerFactory.h"
#include "app/PatchInstallerBase.h"
#include "app/WebPatchInstallerFactory.h"

namespace tw {
namespace {
CPatchInstallerFactory* g_factory = nullptr;
}

CPatchInstallerFactory::~CPatchInstallerFactory() = default;

void CPatchInstallerFactory::DestroyInstaller(CPatchInstallerBase* installer) { delete installer; }

CPatchInstallerFactory* CPatchInstallerFactory::GetFactory(int32_t kind) {
    if (!g_factory) {
        if (kind == 1)
            g_factory = new (std::nothrow) CAutoPatchInstallerFactory();
        else
            g_factory = new (std::nothrow) CWebPatchInstallerFactory();
    }
    return g_factory;
}

void CPatchInstallerFactory::ResetFactory() {
    delete g_factory;
    g_factory = nullptr;
}

}  // namespace tw
