#pragma once
// A folder opened once and held for as long as the program works in it; its entries are
// opened, created, renamed and deleted relative to the held handle, never by a path that a
// standard user could redirect between a check and the action.
//
// The elevated run writes into folders a standard user can write (the update folder, the
// update log folder under ProgramData). There a name can be a symbolic link, a junction or a
// second hard link of some other file, made before the run or while it runs. Entries are
// therefore opened without following a link on the last step (FILE_OPEN_REPARSE_POINT),
// created only as new files (a link to a file that does not exist yet would otherwise create
// that file wherever it points), and checked on the handle that is then used: a file is the
// file it seems when it is no reparse point, has one link, and the system's name for it is
// the held folder's name plus its own. The held folder's name is what the system calls it, so
// a folder reached through a mapped or substituted drive or a junction is compared with
// itself, not with the path that was given.
//
// A file once verified is recognised again by its identity (volume and file index) from the
// one query the check makes anyway, so that a log opened for every line costs one open and
// one query; a file with another identity is verified in full again.
//
// Not thread-safe: one owner uses a held folder.

#include <windows.h>

#include <string>
#include <vector>

#include "common/Handles.h"

namespace tw {

class CHeldFolder {
public:
    enum class Disposition {
        Existing,       // the file must be there
        New,            // a new file; fails when the name is taken
        ExistingOrNew,  // the file there, or a new one; a name that is a link is replaced
    };

    CHeldFolder() = default;
    CHeldFolder(const CHeldFolder&) = delete;
    CHeldFolder& operator=(const CHeldFolder&) = delete;
    CHeldFolder(CHeldFolder&&) noexcept = default;
    CHeldFolder& operator=(CHeldFolder&&) noexcept = default;

    // Opens and holds the existing folder 'path' (a full path): a folder, not a reparse point
    // itself. It cannot be renamed or deleted while held. False with the system error set and
    // the reason in 'why' otherwise.
    bool Open(const std::string& path, std::string* why = nullptr);

    // Opens and holds the folder 'name' inside 'parent', creating it when 'create' is set and
    // it is missing; a folder created here gets 'security' (null: inherited). An entry of that
    // name that is a link, or that the system names elsewhere, is refused.
    bool OpenChild(const CHeldFolder& parent, const std::string& name, bool create,
                   PSECURITY_DESCRIPTOR security = nullptr, std::string* why = nullptr);

    void Close();
    bool IsOpen() const { return m_handle.IsValid(); }
    HANDLE Handle() const { return m_handle.Get(); }
    // The path as given when opened, without a closing backslash.
    const std::string& Path() const { return m_path; }
    // The system's name for the held folder, without the "\\?\" prefix or a closing backslash.
    const std::string& FinalPath() const { return m_finalPath; }
    // Path() + "\" + name.
    std::string PathOf(const std::string& name) const;

    // Opens the file 'name' (one component) of this folder, verified (IsPlainFileHere).
    // ExistingOrNew: an entry that is a link (to a file or to nothing) or a second name of
    // another file is first replaced by a new empty file, itself, never what it leads to.
    // Invalid with the system error set and the reason in 'why' otherwise.
    FileHandle OpenFile(const std::string& name, DWORD access, DWORD share, Disposition disposition,
                        std::string* why = nullptr);

    // True when the open handle is the plain file 'name' of this folder: not a reparse point,
    // not a folder, one link, and named by the system as this folder's file 'name'.
    bool IsPlainFileHere(HANDLE file, const std::string& name, std::string* why = nullptr);

    // Puts a new empty file in the place of the entry 'name' when that entry is not a plain
    // file of this folder: a link goes itself (a new file is moved over its name; a junction
    // is removed), never what it points at. True when what is there now is a plain file, or
    // nothing.
    bool ReplaceIfNotPlain(const std::string& name, std::string* why = nullptr);

    // Renames the file open as 'file' (opened with DELETE access) to 'newName' in this folder.
    bool RenameTo(HANDLE file, const std::string& newName, bool replaceExisting);
    // Deletes the file or empty folder open as 'handle' (opened with DELETE access) when the
    // handle is closed.
    static bool DeleteOnClose(HANDLE handle);

    // The system's name for an open handle, without the "\\?\" prefix; empty on failure.
    static std::string FinalPathOf(HANDLE handle);
    // True when 'name' is one plain component: not empty, no separators, drive or stream
    // colons, wildcards, and not "." or "..".
    static bool IsSingleName(const std::string& name);

private:
    // Opens 'name' relative to the held folder without following a last-step link.
    // 'ntDisposition' and 'options' are NtCreateFile's.
    FileHandle OpenRelative(const std::string& name, DWORD access, DWORD share, ULONG ntDisposition, ULONG options,
                            ULONG attributes, PSECURITY_DESCRIPTOR security) const;
    // A new empty file under a name nobody could have prepared, moved over 'name'.
    bool PutNewFileOver(const std::string& name, std::string* why);
    bool Hold(FileHandle folder, const std::string& path, std::string* why);
    void Remember(const std::string& name, const BY_HANDLE_FILE_INFORMATION& info);
    bool Remembered(const std::string& name, const BY_HANDLE_FILE_INFORMATION& info) const;

    struct Verified {
        std::string name;
        DWORD volume = 0;
        DWORD indexHigh = 0;
        DWORD indexLow = 0;
    };
    FileHandle m_handle;
    std::string m_path;
    std::string m_finalPath;
    std::vector<Verified> m_verified;
};

}  // namespace tw
