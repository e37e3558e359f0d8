#pragma once
// The record of an off-cycle save, kept in a folder only administrators can change
// (CProtectedFolder) from before the first file is copied aside until every copy is back. A
// run that was interrupted in between leaves it behind; the next run puts the files it names
// back, provided each copy is still the content that was saved and the patch had been
// started, and only for files inside the folders this run trusts. The format is described in
// docs/interruptions.md.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tw {

class COffCycleJournal {
public:
    using Logger = void (*)(const char* line);

    struct Entry {
        std::string source;  // the off-cycle file
        std::string copy;    // its temporary copy in the same folder
        uint64_t size = 0;   // bytes of the content saved
        std::string hash;    // SHA-256 of that content, 64 lower-case hexadecimal digits
    };

    enum class ReadResult { kNone, kRead, kUnreadable };

    // What a replay did: files put back, files that were back already, and files left as
    // they are (their copy missing, changed, or not movable), each reported.
    struct ReplayOutcome {
        bool found = false;       // a journal was there
        bool unreadable = false;  // it could not be read and was set aside
        int restored = 0;
        int alreadyInPlace = 0;
        int leftAlone = 0;
        int unusedCopiesDeleted = 0;  // copies of a save that no patch followed
        std::string keptAs;           // where the journal was set aside, if it was
    };

    static constexpr char kFileName[] = "OffCycleJournal.txt";
    static constexpr char kHeader[] = "Tallyworks off-cycle journal 1";
    // The line written just before Windows Installer is called: from then on the product's
    // files may have been changed and the copies are what must be put back.
    static constexpr char kApplyingLine[] = "state\tapplying";

    // What a replay does with one entry, decided from what is found on disk.
    enum class Action {
        kRestore,               // the copy is moved back over the file
        kDeleteIncompleteCopy,  // the file is as saved; its copy was cut short
        kDeleteUnusedCopy,      // no patch followed the save: the file is left as it is
        kNothing,               // the file is back already and no copy is left
        kLeaveAlone,            // neither copy nor file is what was saved: reported
    };
    // What is found on disk for one entry.
    struct Observation {
        bool copyExists = false;
        bool copyReadable = false;
        DWORD copyError = NO_ERROR;  // why the copy could not be read
        bool copyAsSaved = false;    // size and hash as the entry names them
        bool sourceAsSaved = false;
    };
    struct Step {
        Entry entry;
        Action action = Action::kLeaveAlone;
        std::string logLine;  // written when the action is done (or, for kLeaveAlone, at once)
    };

    // folder: the update log folder (no trailing backslash); empty: no journal is kept.
    explicit COffCycleJournal(std::string folder = std::string());

    void SetFolder(const std::string& folder) { m_folder = folder; }
    bool IsEnabled() const { return !m_folder.empty(); }
    std::string Path() const;

    // The folders a journal may name files in: the product folder of the run and the common
    // data folder the off-cycle save can name. No folder: no journal is trusted.
    void SetTrustedFolders(std::vector<std::string> folders) { m_trustedFolders = std::move(folders); }

    // Writes the entries (and, once Windows Installer is about to be called, the applying
    // line) under a scratch name, flushes it to disk and moves it over the journal. False
    // (with the reason) when the journal could not be written.
    bool Write(const std::vector<Entry>& entries, std::string* error, bool applyStarted = false) const;
    // Reads and checks the journal: the header, every line, the count and the checksum of
    // the end line, and that each copy lies beside its source under a copy's name.
    ReadResult Read(std::vector<Entry>& entries, std::string* error, bool* applyStarted = nullptr) const;
    // Whether every entry names a file this program could have saved: inside a trusted
    // folder (normalised full paths), no reparse point on the way to it. False with the reason.
    bool IsTrusted(const std::vector<Entry>& entries, std::string* error) const;
    // Deletes the journal; true when none is left.
    bool Remove() const;
    // Moves the journal to a name of its own beside it, which no run reads; returns that
    // path (empty when the move failed).
    std::string SetAside(const char* reason) const;

    // Puts back the files a journal left by an interrupted run names: only where the copy is
    // intact (size and hash as saved) and the patch had been started; copies of a save that no
    // patch followed are deleted. A journal that cannot be read or names a file outside the
    // trusted folders is set aside and nothing is done from it. The journal is removed when
    // every file is accounted for, else set aside. Each step is logged; anything found is
    // reported as an error tracking message.
    ReplayOutcome Replay(Logger logger) const;

    // What is on disk for an entry (reads the copy and the file, changes nothing).
    static Observation Observe(const Entry& entry);
    // The replay decided as data: one step per entry, from the entries, what was observed for
    // each (same order) and whether the patch had been started. No side effects.
    static std::vector<Step> PlanReplay(const std::vector<Entry>& entries, const std::vector<Observation>& observed,
                                        bool applyStarted);

    // A journal in a folder a standard user can write (where earlier versions kept it) is
    // never replayed: it is set aside, logged and reported. Returns where it was put (empty
    // when there was none or it could not be moved).
    static std::string SetAsideUntrusted(const std::string& folder, Logger logger);

    // Size and SHA-256 of a file's content; false (with the system error) when it cannot be
    // read.
    static bool HashFile(const std::string& path, uint64_t* size, std::string* hash, DWORD* error);
    // SHA-256 of bytes in memory, as lower-case hexadecimal digits; empty on failure.
    static std::string HashBytes(const void* data, size_t size);

    // Whether copy is a name the copier gives a copy of source (COffCycleCopyName).
    static bool IsCopyNameOf(const std::string& source, const std::string& copy);

    // The text of the journal for the entries (what Write puts on disk).
    static std::string Format(const std::vector<Entry>& entries, bool applyStarted = false);
    // Parses a journal's text; false with the reason when it is not a complete journal.
    static bool Parse(const std::string& text, std::vector<Entry>& entries, std::string* error,
                      bool* applyStarted = nullptr);

private:
    // Sets an unreadable or untrusted journal aside and reports it.
    void ReportUnreadable(const std::string& why, ReplayOutcome& outcome, Logger logger) const;
    // One "file" line of the journal, split into its fields; false with the reason in error.
    static bool ParseFileLine(const std::vector<std::string>& fields, size_t lineNumber, Entry& entry,
                              std::string& error);
    // Carries out one step of a replay plan and counts it; false when it failed (the
    // failure is logged, the step's own line is not).
    static bool CarryOut(const Step& step, ReplayOutcome& outcome, Logger logger);
    // Removes the journal, or sets it aside when something was left alone, and reports.
    void Finish(ReplayOutcome& outcome, Logger logger) const;

    std::string m_folder;
    std::vector<std::string> m_trustedFolders;
};

}  // namespace tw
