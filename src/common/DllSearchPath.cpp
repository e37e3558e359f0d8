#include "common/DllSearchPath.h"

#include <windows.h>

namespace tw {
namespace {

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

bool g_narrowed = false;

}  // namespace

bool CDllSearchPath::NarrowToSystemFolder() {
    // kernel32 is mapped into every process before the program's own code runs; asking for
    // its handle loads nothing.
    const HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const auto setDefault = kernel ? reinterpret_cast<SetDefaultDllDirectoriesFn>(
                                         reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")))
                                   : nullptr;
    const bool narrowed = setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
    // Without the loader update of Windows 7 at least the current folder leaves the search.
    ::SetDllDirectoryA("");
    if (narrowed) g_narrowed = true;
    return g_narrowed;
}

bool CDllSearchPath::IsNarrowed() { return g_narrowed; }

}  // namespace tw
