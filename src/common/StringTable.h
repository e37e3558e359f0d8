#pragma once
// Texts of the program's string table.

#include <windows.h>

#include <string>

namespace tw {

// The module whose resources the program uses (the running executable unless set).
HINSTANCE ResourceModule();
void SetResourceModule(HINSTANCE module);

// The string with the given id; empty when it is missing or empty.
std::string LoadResourceString(UINT id);

}  // namespace tw
