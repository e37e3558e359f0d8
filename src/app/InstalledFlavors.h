#pragma once
// The installed flavors (editions) of the product the run patches, the one in use, and
// the installed revision "TWVersion" that is raised once the patch is applied. The
// installer holds one of these as its major version, current flavor and installed flavors;
// they change only through its operations.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace tw {

// One flavor key of the installed major version as the search read it.
struct FlavorRecord {
    std::string name;
    bool pathMatches = false;  // its "Path" names the executable the run patches
    bool haveTimeStamp = false;
    long timeStamp = 0;
};

struct FlavorMatch {
    std::vector<std::string> installed;
    std::string current;
};

class CInstalledFlavors {
public:
    explicit CInstalledFlavors(std::function<void(const char*)> reportFailure);

    // The installed product's major version, as the run found it (0 until then).
    uint32_t MajorVersion() const { return m_majorVersion; }
    void SetMajorVersion(uint32_t majorVersion) { m_majorVersion = majorVersion; }
    const std::vector<std::string>& Installed() const { return m_installed; }
    const std::string& Current() const { return m_current; }

    // Fills the installed flavors and the current one for the executable of the run; before
    // the versions with valid installs the executable also names the major version. False
    // when the product was found through the alternate component (nothing is looked at).
    bool Find();
    // Raises "TWVersion" of each installed flavor to patchNumber where it is lower.
    void RaiseRevision(long patchNumber);

    // Flavor names of valid installs ("<major>.0-<flavor>").
    static std::set<std::string> ValidFlavorNames(char** installs, DWORD count);
    // The flavors installed at the executable, in key order; the current one is lastFlavor
    // when given, else the installed one with the newest install time (the first of equals).
    static FlavorMatch MatchFlavors(const std::vector<FlavorRecord>& records, const std::string& lastFlavor);

private:
    bool FindBeforeValidInstalls(const std::string& exePath);
    void FindAmongValidInstalls(const std::string& exePath);
    std::vector<FlavorRecord> ReadFlavorRecords(const std::set<std::string>& validFlavors, const std::string& exePath,
                                                bool needTimeStamps);
    bool RaiseRevisionOf(const std::string& flavor, long patchNumber, long* remembered);

    uint32_t m_majorVersion = 0;
    std::string m_current;
    std::vector<std::string> m_installed;
    std::function<void(const char*)> m_reportFailure;
};

}  // namespace tw
