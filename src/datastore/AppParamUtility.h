#pragma once
// Answers what is installed: the validly installed flavors of the product's major
// versions, the major version and flavor of a product executable, the major version and
// level of an executable's version resource, and the time of an "InstallTimeStamp" text.
// Registered flavors are checked against the product's files on disk, so that a stale
// registry entry is not counted.

#include <windows.h>

#include <memory>
#include <string>

#include "datastore/TWDataTypes.h"
#include "datastore/TWNameList.h"

namespace tw {

class CTWFlavorNode;

class CAppParamUtility {
public:
    // One row of the edition table: product code and the flavor code the edition is
    // registered under.
    struct Edition {
        const char* productCode;
        const char* flavorCode;
    };

    CAppParamUtility();
    virtual ~CAppParamUtility();
    CAppParamUtility(const CAppParamUtility&) = delete;
    CAppParamUtility& operator=(const CAppParamUtility&) = delete;

    // Valid installs, each "<major>.0-<flavor>", of one major version (selector 12..999),
    // of every version key from 12 up (-1), or from 12 up to n-1 (-n). The list is owned
    // by the utility until the next call. Result 0, 2 when there is none, -1 without a
    // product branch or for a bad selector, -2 when the version keys cannot be listed or no
    // entry was stored, -3 when out of memory.
    long GetValidInstalls(char*** installs, DWORD* count, DWORD* longestPlusOne, int selector);

    // Major version of the product executable at path and the flavor of its installation
    // (from the flavor data file under 15, empty from 15 on; owned by the utility until the
    // next call). Result 0, 2 for a version under 12, the error of the version read, or -4
    // when the flavor data file cannot be read.
    long GetTWVersionFlavor(const char* path, int* majorVersion, const char** flavor, bool reread);

    // Major version from the file's product version ("28.0 R9" gives 28); -1 without
    // version information, -2 when it cannot be read, -3 when out of memory.
    static int GetMajorVersion(const char* path);
    // Level text of the product version ("R9"), copied into buffer (capacity at least 10).
    // 0 also when there is no level (buffer untouched); -1 for bad input or without version
    // information, -3 when out of memory.
    static int GetProductLevel(const char* path, char* buffer, DWORD capacity);
    // Seconds since 1970 of "mm/dd/yyyy hh:mm:ss AM" (local time), or -104 to -109 for
    // a separator missing at its position, -1 for no text.
    static long ParseTimeStamp(const char* text);

    // Edition table (34 rows).
    static const Edition* Editions(size_t* count);
    // Product code of a flavor (any case), or null when the edition table has no such flavor.
    static const char* FindProductCode(const char* flavor);
    // Suffix of the flavor's product executable ("tww" + suffix + ".exe"): the product code
    // without its leading "tw", each underscore dropped and the next character upper-cased.
    static bool GetExecutableSuffix(const char* flavor, std::string& suffix);

    // True when the flavor registered at node is installed: its "Path" names an
    // executable of the node's major version and the edition's files are in its folder.
    static bool IsValidInstall(CTWFlavorNode* node, TWAccessMode view);

    // Loads the product-information catalogue from the folder named by "CommonFilesPath"
    // on first need; true when it is loaded.
    static bool LoadProductCatalogue();

private:
    long WalkValidInstalls(int selector, CTWNameList* list, DWORD limit, DWORD* counted, DWORD* longestPlusOne);

    std::unique_ptr<char[]> m_scratch;
    CTWNameList m_installs;
    DWORD m_installCount = 0;
};

}  // namespace tw
