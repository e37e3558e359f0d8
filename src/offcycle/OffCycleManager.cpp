#include "offcycle/OffCycleManager.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <list>
#include <utility>
#include <vector>

#include "common/ProtectedFolder.h"
#include "common/TextUtil.h"

namespace tw {

COffCycleManager::COffCycleManager(bool copyMode) : m_copier(copyMode) {}

COffCycleManager::~COffCycleManager() = default;

void COffCycleManager::SetLogger(Logger logger) {
    m_managerLogger = logger;
    COffCycleFileSelector::SetLogger(logger);
    m_copier.SetLogger(logger);
}

bool COffCycleManager::SetCopyMode(bool copyMode) { return m_copier.SetCopyMode(copyMode); }

void COffCycleManager::LogLine(const char* format, ...) {
    if (!m_managerLogger) return;
    char line[kMessageSize];
    va_list args;
    va_start(args, format);
    SafeFormatV(line, sizeof(line), format, args);
    va_end(args);
    m_managerLogger(line);
}

void COffCycleManager::LoadManifestsBesideProgram(const char* installDir, const char* commonDataDir) {
    // The update package may carry manifests and a ULIP trigger beside the program.
    char programPath[kModulePathSize] = {};
    DWORD length = ::GetModuleFileNameA(nullptr, programPath, kModulePathSize);
    if (length > 0 && length < kModulePathSize) {
        char* lastSlash = std::strrchr(programPath, '\\');
        if (lastSlash) *lastSlash = '\0';
        LoadAllManifests(programPath, installDir, commonDataDir);  // its result is not looked at
    } else {
        // A cut path would name some other folder; its manifests are not ours to load.
        LogLine(
            "In COffCycleManager::SaveOffCycleFiles, the program path does not fit %u characters, its folder is "
            "not searched",
            static_cast<unsigned>(kModulePathSize));
    }
}

std::vector<std::pair<std::string, std::string>> COffCycleManager::FilesToSave(const std::set<std::string>& features,
                                                                               const char* installDir,
                                                                               const char* commonDataDir) {
    std::vector<std::pair<std::string, std::string>> toSave;
    std::list<std::string> files;
    for (const std::string& feature : features) {
        files.clear();
        GetFilesForFeature(feature.c_str(), files, installDir, commonDataDir);
        for (const std::string& file : files) {
            char fullPath[kFullPathSize] = {};
            if (file.empty() || !::_fullpath(fullPath, file.c_str(), kFullPathSize)) {
                // No file can be named by it: skipped, as a file that is not installed is.
                LogLine(
                    "In COffCycleManager::SaveOffCycleFiles, could not make the path of file %s for feature %s "
                    "absolute, skipped",
                    file.c_str(), feature.c_str());
                continue;
            }
            toSave.emplace_back(feature, fullPath);
        }
    }
    return toSave;
}

HRESULT COffCycleManager::SaveOffCycleFiles(const std::set<std::string>& features, const char* manifestFolder,
                                            const char* installDir, const char* commonDataDir) {
    if (!manifestFolder) manifestFolder = "";
    LoadManifestsBesideProgram(installDir, commonDataDir);

    if (m_lastManifestFolder != manifestFolder) {
        HRESULT hr = LoadAllManifests(manifestFolder, installDir, commonDataDir);
        m_lastManifestFolder = manifestFolder;
        if (FAILED(hr)) {
            LogLine("In COffCycleManager::SaveOffCycleFiles, Failed to open manifest files in directory: %s",
                    manifestFolder);
            return hr;
        }
    }
    LogLine("In COffCycleManager::SaveOffCycleFiles, successfully opened manifest files in directory: %s",
            manifestFolder);

    // Every file is tried: one that cannot be saved must not leave the files after it to be
    // overwritten without a copy. The first failure is the result. The journal names every
    // file before the first is copied.
    const std::vector<std::pair<std::string, std::string>> toSave = FilesToSave(features, installDir, commonDataDir);
    std::vector<std::string> paths;
    paths.reserve(toSave.size());
    for (const auto& item : toSave) paths.push_back(item.second);
    m_copier.PlanSave(paths);

    HRESULT result = S_OK;
    for (const auto& item : toSave) {
        const char* fullPath = item.second.c_str();
        HRESULT hr = m_copier.SaveFile(fullPath);
        if (FAILED(hr)) {
            LogLine("In COffCycleManager::SaveOffCycleFiles, Failed to save file %s for feature %s ", fullPath,
                    item.first.c_str());
            if (SUCCEEDED(result)) result = hr;
            continue;
        }
        LogLine("In COffCycleManager::SaveOffCycleFiles, Saving file %s for feature %s ", fullPath, item.first.c_str());
    }
    return result;
}

bool COffCycleManager::UseProtectedJournalFolder(const std::string& updateLogFolder) {
    COffCycleJournal::SetAsideUntrusted(updateLogFolder, m_managerLogger);
    std::string folder;
    std::string error;
    if (!CProtectedFolder::DefaultRoot(folder, error) || !CProtectedFolder::Ensure(folder, error)) {
        LogLine(
            "In COffCycleManager::UseProtectedJournalFolder, no folder that only administrators can change could be "
            "had (%s); the off-cycle files are saved without a journal",
            error.c_str());
        SetJournalFolder(std::string());
        return false;
    }
    SetJournalFolder(folder);
    return true;
}

int COffCycleManager::RestoreAllFiles(bool* restartNeeded) {
    bool restart = false;
    int failures = m_copier.RestoreAllFiles(restart);
    if (restart && restartNeeded) *restartNeeded = true;
    return failures;
}

}  // namespace tw
