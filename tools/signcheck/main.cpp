// Checks the Authenticode signature of one file through the program's own signature check:
//   signcheck <file>
// Prints "WinVerifyTrust=0x........" and "signer=<simple display name>" (empty when the file
// carries no readable signature). Exit code 0 when WinVerifyTrust answers 0 (trusted) and the
// signer is the maker, 1 otherwise, 2 when the file cannot be opened.
#include <windows.h>

#include <cstdio>
#include <string>

#include "common/Handles.h"
#include "offcycle/ulip/CabinetSignature.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: signcheck <file>\n");
        return 2;
    }
    const char* path = argv[1];
    tw::FileHandle file(
        ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        std::fprintf(stderr, "signcheck: cannot open %s: error %lu\n", path, ::GetLastError());
        return 2;
    }
    const LONG trust = tw::CCabinetSignature::VerifyTrust(file.Get(), path);
    std::string signer;
    const bool named = tw::CCabinetSignature::ReadSignerName(file.Get(), path, signer);
    std::printf("WinVerifyTrust=0x%08lX\nsigner=%s\n", static_cast<unsigned long>(trust), named ? signer.c_str() : "");
    return trust == 0 && named && tw::CCabinetSignature::IsMakerName(signer.c_str()) ? 0 : 1;
}
