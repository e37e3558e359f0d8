#include "offcycle/ulip/HeldFiles.h"

#include <cstring>
#include <utility>

#include "offcycle/ulip/VerifiedFolder.h"

namespace tw {

bool CHeldFiles::Hold(const std::string& path, const CSha256::Digest& expected) {
    FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file || !CVerifiedFolder::IsHandleOf(file.Get(), CVerifiedFolder::FullPath(path), false)) return false;
    CSha256::Digest actual = {};
    if (!CSha256::OfFile(file.Get(), actual) || actual != expected) {
        ::SetLastError(ERROR_FILE_INVALID);
        return false;
    }
    m_files.push_back(Held{path, std::move(file), expected});
    return true;
}

void CHeldFiles::Release(const char* path) {
    if (!path) return;
    for (auto it = m_files.begin(); it != m_files.end();) {
        if (::_stricmp(it->path.c_str(), path) == 0)
            it = m_files.erase(it);
        else
            ++it;
    }
}

bool CHeldFiles::IsHeldUnchanged(const char* path) const {
    if (!path) return false;
    for (const auto& held : m_files) {
        if (::_stricmp(held.path.c_str(), path) != 0) continue;
        CSha256::Digest now = {};
        return CSha256::OfFile(held.handle.Get(), now) && now == held.digest;
    }
    return false;
}

void CHeldFiles::ReleaseAll() { m_files.clear(); }

bool CHeldFiles::IsHeld(const char* path) const {
    if (!path) return false;
    for (const auto& held : m_files)
        if (::_stricmp(held.path.c_str(), path) == 0) return true;
    return false;
}

}  // namespace tw
