#include "offcycle/ulip/VerifiedFolder.h"

#include <cstring>
#include <utility>

namespace tw {

namespace {

constexpr DWORD kNoFollow = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS;

std::string WithoutClosingBackslash(std::string path) {
    while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    return path;
}

// The full, long form of a path, without a closing backslash; empty when it has none.
std::string Normalised(const std::string& path) {
    char full[MAX_PATH * 4] = {};
    const DWORD length = ::GetFullPathNameA(path.c_str(), sizeof(full), full, nullptr);
    if (length == 0 || length >= sizeof(full)) return std::string();
    char longer[MAX_PATH * 4] = {};
    const DWORD longLength = ::GetLongPathNameA(full, longer, sizeof(longer));
    return WithoutClosingBackslash(longLength > 0 && longLength < sizeof(longer) ? longer : full);
}

bool SamePath(const std::string& a, const std::string& b) {
    return !a.empty() && a.size() == b.size() && ::_stricmp(a.c_str(), b.c_str()) == 0;
}

bool IsBelow(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() && path[folder.size()] == '\\' &&
           ::_strnicmp(path.c_str(), folder.c_str(), folder.size()) == 0;
}

bool MarkForDeletion(HANDLE handle) {
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = TRUE;
    return ::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}

}  // namespace

std::string CVerifiedFolder::FullPath(const std::string& path) { return Normalised(path); }

std::string CVerifiedFolder::FinalPath(HANDLE handle) {
    char path[MAX_PATH * 4] = {};
    const DWORD length =
        ::GetFinalPathNameByHandleA(handle, path, sizeof(path), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= sizeof(path)) return std::string();
    std::string text(path, length);
    if (text.compare(0, 8, "\\\\?\\UNC\\") == 0) return "\\\\" + text.substr(8);
    if (text.compare(0, 4, "\\\\?\\") == 0) return text.substr(4);
    return text;
}

bool CVerifiedFolder::IsHandleOf(HANDLE handle, const std::string& fullPath, bool directory) {
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!::GetFileInformationByHandle(handle, &info)) return false;
    const bool isDirectory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || isDirectory != directory ||
        (!directory && info.nNumberOfLinks != 1) || !SamePath(FinalPath(handle), fullPath)) {
        ::SetLastError(ERROR_CANT_ACCESS_FILE);
        return false;
    }
    return true;
}

std::string CVerifiedFolder::Full(const std::string& relative) const {
    return WithoutClosingBackslash(m_path + relative);
}

FileHandle CVerifiedFolder::OpenEntry(const std::string& full, DWORD access, DWORD share, DWORD disposition,
                                      DWORD attributes) {
    return FileHandle(
        ::CreateFileA(full.c_str(), access, share, nullptr, disposition, attributes | kNoFollow, nullptr));
}

bool CVerifiedFolder::Open(const std::string& folder) {
    Close();
    const std::string full = Normalised(folder);
    if (full.empty()) {
        ::SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    FileHandle root = OpenEntry(full, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
    if (!root || !IsHandleOf(root.Get(), full, true)) return false;
    m_root = std::move(root);
    m_path = full + "\\";
    return true;
}

void CVerifiedFolder::Close() {
    m_holds.clear();
    m_root.Reset();
    m_path.clear();
}

void CVerifiedFolder::ReleaseHold(const std::string& full) {
    for (auto it = m_holds.begin(); it != m_holds.end();) {
        if (SamePath(it->path, full) || IsBelow(it->path, full))
            it = m_holds.erase(it);
        else
            ++it;
    }
}

bool CVerifiedFolder::CreateFolder(const std::string& relative) {
    if (!IsOpen() || relative.empty()) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    const std::string full = Full(relative);
    for (const Hold& hold : m_holds)
        if (SamePath(hold.path, full)) return true;
    if (!::CreateDirectoryA(full.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) return false;
    FileHandle folder = OpenEntry(full, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
    if (!folder || !IsHandleOf(folder.Get(), full, true)) return false;
    m_holds.push_back(Hold{full, std::move(folder)});
    return true;
}

FileHandle CVerifiedFolder::CreateNewFile(const std::string& relative, DWORD access, DWORD share) {
    if (!IsOpen() || relative.empty()) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return FileHandle();
    }
    const std::string full = Full(relative);
    // A new file only: nothing that had the name is ever written through.
    FileHandle file = OpenEntry(full, access | DELETE, share, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
    if (!file && (::GetLastError() == ERROR_FILE_EXISTS || ::GetLastError() == ERROR_ALREADY_EXISTS)) {
        if (!Remove(relative)) return FileHandle();
        file = OpenEntry(full, access | DELETE, share, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
    }
    if (!file) return FileHandle();
    if (!IsHandleOf(file.Get(), full, false)) {
        // Created somewhere else through a link on the way: what was made there goes again.
        const DWORD error = ::GetLastError();
        MarkForDeletion(file.Get());
        ::SetLastError(error);
        return FileHandle();
    }
    return file;
}

FileHandle CVerifiedFolder::OpenExistingFile(const std::string& relative, DWORD access, DWORD share) {
    if (!IsOpen() || relative.empty()) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return FileHandle();
    }
    const std::string full = Full(relative);
    FileHandle file = OpenEntry(full, access, share, OPEN_EXISTING, 0);
    if (!file || !IsHandleOf(file.Get(), full, false)) return FileHandle();
    return file;
}

bool CVerifiedFolder::Remove(const std::string& relative) {
    if (!IsOpen()) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    const std::string full = Full(relative);
    ReleaseHold(full);
    if (relative.empty()) {
        m_holds.clear();
        m_root.Reset();
    }
    FileHandle entry = OpenEntry(full, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING, 0);
    bool removed = false;
    if (entry) {
        BY_HANDLE_FILE_INFORMATION info = {};
        if (::GetFileInformationByHandle(entry.Get(), &info)) {
            // A reparse point opened as itself is removed as itself. Anything else must be the
            // entry asked for: a link this platform followed names its target instead.
            if (!(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && !SamePath(FinalPath(entry.Get()), full)) {
                ::SetLastError(ERROR_CANT_ACCESS_FILE);
            } else {
                if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
                    FILE_BASIC_INFO basic = {};
                    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
                    ::SetFileInformationByHandle(entry.Get(), FileBasicInfo, &basic, sizeof(basic));
                }
                removed = MarkForDeletion(entry.Get());
            }
        }
    }
    const DWORD error = ::GetLastError();
    entry.Reset();
    if (relative.empty()) m_path.clear();
    ::SetLastError(removed ? 0 : error);
    return removed;
}

bool CVerifiedFolder::Empty(const std::string& relative, int maxDepth, const FailureSink& failed) {
    if (!IsOpen()) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    const std::string full = Full(relative);
    const std::string prefix = relative.empty() ? std::string() : WithoutClosingBackslash(relative) + "\\";
    if (!relative.empty()) {
        // Only a folder that is verified to be this one is listed.
        FileHandle folder = OpenEntry(full, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING, 0);
        if (!folder || !IsHandleOf(folder.Get(), full, true)) return false;
    }
    WIN32_FIND_DATAA found;
    FindHandle listing(::FindFirstFileA((full + "\\*").c_str(), &found));
    if (!listing) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    std::vector<WIN32_FIND_DATAA> entries;
    do {
        if (std::strcmp(found.cFileName, ".") != 0 && std::strcmp(found.cFileName, "..") != 0) entries.push_back(found);
    } while (::FindNextFileA(listing.Get(), &found));
    listing.Reset();

    bool all = true;
    for (const WIN32_FIND_DATAA& item : entries) {
        const std::string child = prefix + item.cFileName;
        const bool folder = (item.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                            !(item.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
        if (folder) {
            if (maxDepth <= 0) {
                failed(item.cFileName, ERROR_FILENAME_EXCED_RANGE);
                all = false;
                continue;
            }
            if (!Empty(child, maxDepth - 1, failed)) {
                const DWORD error = ::GetLastError();
                failed(item.cFileName, error ? error : ERROR_DIR_NOT_EMPTY);
                all = false;
                continue;
            }
        }
        if (!Remove(child)) {
            failed(item.cFileName, ::GetLastError());
            all = false;
        }
    }
    if (!all) ::SetLastError(ERROR_DIR_NOT_EMPTY);
    return all;
}

}  // namespace tw
