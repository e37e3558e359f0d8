#pragma once
// Reads the pairs of one delta-patch or history-patch section of patch.ini into the
// delta-patch list.

#include <string>

#include "config/DeltaPatchList.h"
#include "config/ParserBase.h"

namespace tw {

class CConfigNotes;

class CDeltaPatchInfo {
public:
    // Handles each pair in key order and stops at the first that fails.
    static bool Initialize(CDeltaPatchList& list, const KeyValueMap& pairs, const char* patchFolder,
                           const char* installFolder);
    static bool Initialize(CDeltaPatchList& list, const KeyValueMap& pairs, const char* patchFolder,
                           const char* installFolder, CConfigNotes& notes);

    // True when a pair of a delta- or history-patch section names a patch file: a
    // "deltapatch" key, or a "historypatch" key with a value (letter case ignored).
    static bool NamesPatchFile(const std::string& key, const std::string& value);

    // True when a pair names a delta patch whose file name the installer refuses: a
    // "deltapatch" key whose value lacks "_core_" (letter case ignored throughout).
    static bool IsRefusedPatchName(const std::string& key, const std::string& value);

    // "deltapatch" (value must contain "_core_") and "historypatch" add a patch file from
    // the patch folder; "reinstall", "reinstallmode" and "cmdoptions" set that field of the
    // entry added last. Unknown keys are reported and do not fail. The second form records
    // what it has to say in notes instead of logging and showing it.
    static bool ProcessOneKeyValuePair(CDeltaPatchList& list, const std::string& key, const std::string& value,
                                       const char* patchFolder, const char* installFolder);
    static bool ProcessOneKeyValuePair(CDeltaPatchList& list, const std::string& key, const std::string& value,
                                       const char* patchFolder, const char* installFolder, CConfigNotes& notes);
};

}  // namespace tw
