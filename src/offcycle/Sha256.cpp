#include "offcycle/Sha256.h"

#include <climits>
#include <vector>

namespace tw {

CSha256::CSha256() {
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(m_algorithm.Put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        return;
    m_ok = BCRYPT_SUCCESS(::BCryptCreateHash(m_algorithm.Get(), m_hash.Put(), nullptr, 0, nullptr, 0, 0));
}

bool CSha256::Update(const void* data, size_t size) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    while (m_ok && size > 0) {
        ULONG piece = size > ULONG_MAX ? ULONG_MAX : static_cast<ULONG>(size);
        m_ok = BCRYPT_SUCCESS(::BCryptHashData(m_hash.Get(), const_cast<PUCHAR>(bytes), piece, 0));
        bytes += piece;
        size -= piece;
    }
    return m_ok;
}

bool CSha256::Finish(Digest& digest) {
    if (m_ok) m_ok = BCRYPT_SUCCESS(::BCryptFinishHash(m_hash.Get(), digest.data(), static_cast<ULONG>(digest.size()), 0));
    m_hash.Reset();
    return m_ok;
}

bool CSha256::OfFile(HANDLE file, Digest& digest) {
    LARGE_INTEGER start = {};
    if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return false;
    CSha256 hash;
    std::vector<unsigned char> buffer(64 * 1024);
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) return false;
        if (read == 0) break;
        if (!hash.Update(buffer.data(), read)) return false;
    }
    return hash.Finish(digest);
}

}  // namespace tw
