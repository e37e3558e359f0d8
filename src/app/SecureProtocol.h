#pragma once
// Makes the system's HTTP stacks offer TLS 1.2 before any web service is contacted: the
// machine-wide WinHTTP default protocols, the current user's WinINet protocols and strong
// cryptography for the .NET Framework 4.

#include <windows.h>

namespace tw {

class CSecureProtocol {
public:
    static constexpr DWORD kTls10 = 0x80;
    static constexpr DWORD kTls11 = 0x200;
    static constexpr DWORD kTls12 = 0x800;
    static constexpr DWORD kDefaultProtocols = kTls10 | kTls11 | kTls12;  // 0xA80

    // On Windows 7 or later: the Internet Explorer step, then the .NET step. Result: the
    // .NET step's registry error (0 on success, also 0 when nothing was done).
    static LONG EnforceProtocol();

    // True when the installed Internet Explorer is version 8 or later.
    static bool DoesIESupportTLS();

    // The version number of an Internet Explorer version text ("11.0.9600" gives 1100).
    static short ParseIEVersion(const char* versionText);

    // Adds TLS 1.2 to the WinHTTP and WinINet protocol values when Internet Explorer
    // supports it. Result: the WinINet step's registry error (0 on success or when skipped).
    static LONG UpdateRegistryForIE();

    // "SchUseStrongCrypto" = 1 for the .NET Framework 4. Result: registry error, 0 on success.
    static LONG UpdateRegistryForDotNet();

    // The protocol rule for one value: a readable value that lacks TLS 1.2 gets it added
    // (keeping its low 12 bits), an unreadable one becomes 0xA80, one with TLS 1.2 is left
    // alone. Result: registry error, 0 on success.
    static LONG ApplyProtocolRule(HKEY root, const char* keyPath, const char* valueName);
};

}  // namespace tw
