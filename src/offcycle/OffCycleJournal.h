#pragma once
// The record of an off-cycle save, kept in the update log folder from before the first file
// is copied aside until every copy is back. A run that was interrupted in between leaves
// it behind; the next run puts the files it names back, provided each copy is still the
// content that was saved. The format is described in the README.

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
        std::string keptAs;  // where the journal was set aside, if it was
    };

    static constexpr char kFileName[] = "OffCycleJournal.txt";
    static constexpr char kHeader[] = "Tallyworks off-cycle journal 1";

    // folder: the update log folder (no trailing backslash); empty: no journal is kept.
    explicit COffCycleJournal(std::string folder = std::string());

    void SetFolder(const std::string& folder) { m_folder = folder; }
    bool IsEnabled() const { return !m_folder.empty(); }
    std::string Path() const;

    // Writes the entries under a scratch name, flushes it to disk and moves it over the
    // journal. False (with the reason) when the journal could not be written.
    bool Write(const std::vector<Entry>& entries, std::string* error) const;
    // Reads and checks the journal: the header, every line, the count and the checksum of
    // the end line, and that each copy lies beside its source under a copy's name.
    ReadResult Read(std::vector<Entry>& entries, std::string* error) const;
    // Deletes the journal; true when none is left.
    bool Remove() const;
    // Moves the journal to a name of its own beside it, which no run reads; returns that
    // path (empty when the move failed).
    std::string SetAside(const char* reason) const;

    // Puts back the files a journal left by an interrupted run names: only where the copy is
    // intact (size and hash as saved). The journal is removed when every file is accounted
    // for, else set aside. Each step is logged; anything found is reported as an error
    // tracking message.
    ReplayOutcome Replay(Logger logger) const;

    // Size and SHA-256 of a file's content; false (with the system error) when it cannot be
    // read.
    static bool HashFile(const std::string& path, uint64_t* size, std::string* hash, DWORD* error);
    // SHA-256 of bytes in memory, as lower-case hexadecimal digits; empty on failure.
    static std::string HashBytes(const void* data, size_t size);

    // Whether copy is a name the copier gives a copy of source: the same folder, the source's
    // name, "._OC", six letters or digits and the source's extension.
    static bool IsCopyNameOf(const std::string& source, const std::string& copy);

    // The text of the journal for the entries (what Write puts on disk).
    static std::string Format(const std::vector<Entry>& entries);
    // Parses a journal's text; false with the reason when it is not a complete journal.
    static bool Parse(const std::string& text, std::vector<Entry>& entries, std::string* error);

private:
    std::string m_folder;
};

}  // namespace tw
