#pragma once
// Creates the installer of the run's variant. The first request fixes the kind for the
// rest of the process.

#include <cstdint>

namespace tw {

class CPatchInstallerBase;

class CPatchInstallerFactory {
public:
    virtual CPatchInstallerBase* CreateInstaller() = 0;             // slot 0
    virtual void DestroyInstaller(CPatchInstallerBase* installer);  // slot 1
    virtual ~CPatchInstallerFactory();                              // slot 2

    // The process-wide factory: the first call creates the factory of the given kind
    // (1 = auto, anything else = web); later calls return it whatever kind they ask for.
    static CPatchInstallerFactory* GetFactory(int32_t kind);

    // Destroys the process-wide factory; the next request creates one anew.
    static void ResetFactory();
};

}  // namespace tw
