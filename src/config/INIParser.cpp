#include "config/INIParser.h"

#include <windows.h>

#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

#include "config/GeneralUtil.h"

namespace tw {

CINIParser::CINIParser(std::string path) : m_path(std::move(path)) {}

CINIParser::~CINIParser() = default;

SectionNameList CINIParser::GetSectionNames() {
    std::vector<char> buffer(kSectionNamesSize, '\0');
    DWORD length =
        ::GetPrivateProfileSectionNamesA(buffer.data(), static_cast<DWORD>(kSectionNamesSize), m_path.c_str());
    if (length == 0)
        throw std::runtime_error("Failed to read the section names in the config.ini file in the : " + m_path);

    // The list is double-null terminated; the walk also stops at the returned length so a
    // list cut by the buffer size can never lead past the buffer.
    SectionNameList names;
    const size_t end = length < kSectionNamesSize ? length : kSectionNamesSize - 1;
    size_t pos = 0;
    while (pos < end && buffer[pos] != '\0') {
        size_t entryLength = strnlen(&buffer[pos], end - pos);
        std::string name(&buffer[pos], entryLength);
        GeneralUtil::TrimBlanks(name);
        names.push_back(std::move(name));
        pos += entryLength + 1;
    }
    return names;
}

KeyValueMap CINIParser::GetKeyValuePairs(const std::string& sectionName) {
    std::vector<char> keys(kKeyNamesSize, '\0');
    DWORD length = ::GetPrivateProfileStringA(sectionName.c_str(), nullptr, "", keys.data(),
                                              static_cast<DWORD>(kKeyNamesSize), m_path.c_str());
    if (length == 0)
        throw std::runtime_error("Could not read the key and value pairs from the section: " + sectionName);

    KeyValueMap pairs;
    std::vector<char> value(kValueSize, '\0');
    const size_t end = length < kKeyNamesSize ? length : kKeyNamesSize - 1;
    size_t pos = 0;
    while (pos < end && keys[pos] != '\0') {
        size_t entryLength = strnlen(&keys[pos], end - pos);
        std::string key(&keys[pos], entryLength);
        GeneralUtil::TrimBlanks(key);
        value[0] = '\0';
        ::GetPrivateProfileStringA(sectionName.c_str(), key.c_str(), "", value.data(), static_cast<DWORD>(kValueSize),
                                   m_path.c_str());
        value[kValueSize - 1] = '\0';
        pairs[key] = value.data();
        pos += entryLength + 1;
    }
    return pairs;
}

}  // namespace tw
