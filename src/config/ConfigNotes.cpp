#include "config/ConfigNotes.h"

#include <cstdarg>

#include "common/PlatformSeams.h"
#include "common/TextUtil.h"
#include "config/GeneralUtil.h"
#include "logging/StatusLogMgr.h"

namespace tw {
namespace {

constexpr size_t kLineSize = 2048;

}  // namespace

void CConfigNotes::Log(const std::string& text) {
    Note note;
    note.text = text;
    m_notes.push_back(std::move(note));
}

void CConfigNotes::LogF(const char* format, ...) {
    char line[kLineSize];
    va_list args;
    va_start(args, format);
    SafeFormatV(line, sizeof(line), format, args);
    va_end(args);
    Log(line);
}

void CConfigNotes::Show(const std::string& text, const char* title, UINT style) {
    Note note;
    note.kind = Note::kBox;
    note.text = text;
    note.title = title ? title : "";
    note.style = style;
    m_notes.push_back(std::move(note));
}

void CConfigNotes::ShowSevereError(const std::string& text) {
    if (text.empty()) return;
    Show(text, GeneralUtil::kSevereErrorTitle, MB_OK | MB_ICONEXCLAMATION);
}

void CConfigNotes::LogAndShowSevereError(const std::string& text) {
    Log(text);
    ShowSevereError(text);
}

std::vector<std::string> CConfigNotes::LoggedTexts() const {
    std::vector<std::string> texts;
    for (const Note& note : m_notes)
        if (note.kind == Note::kLog) texts.push_back(note.text);
    return texts;
}

std::vector<std::string> CConfigNotes::ShownTexts() const {
    std::vector<std::string> texts;
    for (const Note& note : m_notes)
        if (note.kind == Note::kBox) texts.push_back(note.text);
    return texts;
}

void CConfigNotes::Announce() {
    // Taken out first: a box's message loop must not see a half-announced list again.
    std::vector<Note> notes;
    notes.swap(m_notes);
    for (const Note& note : notes) {
        if (note.kind == Note::kLog)
            StatusLogMgr::LogStatus(note.text.c_str());
        else
            Platform().ShowMessageBox(nullptr, note.text.c_str(), note.title.c_str(), note.style, 0);
    }
}

}  // namespace tw
