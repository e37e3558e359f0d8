#include <windows.h>

#include "app/PatchApp.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand) {
    return tw::CPatchApp::Run(instance, previousInstance, commandLine, showCommand);
}
