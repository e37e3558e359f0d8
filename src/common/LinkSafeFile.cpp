#include "common/LinkSafeFile.h"

#include <fcntl.h>
#include <io.h>

#include <cstring>

#include "common/Handles.h"
#include "common/PathRules.h"

namespace tw {
namespace {

// "\\?\C:\a" -> "C:\a", "\\?\UNC\srv\share" -> "\\srv\share".
std::string WithoutLongPrefix(const std::string& path) {
    if (path.compare(0, 8, "\\\\?\\UNC\\") == 0) return "\\\\" + path.substr(8);
    if (path.compare(0, 4, "\\\\?\\") == 0) return path.substr(4);
    return path;
}

bool SamePlace(const std::string& finalPath, const std::string& expectedPath) {
    const std::string expected = CPathRules::Normalise(expectedPath);
    if (::_stricmp(finalPath.c_str(), expected.c_str()) == 0) return true;
    // The expected path may carry short (8.3) names that the final path spells out.
    char longPath[MAX_PATH * 4] = {};
    const DWORD length = ::GetLongPathNameA(expected.c_str(), longPath, sizeof(longPath));
    return length > 0 && length < sizeof(longPath) && ::_stricmp(finalPath.c_str(), longPath) == 0;
}

// Opens the entry itself, not what a link leads to.
FileHandle OpenEntry(const std::string& path, DWORD access, DWORD disposition) {
    return FileHandle(::CreateFileA(
        path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

}  // namespace

bool CLinkSafeFile::IsPlainFileAt(HANDLE file, const std::string& expectedPath, std::string* why) {
    std::string ignored;
    if (!why) why = &ignored;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file, &info)) {
        *why = "its information cannot be read";
        return false;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        *why = "it is a reparse point";
        return false;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        *why = "it is a folder";
        return false;
    }
    if (info.nNumberOfLinks > 1) {
        *why = "it has " + std::to_string(info.nNumberOfLinks) + " hard links";
        return false;
    }
    char finalPath[MAX_PATH * 4] = {};
    const DWORD length = ::GetFinalPathNameByHandleA(file, finalPath, sizeof(finalPath), FILE_NAME_NORMALIZED);
    if (length > 0 && length < sizeof(finalPath)) {
        const std::string actual = WithoutLongPrefix(finalPath);
        if (!SamePlace(actual, expectedPath)) {
            *why = "it leads to " + actual;
            return false;
        }
    }
    return true;
}

bool CLinkSafeFile::RemoveIfLink(const std::string& path, std::string* why) {
    std::string ignored;
    if (!why) why = &ignored;
    bool directory = false;
    {
        FileHandle entry = OpenEntry(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING);
        if (!entry) {
            const DWORD error = ::GetLastError();
            // Nothing there, or something the program cannot open and so cannot write either.
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_ACCESS_DENIED ||
                   error == ERROR_SHARING_VIOLATION;
        }
        if (IsPlainFileAt(entry.Get(), path, why)) return true;
        BY_HANDLE_FILE_INFORMATION info{};
        directory = ::GetFileInformationByHandle(entry.Get(), &info) &&
                    (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                    (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    }
    // The link goes, not what it leads to: DeleteFile removes a symbolic link or one name of
    // a hard link; a junction is removed as the empty folder it is.
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return directory ? ::RemoveDirectoryA(path.c_str()) != FALSE : ::DeleteFileA(path.c_str()) != FALSE;
}

std::FILE* CLinkSafeFile::OpenForAppend(const std::string& path, const char* mode) {
    if (path.empty() || !mode) return nullptr;
    if (!RemoveIfLink(path)) return nullptr;
    const bool readToo = std::strchr(mode, '+') != nullptr;
    FileHandle file = OpenEntry(
        path, FILE_APPEND_DATA | SYNCHRONIZE | FILE_READ_ATTRIBUTES | (readToo ? GENERIC_READ : 0), OPEN_ALWAYS);
    // Made a link again between the check and the open: not written.
    if (!file || !IsPlainFileAt(file.Get(), path)) return nullptr;
    const int descriptor =
        ::_open_osfhandle(reinterpret_cast<intptr_t>(file.Get()), _O_APPEND | (readToo ? _O_RDWR : _O_WRONLY));
    if (descriptor == -1) return nullptr;
    file.Release();  // the descriptor owns the handle now
    std::FILE* stream = ::_fdopen(descriptor, mode);
    if (!stream) ::_close(descriptor);
    return stream;
}

}  // namespace tw
