#pragma once
// Bounded copies and formatting into fixed character buffers. Every helper always
// terminates the destination and never writes past its capacity; the result tells
// whether the whole source fitted.

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace tw {

// Copies src into dst (capacity cap, terminator included). Returns false when cut.
inline bool SafeCopy(char* dst, size_t cap, const char* src) {
    if (!dst || cap == 0) return false;
    if (!src) src = "";
    size_t len = std::strlen(src);
    size_t n = len < cap - 1 ? len : cap - 1;
    std::memcpy(dst, src, n);
    dst[n] = '\0';
    return n == len;
}

template <size_t N>
inline bool SafeCopy(char (&dst)[N], const char* src) {
    return SafeCopy(dst, N, src);
}

// Appends src to the text already in dst. Returns false when cut.
inline bool SafeAppend(char* dst, size_t cap, const char* src) {
    if (!dst || cap == 0) return false;
    size_t used = strnlen(dst, cap);
    if (used >= cap) {
        dst[cap - 1] = '\0';
        return false;
    }
    return SafeCopy(dst + used, cap - used, src);
}

template <size_t N>
inline bool SafeAppend(char (&dst)[N], const char* src) {
    return SafeAppend(dst, N, src);
}

// printf-style formatting into dst. Returns false when the text was cut or the format failed.
inline bool SafeFormatV(char* dst, size_t cap, const char* fmt, va_list args) {
    if (!dst || cap == 0) return false;
    int n = std::vsnprintf(dst, cap, fmt, args);
    if (n < 0) {
        dst[0] = '\0';
        return false;
    }
    return static_cast<size_t>(n) < cap;
}

#if defined(__GNUC__)
__attribute__((format(printf, 3, 4)))
#endif
inline bool
SafeFormat(char* dst, size_t cap, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    bool ok = SafeFormatV(dst, cap, fmt, args);
    va_end(args);
    return ok;
}

// Formats into a std::string of any length.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
inline std::string
FormatString(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(&out[0], out.size(), fmt, args);
        out.resize(static_cast<size_t>(n));
    }
    va_end(args);
    return out;
}

// The lines of a text, without their LF or CR LF ends; a last line without an end counts.
inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

}  // namespace tw
