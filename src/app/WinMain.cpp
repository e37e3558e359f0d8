#include <windows.h>

#include "app/PatchApp.h"
#include "common/DllSearchPath.h"
#include "datastore/ProductInfoReader.h"
#include "protected/InstalledProductInfoReader.h"

#if defined(_MSC_VER)
#pragma init_seg(lib)
#endif

namespace {

// The process runs elevated from a folder its user can write: no DLL may be found there.
TW_FIRST_INITIALISER const tw::CDllSearchPath::FirstInitialiser g_dllSearchFirst;

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand) {
    tw::CDllSearchPath::NarrowToSystemFolder();
    // The data store reads the protected product information through the reader of the
    // layer above it.
    tw::SetDefaultProductInfoReader(&tw::CInstalledProductInfoReader::Create);
    return tw::CPatchApp::Run(instance, previousInstance, commandLine, showCommand);
}
