#pragma once
// Keeps the real update log folder as it was: the status record files' content and the
// folder levels a test created. The record files are empty while the guard lives.

#include <string>
#include <vector>

namespace twtest {

class UpdateLogFolderGuard {
public:
    UpdateLogFolderGuard();
    ~UpdateLogFolderGuard();
    UpdateLogFolderGuard(const UpdateLogFolderGuard&) = delete;
    UpdateLogFolderGuard& operator=(const UpdateLogFolderGuard&) = delete;

    // The status records written since the guard was created: the lines of "Patch.log".
    std::vector<std::string> Records() const;

    std::string folder;

private:
    struct Level {
        std::string path;
        bool existed;
    };
    struct File {
        std::string path;
        bool existed;
        std::string content;
    };
    std::vector<Level> m_levels;
    std::vector<File> m_files;
};

}  // namespace twtest
