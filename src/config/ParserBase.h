#pragma once
// Abstract parser of a sectioned configuration file: the section names in file order and
// the key/value pairs of one section, ordered by key.

#include <map>
#include <string>
#include <vector>

namespace tw {

// Pairs of one section, ordered by byte-wise comparison of the keys (no case folding).
using KeyValueMap = std::map<std::string, std::string>;
using SectionNameList = std::vector<std::string>;

class CParserBase {
public:
    virtual ~CParserBase();

    // Section names in the order in which they stand in the file. Throws std::runtime_error.
    virtual SectionNameList GetSectionNames() = 0;

    // Pairs of the named section. Throws std::runtime_error.
    virtual KeyValueMap GetKeyValuePairs(const std::string& sectionName) = 0;
};

}  // namespace tw
