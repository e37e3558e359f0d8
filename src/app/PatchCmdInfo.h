#pragma once
// What the command line gives the run: filled by the installer's parser, passed to the run
// operations.

#include <windows.h>

#include <cstdint>

namespace tw {

enum PatchMode : int32_t { kModeNone = 0, kModeAuto = 1, kModeQuiet = 2 };

struct PatchCmdInfo {
    static constexpr size_t kProductDirSize = 258;  // 257 characters and the terminator

    HINSTANCE instance;
    HWND mainWindow;
    int32_t mode;
    char productDir[kProductDirSize];
    int16_t pathGiven;
};

}  // namespace tw
