#pragma once
// The Authenticode check of the package cabinet and of its signer's name, both made through
// the handle of the held cabinet, and the process-wide trust that a failed check revokes.

#include <windows.h>

#include <string>

namespace tw {

class CCabinetSignature {
public:
    // WinVerifyTrust's answer for the file behind the handle (0: trusted). The path is the
    // narrow name of the same file, widened in the ANSI code page.
    static LONG VerifyTrust(HANDLE file, const char* path);

    // The signer's simple display name from the file's embedded signature; false when the
    // file has no readable signature.
    static bool ReadSignerName(HANDLE file, const char* path, std::string& name);

    // True when the display name is the maker's: lower-cased, only letters and spaces kept,
    // trimmed, runs of spaces made one, it must equal "veltra inc".
    static bool IsMakerName(const char* displayName);

    // Set when the process starts; cleared by the first failed check, never set again.
    static bool ProcessTrusted();
    static void RevokeProcessTrust();

    // The narrow path widened in the ANSI code page; empty when it is not valid there.
    static std::wstring WidePath(const char* path);
};

}  // namespace tw
