#pragma once
// Files kept open for reading with only read sharing: while held, nobody can write, rename or
// delete them, so what was checked is what gets used.

#include <windows.h>

#include <string>
#include <vector>

#include "common/Handles.h"
#include "offcycle/Sha256.h"

namespace tw {

class CHeldFiles {
public:
    CHeldFiles() = default;
    CHeldFiles(const CHeldFiles&) = delete;
    CHeldFiles& operator=(const CHeldFiles&) = delete;

    // Opens the file for reading with read sharing only (itself, never through a link, and
    // only when it has one name) and keeps it open when its content has the expected digest. False (and nothing held)
    // when it cannot be opened or differs: somebody replaced it after it was written.
    bool Hold(const std::string& path, const CSha256::Digest& expected);
    // Ends the hold on one file (paths compared without regard to case); unknown paths are ignored.
    void Release(const char* path);
    void ReleaseAll();
    bool IsHeld(const char* path) const;
    // True when the file is held and its content, read again through the held handle, still
    // has the digest it was held with.
    bool IsHeldUnchanged(const char* path) const;
    size_t Count() const { return m_files.size(); }

private:
    struct Held {
        std::string path;
        FileHandle handle;
        CSha256::Digest digest;
    };
    std::vector<Held> m_files;
};

}  // namespace tw
