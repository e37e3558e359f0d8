#pragma once
// A folder whose entries are only created, opened and deleted through handles that do not
// follow links: every handle is opened with FILE_FLAG_OPEN_REPARSE_POINT, its attributes are
// read from the open handle, and the path the system gives for the open handle must be the
// one asked for below the folder. A link (junction, symbolic link, mount point) anywhere on
// the way, or a second name of a file (a hard link), is refused instead of written through;
// a link found while emptying is removed itself, never what it points to. The folder itself
// and every folder created in it are kept open without delete sharing while this object
// holds them, so none of them can be renamed away or swapped for a link meanwhile.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "common/Handles.h"

namespace tw {

class CVerifiedFolder {
public:
    CVerifiedFolder() = default;
    CVerifiedFolder(const CVerifiedFolder&) = delete;
    CVerifiedFolder& operator=(const CVerifiedFolder&) = delete;

    // Opens an existing folder given by its full path: not a link itself, and reached through
    // no link (the system's name for the open folder is the path given). False with the
    // system error set otherwise.
    bool Open(const std::string& folder);
    // Ends every hold; nothing is deleted.
    void Close();
    bool IsOpen() const { return m_root.IsValid(); }
    // The folder with a closing backslash.
    const std::string& Path() const { return m_path; }

    // Creates the folder 'relative' (its parent must exist) or takes the one there, verified,
    // and holds it.
    bool CreateFolder(const std::string& relative);
    // Creates the file 'relative' anew (whatever had that name, a link included, is removed
    // first, itself) and returns the verified handle; invalid with the system error set on
    // failure.
    FileHandle CreateNewFile(const std::string& relative, DWORD access, DWORD share);
    // Opens the existing file 'relative', verified: not a link and no second name.
    FileHandle OpenExistingFile(const std::string& relative, DWORD access, DWORD share);

    // Removes one entry: a file, an empty folder, or a link itself. An entry that the system
    // names elsewhere when opened (a link this platform follows) is refused and left.
    bool Remove(const std::string& relative);

    // Called for an entry that could not be removed: its name and the system error.
    using FailureSink = std::function<void(const std::string& name, DWORD error)>;
    // Removes everything inside the folder 'relative' ("" for the folder itself), descending
    // into folders (at most maxDepth levels) but never into links. True when all went.
    bool Empty(const std::string& relative, int maxDepth, const FailureSink& failed);

    // True when the handle is verified to be the entry 'fullPath': no reparse point, the
    // kind asked for, one name for a file, and the system's name for it equal to the path.
    static bool IsHandleOf(HANDLE handle, const std::string& fullPath, bool directory);
    // The full, long form of a path without a closing backslash; empty when it has none.
    static std::string FullPath(const std::string& path);
    // The system's name for an open handle, without the "\\?\" prefix; empty on failure.
    static std::string FinalPath(HANDLE handle);

private:
    std::string Full(const std::string& relative) const;
    FileHandle OpenEntry(const std::string& full, DWORD access, DWORD share, DWORD disposition, DWORD attributes);
    void ReleaseHold(const std::string& full);

    struct Hold {
        std::string path;
        FileHandle handle;
    };
    std::string m_path;
    FileHandle m_root;
    std::vector<Hold> m_holds;
};

}  // namespace tw
