#pragma once
// SHA-256 of a stream of bytes, through the system's hash provider.

#include <windows.h>

#include <array>
#include <cstddef>

#include "common/Handles.h"

namespace tw {

class CSha256 {
public:
    using Digest = std::array<unsigned char, 32>;

    CSha256();
    CSha256(const CSha256&) = delete;
    CSha256& operator=(const CSha256&) = delete;

    // False once any step failed; the digest is then not to be trusted.
    bool Ok() const { return m_ok; }
    bool Update(const void* data, size_t size);
    // Ends the hash; no update may follow.
    bool Finish(Digest& digest);

    // Digest of a whole file read from its beginning through the handle.
    static bool OfFile(HANDLE file, Digest& digest);

private:
    HashAlgorithm m_algorithm;
    HashObject m_hash;
    bool m_ok = false;
};

}  // namespace tw
