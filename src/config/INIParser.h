#pragma once
// Parser of an INI file over the Windows profile functions, so the syntax (brackets,
// key=value lines, quotes and blanks of values, first occurrence wins) is exactly theirs.
// Each call reads the file anew; the parser keeps no handle.

#include <cstddef>
#include <string>

#include "config/ParserBase.h"

namespace tw {

class CINIParser : public CParserBase {
public:
    // Characters, terminators included.
    static constexpr size_t kSectionNamesSize = 19584;
    static constexpr size_t kKeyNamesSize = 10000;
    static constexpr size_t kValueSize = 5000;

    CINIParser() = default;
    explicit CINIParser(std::string path);
    ~CINIParser() override;

    // Throws std::runtime_error "Failed to read the section names in the config.ini file in
    // the : <path>" when the file has no section or cannot be read.
    SectionNameList GetSectionNames() override;

    // Throws std::runtime_error "Could not read the key and value pairs from the section:
    // <name>" when the section is missing or has no key.
    KeyValueMap GetKeyValuePairs(const std::string& sectionName) override;

    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

}  // namespace tw
