#include "common/HeldFolder.h"

#include <winternl.h>

#include <cstring>
#include <utility>

namespace tw {
namespace {

#ifndef FILE_OPEN_REPARSE_POINT
#define FILE_OPEN_REPARSE_POINT 0x00200000
#endif
#ifndef FILE_OPEN_FOR_BACKUP_INTENT
#define FILE_OPEN_FOR_BACKUP_INTENT 0x00004000
#endif

std::wstring Widen(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int length =
        ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

std::string WithoutClosingBackslash(std::string path) {
    while (path.size() > 1 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    return path;
}

bool SameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && ::_stricmp(a.c_str(), b.c_str()) == 0;
}

bool Fail(std::string* why, const std::string& reason, DWORD error) {
    if (why) *why = reason;
    ::SetLastError(error);
    return false;
}

// What the information of an open entry says against it being a plain file; empty when nothing.
std::string AgainstPlainFile(const BY_HANDLE_FILE_INFORMATION& info) {
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return "it is a reparse point";
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return "it is a folder";
    if (info.nNumberOfLinks > 1) return "it has " + std::to_string(info.nNumberOfLinks) + " hard links";
    return std::string();
}

}  // namespace

bool CHeldFolder::IsSingleName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    return name.find_first_of("\\/:*?\"<>|") == std::string::npos;
}

std::string CHeldFolder::FinalPathOf(HANDLE handle) {
    char path[MAX_PATH * 4] = {};
    const DWORD length =
        ::GetFinalPathNameByHandleA(handle, path, sizeof(path), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= sizeof(path)) return std::string();
    std::string text(path, length);
    if (text.compare(0, 8, "\\\\?\\UNC\\") == 0) return "\\\\" + text.substr(8);
    if (text.compare(0, 4, "\\\\?\\") == 0) return text.substr(4);
    return text;
}

std::string CHeldFolder::PathOf(const std::string& name) const { return m_path + "\\" + name; }

void CHeldFolder::Close() {
    m_handle.Reset();
    m_path.clear();
    m_finalPath.clear();
    m_verified.clear();
}

bool CHeldFolder::Hold(FileHandle folder, const std::string& path, std::string* why) {
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!::GetFileInformationByHandle(folder.Get(), &info))
        return Fail(why, "its information cannot be read", ::GetLastError());
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return Fail(why, "it is a reparse point", ERROR_CANT_ACCESS_FILE);
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return Fail(why, "it is not a folder", ERROR_DIRECTORY);
    std::string finalPath = WithoutClosingBackslash(FinalPathOf(folder.Get()));
    if (finalPath.empty()) return Fail(why, "the system does not name it", ::GetLastError());
    Close();
    m_handle = std::move(folder);
    m_path = WithoutClosingBackslash(path);
    m_finalPath = std::move(finalPath);
    return true;
}

bool CHeldFolder::Open(const std::string& path, std::string* why) {
    if (path.empty()) return Fail(why, "no folder was given", ERROR_INVALID_NAME);
    // Held without delete sharing: the folder can be neither renamed away nor removed while
    // the program works in it.
    FileHandle folder(::CreateFileA(path.c_str(),
                                    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!folder) return Fail(why, "it cannot be opened", ::GetLastError());
    return Hold(std::move(folder), path, why);
}

bool CHeldFolder::OpenChild(const CHeldFolder& parent, const std::string& name, bool create,
                            PSECURITY_DESCRIPTOR security, std::string* why) {
    if (!parent.IsOpen() || !IsSingleName(name)) return Fail(why, "the name is not valid", ERROR_INVALID_NAME);
    FileHandle folder =
        parent.OpenRelative(name, FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, create ? FILE_OPEN_IF : FILE_OPEN,
                            FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_FOR_BACKUP_INTENT,
                            FILE_ATTRIBUTE_NORMAL, security);
    if (!folder) return Fail(why, "it cannot be opened", ::GetLastError());
    const std::string expected = parent.m_finalPath + "\\" + name;
    if (!SameText(WithoutClosingBackslash(FinalPathOf(folder.Get())), expected))
        return Fail(why, "it leads to " + FinalPathOf(folder.Get()), ERROR_CANT_ACCESS_FILE);
    return Hold(std::move(folder), parent.PathOf(name), why);
}

FileHandle CHeldFolder::OpenRelative(const std::string& name, DWORD access, DWORD share, ULONG ntDisposition,
                                     ULONG options, ULONG attributes, PSECURITY_DESCRIPTOR security) const {
    std::wstring wide = Widen(name);
    if (!IsOpen() || wide.empty() || wide.size() * sizeof(wchar_t) > 0xFFFE) {
        ::SetLastError(ERROR_INVALID_NAME);
        return FileHandle();
    }
    UNICODE_STRING text;
    text.Buffer = &wide[0];
    text.Length = static_cast<USHORT>(wide.size() * sizeof(wchar_t));
    text.MaximumLength = text.Length;
    OBJECT_ATTRIBUTES object;
    InitializeObjectAttributes(&object, &text, OBJ_CASE_INSENSITIVE, m_handle.Get(), security);
    IO_STATUS_BLOCK io = {};
    HANDLE opened = nullptr;
    const NTSTATUS status = ::NtCreateFile(&opened, access | SYNCHRONIZE, &object, &io, nullptr, attributes, share,
                                           ntDisposition, options | FILE_OPEN_REPARSE_POINT, nullptr, 0);
    if (status < 0) {
        ::SetLastError(::RtlNtStatusToDosError(status));
        return FileHandle();
    }
    return FileHandle(opened);
}

void CHeldFolder::Remember(const std::string& name, const BY_HANDLE_FILE_INFORMATION& info) {
    for (Verified& known : m_verified) {
        if (SameText(known.name, name)) {
            known.volume = info.dwVolumeSerialNumber;
            known.indexHigh = info.nFileIndexHigh;
            known.indexLow = info.nFileIndexLow;
            return;
        }
    }
    m_verified.push_back(Verified{name, info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow});
}

bool CHeldFolder::Remembered(const std::string& name, const BY_HANDLE_FILE_INFORMATION& info) const {
    for (const Verified& known : m_verified) {
        if (SameText(known.name, name))
            return known.volume == info.dwVolumeSerialNumber && known.indexHigh == info.nFileIndexHigh &&
                   known.indexLow == info.nFileIndexLow;
    }
    return false;
}

bool CHeldFolder::IsPlainFileHere(HANDLE file, const std::string& name, std::string* why) {
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!::GetFileInformationByHandle(file, &info))
        return Fail(why, "its information cannot be read", ::GetLastError());
    const std::string against = AgainstPlainFile(info);
    if (!against.empty()) return Fail(why, against, ERROR_CANT_ACCESS_FILE);
    // The file verified before, still with one link and no reparse point: the same file.
    if (Remembered(name, info)) return true;
    const std::string finalPath = FinalPathOf(file);
    if (!SameText(finalPath, m_finalPath + "\\" + name))
        return Fail(why, finalPath.empty() ? "the system does not name it" : "it leads to " + finalPath,
                    ERROR_CANT_ACCESS_FILE);
    Remember(name, info);
    return true;
}

bool CHeldFolder::PutNewFileOver(const std::string& name, std::string* why) {
    for (unsigned attempt = 0; attempt < 16; ++attempt) {
        const std::string fresh = name + ".new-" + std::to_string(::GetCurrentProcessId()) + "-" +
                                  std::to_string(::GetTickCount()) + "-" + std::to_string(attempt);
        FileHandle created =
            OpenRelative(fresh, GENERIC_WRITE | DELETE, 0, FILE_CREATE,
                         FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (!created) {
            if (::GetLastError() == ERROR_FILE_EXISTS || ::GetLastError() == ERROR_ALREADY_EXISTS) continue;
            return Fail(why, "a new file cannot be made", ::GetLastError());
        }
        // A rename replaces the name itself, never what it leads to, on Windows and under Wine
        // alike (Wine's DeleteFile of a Unix symbolic link deletes the file it points at).
        if (RenameTo(created.Get(), name, true)) return true;
        const DWORD error = ::GetLastError();
        DeleteOnClose(created.Get());  // made by this call and plain: safe to delete
        return Fail(why, "the new file cannot be moved over it", error);
    }
    return Fail(why, "no free name for a new file", ERROR_FILE_EXISTS);
}

bool CHeldFolder::ReplaceIfNotPlain(const std::string& name, std::string* why) {
    if (!IsSingleName(name)) return Fail(why, "the name is not valid", ERROR_INVALID_NAME);
    std::string ignored;
    if (!why) why = &ignored;
    {
        FileHandle entry = OpenRelative(name, GENERIC_READ | FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                                        FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_FOR_BACKUP_INTENT, 0, nullptr);
        if (!entry) {
            const DWORD error = ::GetLastError();
            // Nothing there (or a link to nothing, which OpenFile never creates through), or
            // something the program cannot open and so cannot write through either.
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_ACCESS_DENIED ||
                   error == ERROR_SHARING_VIOLATION;
        }
        if (IsPlainFileHere(entry.Get(), name, why)) return true;
        BY_HANDLE_FILE_INFORMATION info = {};
        if (!::GetFileInformationByHandle(entry.Get(), &info)) return false;
        const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const bool reparse = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        // A plain folder is no link: nothing is written through it, and it is left alone.
        if (folder && !reparse) return true;
        // A junction goes as the empty folder it is, opened as itself.
        if (folder) {
            entry.Reset();
            FileHandle junction = OpenRelative(name, DELETE | FILE_READ_ATTRIBUTES,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                                               FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_FOR_BACKUP_INTENT, 0, nullptr);
            return junction && DeleteOnClose(junction.Get());
        }
    }
    return PutNewFileOver(name, why);
}

FileHandle CHeldFolder::OpenFile(const std::string& name, DWORD access, DWORD share, Disposition disposition,
                                 std::string* why) {
    if (!IsSingleName(name)) {
        Fail(why, "the name is not valid", ERROR_INVALID_NAME);
        return FileHandle();
    }
    const ULONG options = FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT;
    if (disposition == Disposition::New) {
        // A new file only: a name that is taken, a link to nothing included, is never opened.
        FileHandle file = OpenRelative(name, access, share, FILE_CREATE, options, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (!file) {
            Fail(why, "it cannot be created", ::GetLastError());
            return FileHandle();
        }
        if (!IsPlainFileHere(file.Get(), name, why)) return FileHandle();
        return file;
    }
    // The first try is the common case, a plain file already there, at one open and one query.
    // What is not that is replaced once (ExistingOrNew) and tried again; a link made again in
    // between is not written to at all.
    for (int attempt = 0; attempt < 2; ++attempt) {
        FileHandle file = OpenRelative(name, access, share, FILE_OPEN, options, 0, nullptr);
        if (!file) {
            const DWORD error = ::GetLastError();
            if (disposition != Disposition::ExistingOrNew ||
                (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)) {
                Fail(why, "it cannot be opened", error);
                return FileHandle();
            }
            // Created only as a new file: a link to a file that does not exist yet would
            // otherwise create that file wherever it points.
            file = OpenRelative(name, access, share, FILE_CREATE, options, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (!file) {
                const DWORD createError = ::GetLastError();
                if (createError != ERROR_FILE_EXISTS && createError != ERROR_ALREADY_EXISTS) {
                    Fail(why, "it cannot be created", createError);
                    return FileHandle();
                }
                // Taken although not found: a link to nothing. It is replaced, itself.
                if (why) *why = "it is a link to nothing";
                if (attempt > 0 || !PutNewFileOver(name, why)) break;
                continue;
            }
        }
        if (IsPlainFileHere(file.Get(), name, why)) return file;
        if (disposition != Disposition::ExistingOrNew) return FileHandle();
        file.Reset();
        if (attempt > 0 || !ReplaceIfNotPlain(name, why)) break;
    }
    Fail(why, why && !why->empty() ? *why : "it is a link", ERROR_CANT_ACCESS_FILE);
    return FileHandle();
}

bool CHeldFolder::RenameTo(HANDLE file, const std::string& newName, bool replaceExisting) {
    if (!IsOpen() || !IsSingleName(newName)) {
        ::SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    const std::wstring wide = Widen(newName);
    if (wide.empty()) {
        ::SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    // Asked of the system directly: the Win32 wrapper turns a relative name into a path below
    // the current folder instead of below RootDirectory on some platforms.
    using SetInformationFn = LONG(NTAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, int);
    static const auto setInformation = reinterpret_cast<SetInformationFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtSetInformationFile")));
    if (!setInformation) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return false;
    }
    constexpr int kFileRenameInformation = 10;
    // FILE_RENAME_INFO has the layout of the system's FILE_RENAME_INFORMATION.
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + wide.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = replaceExisting ? TRUE : FALSE;
    rename->RootDirectory = m_handle.Get();
    rename->FileNameLength = static_cast<DWORD>(wide.size() * sizeof(wchar_t));
    std::memcpy(rename->FileName, wide.data(), wide.size() * sizeof(wchar_t));
    IO_STATUS_BLOCK io = {};
    const LONG status = setInformation(file, &io, rename, static_cast<ULONG>(buffer.size()), kFileRenameInformation);
    if (status < 0) {
        ::SetLastError(::RtlNtStatusToDosError(status));
        return false;
    }
    // The file now under that name is verified again when next opened.
    for (auto it = m_verified.begin(); it != m_verified.end(); ++it) {
        if (SameText(it->name, newName)) {
            m_verified.erase(it);
            break;
        }
    }
    return true;
}

bool CHeldFolder::DeleteOnClose(HANDLE handle) {
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = TRUE;
    return ::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}

}  // namespace tw
