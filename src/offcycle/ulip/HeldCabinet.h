#pragma once
// The package cabinet, open with only read sharing from its signature check to the end of
// its unpacking, and its bytes as read through that handle: the check and the unpacking
// both see exactly these bytes, whatever happens to the path meanwhile.

#include <windows.h>

#include <string>
#include <vector>

#include "common/Handles.h"

namespace tw {

class CHeldCabinet {
public:
    CHeldCabinet() = default;
    CHeldCabinet(const CHeldCabinet&) = delete;
    CHeldCabinet& operator=(const CHeldCabinet&) = delete;

    // Opens the file and reads it whole. False with the system error set on failure.
    bool Open(const char* path);
    void Release();

    bool IsOpen() const { return m_file.IsValid(); }
    HANDLE Handle() const { return m_file.Get(); }
    const std::string& Path() const { return m_path; }
    const std::vector<unsigned char>& Image() const { return m_image; }
    bool Names(const char* path) const;

    // Largest cabinet read into memory.
    static constexpr unsigned long long kMaxSize = 512ull * 1024 * 1024;

private:
    std::string m_path;
    FileHandle m_file;
    std::vector<unsigned char> m_image;
};

}  // namespace tw
