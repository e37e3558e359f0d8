#include "offcycle/ulip/HeldCabinet.h"

#include <cstring>
#include <new>
#include <utility>

#include "offcycle/ulip/VerifiedFolder.h"

namespace tw {

bool CHeldCabinet::Open(const char* path) {
    Release();
    if (!path || !*path) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    FileHandle file(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
    // The cabinet itself: not a link, not a second name of another file.
    if (!file || !CVerifiedFolder::IsHandleOf(file.Get(), CVerifiedFolder::FullPath(path), false)) return false;
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file.Get(), &size)) return false;
    if (size.QuadPart < 0 || static_cast<unsigned long long>(size.QuadPart) > kMaxSize) {
        ::SetLastError(ERROR_FILE_TOO_LARGE);
        return false;
    }
    std::vector<unsigned char> image;
    try {
        image.resize(static_cast<size_t>(size.QuadPart));
    } catch (const std::bad_alloc&) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    size_t done = 0;
    while (done < image.size()) {
        DWORD want = image.size() - done > 0x100000 ? 0x100000 : static_cast<DWORD>(image.size() - done);
        DWORD read = 0;
        if (!::ReadFile(file.Get(), image.data() + done, want, &read, nullptr)) return false;
        if (read == 0) {
            ::SetLastError(ERROR_HANDLE_EOF);
            return false;
        }
        done += read;
    }
    m_path = path;
    m_file = std::move(file);
    m_image.swap(image);
    return true;
}

void CHeldCabinet::Release() {
    m_file.Reset();
    m_image.clear();
    m_image.shrink_to_fit();
    m_path.clear();
}

bool CHeldCabinet::Names(const char* path) const { return IsOpen() && path && ::_stricmp(m_path.c_str(), path) == 0; }

}  // namespace tw
