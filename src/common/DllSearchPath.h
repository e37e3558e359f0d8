#pragma once
// Where the program's DLLs may come from. The program runs elevated from a folder the user
// who downloaded the update can write, so a DLL of a system name dropped beside it must never
// be loaded: the search is narrowed to the system folder before anything loads a DLL.

namespace tw {

class CDllSearchPath {
public:
    // Narrows the default DLL search of the process to the system folder
    // (SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32), looked up at run time since
    // Windows 7 has it only with its loader update) and takes the current folder out of the
    // search (SetDllDirectoryA("")). Call it first, before any DLL is loaded on first use;
    // calling it again does no harm. True when the system folder alone is searched.
    static bool NarrowToSystemFolder();

    // The outcome of the first call: true when SetDefaultDllDirectories was there and
    // succeeded (false before the first call).
    static bool IsNarrowed();

    // A program's entry file defines one object of this type at namespace scope, marked
    // TW_FIRST_INITIALISER: the search is then narrowed before every other static
    // initialiser of the program runs, so none of them can load a DLL from beside it.
    struct FirstInitialiser {
        FirstInitialiser() { NarrowToSystemFolder(); }
    };
};

// 101 is the first priority a program may use; MSVC gets the same from "#pragma
// init_seg(lib)" in the entry file.
#if defined(__GNUC__)
#define TW_FIRST_INITIALISER __attribute__((init_priority(101)))
#else
#define TW_FIRST_INITIALISER
#endif

}  // namespace tw
