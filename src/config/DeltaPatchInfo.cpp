#include "config/DeltaPatchInfo.h"

#include "common/TextUtil.h"
#include "config/ConfigNotes.h"
#include "config/GeneralUtil.h"
#include "config/PatchIniMgr.h"

namespace tw {
namespace {

constexpr size_t kPatchPathSize = 1040;
constexpr size_t kMessageSize = 2048;

// The patch folder joined with a file name from patch.ini, then added to the list.
bool AddPatchFile(CDeltaPatchList& list, const std::string& fileName, const char* patchFolder,
                  const char* installFolder, CConfigNotes& notes) {
    // A package is taken only from the update folder itself: a name that climbs out of it
    // or names a drive or a device would apply whatever lies there.
    if (!GeneralUtil::IsNameInsideFolder(patchFolder, fileName.c_str())) {
        notes.LogF(
            "In CDeltaPatchInfo::ProcessOneKeyValuePair, the patch file %s does not lie in the update folder %s.",
            fileName.c_str(), patchFolder ? patchFolder : "");
        PatchIniMgr::ShowFilesMissingMessage(PatchIniMgr::kFilesMissingError, fileName.c_str(), notes);
        return false;
    }
    char path[kPatchPathSize];
    if (!GeneralUtil::GetFullFilePathName(patchFolder, fileName.c_str(), path, sizeof(path), notes)) {
        notes.LogF("In CDeltaPatchInfo::ProcessOneKeyValuePair, cannot build the path of the patch file %s.",
                   fileName.c_str());
        PatchIniMgr::ShowFilesMissingMessage(PatchIniMgr::kFilesMissingError, fileName.c_str(), notes);
        return false;
    }
    return PatchIniMgr::CreateOneEntry(list, path, installFolder, notes);
}

}  // namespace

bool CDeltaPatchInfo::Initialize(CDeltaPatchList& list, const KeyValueMap& pairs, const char* patchFolder,
                                 const char* installFolder) {
    CConfigNotes notes;
    const bool result = Initialize(list, pairs, patchFolder, installFolder, notes);
    notes.Announce();
    return result;
}

bool CDeltaPatchInfo::Initialize(CDeltaPatchList& list, const KeyValueMap& pairs, const char* patchFolder,
                                 const char* installFolder, CConfigNotes& notes) {
    for (const auto& pair : pairs) {
        if (!ProcessOneKeyValuePair(list, pair.first, pair.second, patchFolder, installFolder, notes)) return false;
    }
    return true;
}

bool CDeltaPatchInfo::NamesPatchFile(const std::string& key, const std::string& value) {
    const std::string lowerKey = GeneralUtil::ToLower(key);
    return lowerKey.find("deltapatch") != std::string::npos ||
           (lowerKey.find("historypatch") != std::string::npos && !value.empty());
}

bool CDeltaPatchInfo::IsRefusedPatchName(const std::string& key, const std::string& value) {
    return GeneralUtil::ToLower(key).find("deltapatch") != std::string::npos &&
           GeneralUtil::ToLower(value).find("_core_") == std::string::npos;
}

bool CDeltaPatchInfo::ProcessOneKeyValuePair(CDeltaPatchList& list, const std::string& key, const std::string& value,
                                             const char* patchFolder, const char* installFolder) {
    CConfigNotes notes;
    const bool result = ProcessOneKeyValuePair(list, key, value, patchFolder, installFolder, notes);
    notes.Announce();
    return result;
}

bool CDeltaPatchInfo::ProcessOneKeyValuePair(CDeltaPatchList& list, const std::string& key, const std::string& value,
                                             const char* patchFolder, const char* installFolder, CConfigNotes& notes) {
    const std::string lowerKey = GeneralUtil::ToLower(key);
    if (lowerKey.find("deltapatch") != std::string::npos) {
        if (IsRefusedPatchName(key, value)) {
            char text[kMessageSize];
            SafeFormat(text, sizeof(text), "Patch name not formed correctly.  Unknown patch name: %s", value.c_str());
            notes.LogAndShowSevereError(text);
            return false;
        }
        return AddPatchFile(list, value, patchFolder, installFolder, notes);
    }
    if (lowerKey == "reinstall" || lowerKey == "reinstallmode" || lowerKey == "cmdoptions") {
        // Applies to the entry added last; before the first entry there is nothing to set.
        CDeltaPatchList::Entry* last = list.LastAdded();
        if (last) {
            if (lowerKey == "reinstall")
                last->reinstall = value;
            else if (lowerKey == "reinstallmode")
                last->reinstallMode = value;
            else
                last->cmdOptions = value;
        }
        return true;
    }
    if (lowerKey.find("historypatch") != std::string::npos && !value.empty())
        return AddPatchFile(list, value, patchFolder, installFolder, notes);

    notes.LogF("CDeltaPatchInfo::ProcessOneKeyValuePair: unknown key name \"%s\" or value \"%s\"", key.c_str(),
               value.c_str());
    notes.ShowSevereError(GeneralUtil::kProgramErrorText);
    return true;
}

}  // namespace tw
