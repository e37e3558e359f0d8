#pragma once
// Copies off-cycle files aside to temporary files in their own folders before a patch and
// moves the copies back afterwards, so the off-cycle versions survive the patch.

#include <windows.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "offcycle/OffCycleJournal.h"

namespace tw {

class COffCycleContentCopier {
public:
    using Logger = void (*)(const char* line);

    explicit COffCycleContentCopier(bool copyMode);
    // Cleans up what is still recorded.
    ~COffCycleContentCopier();
    COffCycleContentCopier(const COffCycleContentCopier&) = delete;
    COffCycleContentCopier& operator=(const COffCycleContentCopier&) = delete;

    // True: copies still recorded at cleanup are deleted; false: they stay on disk.
    bool SetCopyMode(bool copyMode);
    void SetLogger(Logger logger);

    // The folder where the journal of the save is kept; empty: no journal.
    void SetJournalFolder(const std::string& folder);
    // The folders a journal left by an interrupted run may name files in.
    void SetJournalTrustedFolders(std::vector<std::string> folders) { m_journal.SetTrustedFolders(std::move(folders)); }
    const COffCycleJournal& Journal() const { return m_journal; }

    // Names the copies of the files about to be saved and writes them, with the size and
    // hash of each file's content, into the journal before anything is copied. Files that
    // cannot be read are left out (their save then fails). Without a journal folder, or when
    // the journal cannot be written (logged), the files are saved without one.
    void PlanSave(const std::vector<std::string>& sourcePaths);

    // Records in the journal, on disk, that Windows Installer is about to be called: from then
    // on an interrupted run's copies are put back by the next run; before, they are deleted.
    void MarkApplyStarting();

    // Copies the file aside. A file that does not exist is skipped with success.
    HRESULT SaveFile(const char* sourcePath);
    // Moves every copy back over its source. A source that cannot be replaced now is
    // replaced at the next restart and sets restartNeeded. Returns the number of files that
    // could not be restored. The journal is removed once every copy is back; otherwise it
    // stays for the next run.
    int RestoreAllFiles(bool& restartNeeded);
    // Forgets every recorded copy, deleting it in copy mode.
    void Cleanup();

private:
    struct NoCaseLess {
        bool operator()(const std::string& a, const std::string& b) const {
            return ::_stricmp(a.c_str(), b.c_str()) < 0;
        }
    };

    static constexpr size_t kMessageSize = 2048;

    // Formats a line into the message buffer and hands it to the logger.
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    void
    LogFormat(const char* format, ...);

    // The name of a copy of the source that no file of its folder has yet; empty when the
    // path cannot be split.
    static std::string MakeCopyName(const char* sourcePath);

    std::map<std::string, std::string, NoCaseLess> m_savedFiles;  // source path -> temporary path
    COffCycleJournal m_journal;
    bool m_journalActive = false;                              // the journal on disk names the saves
    bool m_applyStarted = false;                               // it says the patch has been started
    std::vector<COffCycleJournal::Entry> m_journalEntries;     // what it names
    std::map<std::string, std::string, NoCaseLess> m_planned;  // source path -> its copy's name
    bool m_copyMode;
    Logger m_logger = nullptr;
    char m_message[kMessageSize] = {};
};

}  // namespace tw
