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

bool CLinkSafeFile::ReplaceIfLink(const std::string& path, std::string* why) {
    std::string ignored;
    if (!why) why = &ignored;
    bool directory = false;
    {
        // Opened for reading, not for its attributes alone: Wine names a Unix symbolic link's
        // target only on a handle that reaches the file's data.
        FileHandle entry = OpenEntry(path, GENERIC_READ | FILE_READ_ATTRIBUTES, OPEN_EXISTING);
        if (!entry) {
            const DWORD error = ::GetLastError();
            // Nothing there, or something the program cannot open and so cannot write either.
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_ACCESS_DENIED ||
                   error == ERROR_SHARING_VIOLATION;
        }
        if (IsPlainFileAt(entry.Get(), path, why)) return true;
        BY_HANDLE_FILE_INFORMATION info{};
        if (!::GetFileInformationByHandle(entry.Get(), &info)) return false;
        directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        // A plain folder is no link: nothing is written through it, and it is left alone.
        if (directory && !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
    }
    // A junction goes as the empty folder it is.
    if (directory) return ::RemoveDirectoryA(path.c_str()) != FALSE;
    // The link is replaced by a new empty file moved over its name: a rename replaces the
    // name itself, never what it leads to, on Windows and under Wine alike (Wine's DeleteFile
    // of a Unix symbolic link deletes the file it points at). The new file gets a name of its
    // own that nobody could have prepared.
    for (unsigned attempt = 0; attempt < 16; ++attempt) {
        const std::string fresh = path + ".new-" + std::to_string(::GetCurrentProcessId()) + "-" +
                                  std::to_string(::GetTickCount()) + "-" + std::to_string(attempt);
        {
            FileHandle created(
                ::CreateFileA(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!created) {
                if (::GetLastError() == ERROR_FILE_EXISTS) continue;
                return false;
            }
        }
        if (::MoveFileExA(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
        // The new file was made by this call and is plain: deleting it is safe.
        ::DeleteFileA(fresh.c_str());
        return false;
    }
    return false;
}

std::FILE* CLinkSafeFile::OpenForAppend(const std::string& path, const char* mode) {
    if (path.empty() || !mode) return nullptr;
    const bool readToo = std::strchr(mode, '+') != nullptr;
    const DWORD access = FILE_APPEND_DATA | SYNCHRONIZE | FILE_READ_ATTRIBUTES | GENERIC_READ;
    FileHandle file;
    // The handle written through is checked too; a link made again between the check and the
    // open is replaced once more, and a third link in a row is not written to at all.
    for (int attempt = 0; attempt < 2 && !file; ++attempt) {
        if (!ReplaceIfLink(path)) return nullptr;
        file = OpenEntry(path, access, OPEN_ALWAYS);
        if (file && !IsPlainFileAt(file.Get(), path)) file.Reset();
    }
    if (!file) return nullptr;
    // Text mode unless asked otherwise, as fopen gives it: lines end in CR LF on disk.
    const int translation = std::strchr(mode, 'b') ? _O_BINARY : _O_TEXT;
    const int descriptor = ::_open_osfhandle(reinterpret_cast<intptr_t>(file.Get()),
                                             _O_APPEND | translation | (readToo ? _O_RDWR : _O_WRONLY));
    if (descriptor == -1) return nullptr;
    file.Release();  // the descriptor owns the handle now
    std::FILE* stream = ::_fdopen(descriptor, mode);
    if (!stream) ::_close(descriptor);
    return stream;
}

}  // namespace tw
