#pragma once
// Reads a file's version resource: the fixed part and string values of its first
// translation (or of a translation the caller names).

#include <windows.h>

#include <string>
#include <vector>

namespace tw {

class CModuleVersion : public VS_FIXEDFILEINFO {
public:
    CModuleVersion();
    virtual ~CModuleVersion();

    // True when the file has a version resource whose fixed part carries the signature.
    bool GetFileVersionInfo(const char* fileName);

    // A string value such as "FileVersion" or "ProductVersion"; empty when unknown.
    std::string GetValue(const char* valueName) const;
    // The same value from the string table of a given translation, whatever the
    // translation table lists.
    std::string GetValue(const char* valueName, WORD language, WORD codePage) const;

    WORD Language() const { return m_language; }
    WORD CodePage() const { return m_codePage; }

private:
    std::vector<BYTE> m_versionInfo;
    WORD m_language = 0;
    WORD m_codePage = 1252;
};

}  // namespace tw
