#include "app/PatchInstallerFactory.h"

#include <memory>
#include <new>

#include "app/AutoPatchInstallerFactory.h"
#include "app/PatchInstallerBase.h"
#include "app/WebPatchInstallerFactory.h"
#include "common/ProcessState.h"

namespace tw {
namespace {
std::unique_ptr<CPatchInstallerFactory> g_factory;
}

CPatchInstallerFactory::~CPatchInstallerFactory() = default;

void CPatchInstallerFactory::DestroyInstaller(CPatchInstallerBase* installer) {
    std::unique_ptr<CPatchInstallerBase> owned(installer);
}

CPatchInstallerFactory* CPatchInstallerFactory::GetFactory(int32_t kind) {
    if (!g_factory) {
        if (kind == 1)
            g_factory.reset(new (std::nothrow) CAutoPatchInstallerFactory());
        else
            g_factory.reset(new (std::nothrow) CWebPatchInstallerFactory());
    }
    return g_factory.get();
}

void CPatchInstallerFactory::ResetFactory() { g_factory.reset(); }

namespace {
[[maybe_unused]] const bool g_resetRegistered =
    RegisterProcessStateReset(ProcessLayer::App, &CPatchInstallerFactory::ResetFactory);
}  // namespace

}  // namespace tw
