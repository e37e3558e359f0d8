#pragma once
// The one object the installer talks to about off-cycle content: before patching it loads
// the manifests, asks for the files of the patched features and has each copied aside;
// after patching it has them moved back.

#include <windows.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "offcycle/OffCycleContentCopier.h"
#include "offcycle/OffCycleFileSelector.h"

namespace tw {

class COffCycleManager : public COffCycleFileSelector {
public:
    explicit COffCycleManager(bool copyMode);
    ~COffCycleManager();

    // The manager's, the selector's and the copier's logger.
    void SetLogger(Logger logger);
    // Whether copies left at cleanup are deleted; returns the new value.
    bool SetCopyMode(bool copyMode);

    // Loads the manifests beside the running program and, once per folder, those of the
    // manifest folder, then copies aside the files of every feature. A file that cannot be
    // saved is logged and the others are still saved; the result is then its failure. Items
    // whose path cannot be formed and files that are not installed are skipped.
    HRESULT SaveOffCycleFiles(const std::set<std::string>& features, const char* manifestFolder, const char* installDir,
                              const char* commonDataDir);

    // The folder where the journal of the save is kept; empty: none is kept.
    void SetJournalFolder(const std::string& folder) { m_copier.SetJournalFolder(folder); }
    // The folders a journal may name files in (the product folder of the run, the common
    // data folder); a journal naming anything else is set aside unread.
    void SetJournalTrustedFolders(std::vector<std::string> folders) {
        m_copier.SetJournalTrustedFolders(std::move(folders));
    }
    // Keeps the journal in the protected folder (CProtectedFolder::DefaultRoot, made sure of
    // by CProtectedFolder::Ensure). A journal in the update log folder, where earlier versions
    // kept it and where standard users can add files, is set aside unread and reported. When
    // no protected folder can be had, no journal is kept (logged). False then.
    bool UseProtectedJournalFolder(const std::string& updateLogFolder);
    // Marks the journal on disk: Windows Installer is about to be called.
    void MarkApplyStarting() { m_copier.MarkApplyStarting(); }
    // Puts back what a journal left by an interrupted run names (see COffCycleJournal).
    COffCycleJournal::ReplayOutcome ReplayJournal() const { return m_copier.Journal().Replay(m_managerLogger); }

    // Moves the saved files back; returns the number of files that could not be restored.
    // restartNeeded is set when a file is replaced only at the next restart.
    int RestoreAllFiles(bool* restartNeeded);

private:
    static constexpr size_t kMessageSize = 2048;
    static constexpr DWORD kModulePathSize = 200;
    static constexpr size_t kFullPathSize = 520;

#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    void
    LogLine(const char* format, ...);

    // Loads the manifests in the running program's folder.
    void LoadManifestsBesideProgram(const char* installDir, const char* commonDataDir);
    // The files of the features to copy aside, as (feature, absolute path); a file whose path
    // cannot be made absolute is logged and left out.
    std::vector<std::pair<std::string, std::string>> FilesToSave(const std::set<std::string>& features,
                                                                 const char* installDir, const char* commonDataDir);

    COffCycleContentCopier m_copier;
    std::string m_lastManifestFolder;
    Logger m_managerLogger = nullptr;
};

}  // namespace tw
