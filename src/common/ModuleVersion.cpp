#include "common/ModuleVersion.h"

#include <cstring>

#include "common/TextUtil.h"

namespace tw {

CModuleVersion::CModuleVersion() { std::memset(static_cast<VS_FIXEDFILEINFO*>(this), 0, sizeof(VS_FIXEDFILEINFO)); }

CModuleVersion::~CModuleVersion() = default;

bool CModuleVersion::GetFileVersionInfo(const char* fileName) {
    m_versionInfo.clear();
    m_language = 0;
    m_codePage = 1252;
    std::memset(static_cast<VS_FIXEDFILEINFO*>(this), 0, sizeof(VS_FIXEDFILEINFO));
    if (!fileName || !*fileName) return false;

    DWORD handle = 0;
    DWORD size = ::GetFileVersionInfoSizeA(fileName, &handle);
    if (size == 0) return false;
    m_versionInfo.resize(size);
    if (!::GetFileVersionInfoA(fileName, 0, size, m_versionInfo.data())) {
        m_versionInfo.clear();
        return false;
    }

    void* fixed = nullptr;
    UINT fixedLength = 0;
    if (!::VerQueryValueA(m_versionInfo.data(), "\\", &fixed, &fixedLength) || !fixed ||
        fixedLength < sizeof(VS_FIXEDFILEINFO))
        return false;
    std::memcpy(static_cast<VS_FIXEDFILEINFO*>(this), fixed, sizeof(VS_FIXEDFILEINFO));

    void* translation = nullptr;
    UINT translationLength = 0;
    if (::VerQueryValueA(m_versionInfo.data(), "\\VarFileInfo\\Translation", &translation, &translationLength) &&
        translation && translationLength >= 2 * sizeof(WORD)) {
        const WORD* pair = static_cast<const WORD*>(translation);
        m_language = pair[0];
        m_codePage = pair[1];
    }
    return dwSignature == VS_FFI_SIGNATURE;
}

std::string CModuleVersion::GetValue(const char* valueName) const {
    return GetValue(valueName, m_language, m_codePage);
}

std::string CModuleVersion::GetValue(const char* valueName, WORD language, WORD codePage) const {
    if (m_versionInfo.empty() || !valueName) return std::string();
    char query[256];
    if (!SafeFormat(query, sizeof(query), "\\StringFileInfo\\%04x%04x\\%s", language, codePage, valueName))
        return std::string();
    void* value = nullptr;
    UINT length = 0;
    // VerQueryValueA takes a non-const block; the query does not modify it.
    auto* block = const_cast<BYTE*>(m_versionInfo.data());
    if (!::VerQueryValueA(block, query, &value, &length) || !value || length == 0) return std::string();
    const char* text = static_cast<const char*>(value);
    return std::string(text, strnlen(text, length));
}

}  // namespace tw
