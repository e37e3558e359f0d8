#include <windows.h>

#include "app/PatchApp.h"
#include "datastore/ProductInfoReader.h"
#include "protected/InstalledProductInfoReader.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand) {
    // The data store reads the protected product information through the reader of the
    // layer above it.
    tw::SetDefaultProductInfoReader(&tw::CInstalledProductInfoReader::Create);
    return tw::CPatchApp::Run(instance, previousInstance, commandLine, showCommand);
}
