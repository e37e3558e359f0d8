#pragma once
// The registry layer beneath the installation data store: the hive and key path of each
// data branch, the access rights of each access mode, the key path forms of version and
// flavor keys, and the key operations that data nodes perform on their own keys, with the
// registry errors mapped to the data store's results. Narrow (ANSI) registry calls only.

#include <windows.h>

#include <vector>

#include "common/Handles.h"
#include "datastore/Singleton.h"
#include "datastore/TWDataTypes.h"
#include "datastore/TWNameList.h"

namespace tw {

class CTWRegDataAccessor {
public:
    // The process-wide accessor, created on first call.
    static CTWRegDataAccessor& Instance() { return Singleton<CTWRegDataAccessor>::Instance(); }

    // Called once after creation; nothing to prepare.
    virtual void Initialize();
    virtual ~CTWRegDataAccessor();

    // HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER or null for a branch without a hive. The access
    // mode does not change the answer; error receives 0 in every case (may be null).
    HKEY GetRootKey(TWDataBranch branch, TWAccessMode mode, long* error) const;

    // samDesired of every open or create in this mode.
    static REGSAM GetAccessRights(TWAccessMode mode);

    // Key path of a branch relative to its hive, or null for a branch without one.
    static const char* GetBranchKeyPath(TWDataBranch branch);

    // Key path forms. Each replaces out with a fresh zero-terminated text on success.
    // Branch: -1 for a branch without a key path.
    static long FormBranchKeyPath(TWDataBranch branch, std::vector<char>& out);
    // Version: branch path, "\", major version and ".0"; -4 outside 6..40.
    static long FormVersionKeyPath(TWDataBranch branch, unsigned majorVersion, std::vector<char>& out);
    // Flavor: version path, "\" and the flavor; -5 for a missing flavor or, when the key is
    // to be created, one that the product-information catalogue does not know.
    static long FormFlavorKeyPath(TWDataBranch branch, unsigned majorVersion, const char* flavor, bool forCreate,
                                  std::vector<char>& out);

    // Opens root\path; on success key holds the new handle (its previous one closed). 1018
    // is reported as -2, other registry errors unchanged; on failure key is untouched.
    static long OpenKey(HKEY root, const char* path, TWAccessMode mode, RegKey& key);
    // Creates or opens root\path; created receives 1 for a new key, 0 for an existing one.
    static long CreateKey(HKEY root, const char* path, const char* className, TWAccessMode mode, RegKey& key,
                          DWORD* created);

    // Reads a value into buffer (1024 bytes, or twice the reported size after
    // ERROR_MORE_DATA); the data is always followed by a zero byte inside the buffer.
    // Not found is reported as 3.
    static long QueryValue(HKEY key, const char* name, std::vector<char>& buffer, DWORD* type, DWORD* size);
    static long SetStringValue(HKEY key, const char* name, const char* value);
    static long SetNumberValue(HKEY key, const char* name, DWORD value);
    static bool ValueExists(HKEY key, const char* name);
    // Not found is reported as 3.
    static long DeleteValue(HKEY key, const char* name);
    // Deletes root\path (a key without child keys) in the registry view it was opened in.
    static long DeleteKey(HKEY root, const char* path, bool view32);

    // Number of child keys or values and the length of the longest name; the final 259 is
    // success.
    static long CountSubKeys(HKEY key, DWORD* count, DWORD* longest);
    static long CountValues(HKEY key, DWORD* count, DWORD* longest);

    // Two-pass enumeration of child key names (values false) or value names (values true).
    // count receives the number counted, then the number collected. The list is replaced
    // only when there are names to collect (listed receives true then); names collected
    // before a failure stay in it. -3 when out of memory or more names arrive than counted.
    static long EnumerateNames(HKEY key, bool values, CTWNameList& list, DWORD* count, bool* listed);

protected:
    CTWRegDataAccessor();
    friend class Singleton<CTWRegDataAccessor>;

private:
    CTWRegDataAccessor(const CTWRegDataAccessor&) = delete;
    CTWRegDataAccessor& operator=(const CTWRegDataAccessor&) = delete;
};

}  // namespace tw
