#pragma once
// What a configuration pass has to say, in order: lines for the patch log and texts for
// message boxes. The passes record here instead of writing and showing at once, so a
// caller that wants only the verdict (the update-folder checker) gets it as data, and the
// installer announces it when the pass returns.

#include <windows.h>

#include <string>
#include <vector>

namespace tw {

class CConfigNotes {
public:
    struct Note {
        enum Kind { kLog, kBox };
        Kind kind = kLog;
        std::string text;
        std::string title;  // boxes only
        UINT style = 0;     // boxes only
    };

    // A line for the patch log; LogF formats it printf-style into a 2048-character line,
    // cut short rather than overflowing.
    void Log(const std::string& text);
    void LogF(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    // A modal box without owner.
    void Show(const std::string& text, const char* title, UINT style);
    // The "Severe Error" box (exclamation icon); an empty text shows nothing.
    void ShowSevereError(const std::string& text);
    // The text logged, then shown in the "Severe Error" box.
    void LogAndShowSevereError(const std::string& text);

    const std::vector<Note>& Items() const { return m_notes; }
    std::vector<std::string> LoggedTexts() const;
    std::vector<std::string> ShownTexts() const;

    // Writes every note in order (log lines to the patch log, boxes through the message-box
    // seam) and forgets them.
    void Announce();

    // Runs a pass that records here and announces what it recorded, also when the pass
    // throws (the parser's error propagates to the caller as before).
    template <typename Pass>
    bool AnnounceAfter(Pass pass) {
        bool result = false;
        try {
            result = pass();
        } catch (...) {
            Announce();
            throw;
        }
        Announce();
        return result;
    }

private:
    std::vector<Note> m_notes;
};

}  // namespace tw
