#include "offcycle/WideText.h"

#include <windows.h>

#include <climits>
#include <cstring>

namespace tw {

// Flags and used-default pointer for an exact conversion into the ANSI code page. A UTF-8
// code page takes neither the best-fit flag nor the pointer; it rejects invalid input instead.
struct ExactConversion {
    ExactConversion() : utf8(::GetACP() == CP_UTF8) {}
    DWORD Flags() const { return utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS; }
    BOOL* UsedDefault() { return utf8 ? nullptr : &usedDefault; }
    bool utf8;
    BOOL usedDefault = FALSE;
};

bool ToNarrow(const std::wstring& wide, std::string& narrow) {
    narrow.clear();
    if (wide.empty()) return true;
    if (wide.size() > static_cast<size_t>(INT_MAX)) return false;
    const int wideLength = static_cast<int>(wide.size());
    ExactConversion conversion;
    int length = ::WideCharToMultiByte(CP_ACP, conversion.Flags(), wide.data(), wideLength, nullptr, 0, nullptr,
                                       conversion.UsedDefault());
    if (length <= 0 || conversion.usedDefault) return false;
    std::string buffer(static_cast<size_t>(length), '\0');
    int written = ::WideCharToMultiByte(CP_ACP, conversion.Flags(), wide.data(), wideLength, &buffer[0], length,
                                        nullptr, conversion.UsedDefault());
    if (written != length || conversion.usedDefault) return false;
    if (buffer.find('\0') != std::string::npos) return false;  // a zero would cut the name short
    narrow.swap(buffer);
    return true;
}

std::string LogText(const std::wstring& wide) {
    std::string narrow;
    if (wide.empty() || wide.size() > static_cast<size_t>(INT_MAX)) return narrow;
    const int wideLength = static_cast<int>(wide.size());
    const DWORD flags = ::GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    int length = ::WideCharToMultiByte(CP_ACP, flags, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return narrow;
    narrow.assign(static_cast<size_t>(length), '\0');
    int written = ::WideCharToMultiByte(CP_ACP, flags, wide.data(), wideLength, &narrow[0], length, nullptr, nullptr);
    narrow.resize(written > 0 ? static_cast<size_t>(written) : 0);
    for (char& c : narrow)
        if (c == '\0') c = '?';
    return narrow;
}

bool ToWide(const char* narrow, std::wstring& wide) {
    wide.clear();
    const size_t size = std::strlen(narrow);
    if (size == 0) return true;
    if (size > static_cast<size_t>(INT_MAX)) return false;
    const int narrowLength = static_cast<int>(size);
    int length = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, narrow, narrowLength, nullptr, 0);
    if (length <= 0) return false;
    std::wstring buffer(static_cast<size_t>(length), L'\0');
    if (::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, narrow, narrowLength, &buffer[0], length) != length)
        return false;
    wide.swap(buffer);
    return true;
}

}  // namespace tw
