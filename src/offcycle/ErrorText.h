#pragma once
// Result codes and error texts shared by the off-cycle classes.

#include <windows.h>

#include <string>

namespace tw {

// A C runtime error number as an HRESULT: 0x80070000 with the low 16 bits of a positive
// number, the number itself otherwise.
inline HRESULT HResultFromErrno(int error) {
    return error > 0 ? static_cast<HRESULT>(0x80070000u | (static_cast<unsigned>(error) & 0xFFFFu))
                     : static_cast<HRESULT>(error);
}

// The system's text for an error code (system message table, default language), exactly as
// the system gives it; empty when the system has no text for it.
inline std::string SystemErrorText(DWORD error) {
    char* buffer = nullptr;
    DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text;
    if (length && buffer) text.assign(buffer, length);
    if (buffer) ::LocalFree(buffer);
    return text;
}

}  // namespace tw
