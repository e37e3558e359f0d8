#include "config/PatchIniMgr.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "common/Handles.h"
#include "common/PlatformSeams.h"
#include "common/ProductConstants.h"
#include "common/TextUtil.h"
#include "config/ConfigNotes.h"
#include "config/GeneralUtil.h"

namespace tw {
namespace {

constexpr size_t kMessageSize = 2048;
constexpr DWORD kProductInfoSize = 260;
constexpr size_t kSectionPrefixSize = 512;  // the part before "->", at most 511 characters

// Decimal number of at most maxDigits digits at text; a non-digit ends it. Saturates
// instead of overflowing.
uint32_t ReadDigits(const char* text, size_t maxDigits) {
    uint64_t value = 0;
    for (size_t i = 0; i < maxDigits && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
        if (value > 0xFFFFFFFFull) return 0xFFFFFFFFu;
    }
    return static_cast<uint32_t>(value);
}

uint32_t ReadNumber(const char* text) { return ReadDigits(text, static_cast<size_t>(-1)); }

}  // namespace

const char* PatchIniMgr::LevelName(int32_t level) {
    switch (level) {
        case 1:
            return "Pre-alpha";
        case 2:
            return "Alpha";
        case 3:
            return "Beta";
        case 4:
            return "Release";
        default:
            return "Unknown";
    }
}

void PatchIniMgr::AssignVersionInfo(TWVersionInfo& info) {
    CConfigNotes notes;
    AssignVersionInfo(info, notes);
    notes.Announce();
}

void PatchIniMgr::AssignVersionInfo(TWVersionInfo& info, CConfigNotes& notes) {
    const char* text = info.targetVersion;
    if (strnlen(text, sizeof(info.targetVersion)) < 9) {
        notes.Log("In PatchIniMgr::AssignVersionInfo: TWVersion value is incorrect.");
        notes.ShowSevereError(GeneralUtil::kProgramErrorText);
        return;
    }
    info.majorVersion = static_cast<int32_t>(ReadDigits(text, 2));
    info.level = static_cast<int32_t>(ReadDigits(text + 2, 1));
    info.revision = static_cast<int32_t>(ReadDigits(text + 3, 3));
    info.build = static_cast<int32_t>(ReadDigits(text + 6, 3));
}

bool PatchIniMgr::GetInstalledVersion(const char* productCode, InstalledVersion& version) {
    if (!productCode || *productCode == '\0') return false;
    char buffer[kProductInfoSize] = {};
    DWORD size = kProductInfoSize;
    UINT rc = Platform().Msi.GetProductInfo(productCode, "VersionString", buffer, &size);
    if (rc != ERROR_SUCCESS) return false;
    buffer[kProductInfoSize - 1] = '\0';
    return ParseVersionString(buffer, version);
}

bool PatchIniMgr::ParseVersionString(const char* text, InstalledVersion& version) {
    if (!text) return false;
    uint32_t parts[4] = {};
    int count = 0;
    const char* p = text;
    while (count < 4) {
        if (*p < '0' || *p > '9') break;
        parts[count++] = ReadNumber(p);
        while (*p >= '0' && *p <= '9') ++p;
        if (*p != '.') break;
        ++p;
    }
    if (count < 3) return false;
    version.major = parts[0];
    version.minor = parts[1];
    version.level = parts[2] / 1000;
    version.revision = parts[2] % 1000;
    version.build = parts[3];
    return true;
}

PatchIniMgr::VersionGateVerdict PatchIniMgr::JudgeFileVersion(const TWVersionInfo& info) {
    VersionGateVerdict verdict;
    if (info.productFileVersion[0] == '\0') {
        verdict.outcome = VersionGateVerdict::kStop;
        verdict.shownText = "TWFileVersion in the patch.ini file is not available";
        verdict.logShown = true;
        return verdict;
    }
    const int fileMajor = std::atoi(info.productFileVersion);
    if (fileMajor != info.majorVersion) {
        verdict.outcome = VersionGateVerdict::kStop;
        verdict.shownText = FormatString(
            "Major version (%d) of TWFileVersion in the patch.ini file not matched with "
            "that (%d) in the patch.ini file",
            fileMajor, info.majorVersion);
        verdict.logShown = true;
    }
    return verdict;
}

PatchIniMgr::VersionGateVerdict PatchIniMgr::JudgeInstalledVersion(const TWVersionInfo& info,
                                                                   const InstalledVersion* installed,
                                                                   const char* installFolder) {
    VersionGateVerdict verdict;
    if (!installed) {
        verdict.outcome = VersionGateVerdict::kFail;
        verdict.logLines.push_back(
            FormatString("In PatchIniMgr::ProcessOneKeyValuePairInTWVersionSection,  Unable to "
                         "locate file version information for file %s\\%s. ",
                         installFolder ? installFolder : "", "tww32.exe"));
        verdict.shownText =
            "Unable to locate Tallyworks version information. \n Please reinstall or repair "
            "Tallyworks before patching again. ";
        verdict.logShown = true;
        return verdict;
    }
    if (static_cast<uint32_t>(info.majorVersion) != installed->major) {
        verdict.outcome = VersionGateVerdict::kFail;
        verdict.logLines.push_back(
            "In PatchIniMgr::ProcessOneKeyValuePairInTWVersionSection,  major file version in Windows Registry on "
            "user's machine not matched with the current major version indicated in the patch.ini file.");
        verdict.shownText =
            FormatString("Installed Tallyworks version = %d not matched with the version = %d in the patch",
                         static_cast<int>(installed->major), info.majorVersion);
        verdict.logShown = true;
    } else if (info.patchRevision < installed->revision) {
        verdict.outcome = VersionGateVerdict::kFail;
        verdict.logLines.push_back(
            "In PatchIniMgr::ProcessOneKeyValuePairInTWVersionSection,  file revision of tww32.exe on user's machine "
            "is newer than or same as the current revision indicated in the patch.ini file.");
        verdict.logLines.push_back(FormatString("Revision in patch.ini = %d and revision of the tww32.exe = %d",
                                                static_cast<int>(info.patchRevision),
                                                static_cast<int>(installed->revision)));
    } else if (info.patchLevel != static_cast<int32_t>(installed->level)) {
        verdict.outcome = VersionGateVerdict::kFail;
        verdict.logLines.push_back(
            "In PatchIniMgr::ProcessOneKeyValuePairInTWVersionSection, level of tww32.exe on user's machine not equal "
            "to level in patch.ini.");
        verdict.logLines.push_back(FormatString("Level in patch.ini = %d and level of the tww32.exe = %d",
                                                info.patchLevel, static_cast<int>(installed->level)));
        verdict.shownText = FormatString("Can't apply the %s version of the patch to the %s version of Tallyworks.",
                                         LevelName(info.patchLevel), LevelName(static_cast<int32_t>(installed->level)));
    }
    return verdict;
}

namespace {

// Records what a verdict has to say; true when the target passed.
bool Record(const PatchIniMgr::VersionGateVerdict& verdict, CConfigNotes& notes) {
    for (const std::string& line : verdict.logLines) notes.Log(line);
    if (!verdict.shownText.empty()) {
        if (verdict.logShown) notes.Log(verdict.shownText);
        notes.ShowSevereError(verdict.shownText);
    }
    return verdict.outcome == PatchIniMgr::VersionGateVerdict::kPass;
}

}  // namespace

bool PatchIniMgr::ProcessOneKeyValuePairInTWVersionSection(TWVersionInfo& info, const KeyValueMap& pairs,
                                                           const char* installFolder, const char* productCode) {
    const std::string product = productCode ? productCode : "";
    CConfigNotes notes;
    const bool result = ProcessOneKeyValuePairInTWVersionSection(
        info, pairs, installFolder,
        [&product](InstalledVersion& version) { return GetInstalledVersion(product.c_str(), version); }, notes);
    notes.Announce();
    return result;
}

bool PatchIniMgr::ProcessOneKeyValuePairInTWVersionSection(TWVersionInfo& info, const KeyValueMap& pairs,
                                                           const char* installFolder,
                                                           const InstalledVersionSource& readInstalled,
                                                           CConfigNotes& notes) {
    bool result = true;
    for (const auto& pair : pairs) {
        const std::string key = GeneralUtil::ToLower(pair.first);
        if (key.find("twversion") != std::string::npos) {
            SafeCopy(info.targetVersion, pair.second.c_str());
            AssignVersionInfo(info, notes);
            info.patchRevision = static_cast<uint32_t>(info.revision);
            info.patchLevel = info.level;

            const VersionGateVerdict fileVerdict = JudgeFileVersion(info);
            if (!Record(fileVerdict, notes)) return false;

            InstalledVersion installed;
            const bool known = readInstalled && readInstalled(installed);
            if (known) {
                info.installedLevel = static_cast<int32_t>(installed.level);
                info.installedRevision = installed.revision;
            }
            if (!Record(JudgeInstalledVersion(info, known ? &installed : nullptr, installFolder), notes))
                result = false;
        } else if (key.find("lastschemachangereleasenum") != std::string::npos) {
            // Known key without effect on the gate.
        } else if (key.find("country") != std::string::npos) {
            notes.Log("New key - Country in patch.ini added. \n Patch installer is suppressing the popup message. ");
        } else if (key.find("server") != std::string::npos) {
            notes.Log("New key - Server PDS in patch.ini added. \n Patch installer is suppressing the popup message. ");
        } else {
            notes.LogF("PatchIniMgr::ProcessOneKeyValuePairInTWVersionSection: Invalid key name \"%s\"",
                       pair.first.c_str());
            notes.ShowSevereError(GeneralUtil::kProgramErrorText);
        }
    }
    return result;
}

void PatchIniMgr::ParseDeltaSectionName(const char* sectionName, uint32_t& from, uint32_t& to) {
    from = 0;
    to = 0;
    if (!sectionName) return;
    // R<from>-><letter><to>: the letter before each number is skipped.
    const char* arrow = std::strstr(sectionName, "->");
    if (!arrow) return;
    if (std::strlen(arrow) > 3) to = ReadNumber(arrow + 3);
    char prefix[kSectionPrefixSize];
    size_t prefixLength = static_cast<size_t>(arrow - sectionName);
    if (prefixLength > kSectionPrefixSize - 1) prefixLength = kSectionPrefixSize - 1;
    std::memcpy(prefix, sectionName, prefixLength);
    prefix[prefixLength] = '\0';
    if (prefixLength > 1) from = ReadNumber(prefix + 1);
}

bool PatchIniMgr::ProcessNewDeltaPatchSection(CDeltaPatchList& list, const char* sectionName,
                                              uint32_t installedRevision, uint32_t patchRevision, bool& skip,
                                              int32_t level) {
    CConfigNotes notes;
    const bool result =
        ProcessNewDeltaPatchSection(list, sectionName, installedRevision, patchRevision, skip, level, notes);
    notes.Announce();
    return result;
}

bool PatchIniMgr::ProcessNewDeltaPatchSection(CDeltaPatchList& list, const char* sectionName,
                                              uint32_t installedRevision, uint32_t patchRevision, bool& skip,
                                              int32_t level, CConfigNotes& notes) {
    (void)list;
    if (!sectionName) sectionName = "";
    char text[kMessageSize];

    if (level == kReleaseLevel && sectionName[0] != 'R') {
        notes.LogAndShowSevereError(
            "Cannot install the upgrade because it does not apply to this version of Tallyworks.");
        skip = true;
        return false;
    }

    uint32_t from = 0, to = 0;
    ParseDeltaSectionName(sectionName, from, to);

    if (from == 0 || to == 0 || from > to) {
        SafeFormat(text, sizeof(text), "The section name %s in the patch.ini file is ill formed", sectionName);
        notes.LogAndShowSevereError(text);
        skip = true;
        return false;
    }
    if (to > patchRevision) {
        SafeFormat(text, sizeof(text),
                   "The patch.ini file is not well formated:\nTrying to update to a revision higher than that in "
                   "TWVersion. \nDelta patch section is from revision: %d to revision: %d \nwhile the revision in "
                   "TWVersion is: %d\n",
                   static_cast<int>(from), static_cast<int>(to), static_cast<int>(patchRevision));
        notes.LogAndShowSevereError(text);
        skip = true;
        return false;
    }
    if (from < installedRevision) {
        skip = true;
        notes.LogF(
            "The section %s in the patch.ini is skipped because revision on the machine is newer than that in "
            "the section",
            sectionName);
        notes.LogF(
            "The delta patch section is from revision: %d to revision: %d while the tww32.exe has the revision: "
            "%d and the latest revision in patch.ini is: %d",
            static_cast<int>(from), static_cast<int>(to), static_cast<int>(installedRevision),
            static_cast<int>(patchRevision));
    } else {
        skip = false;
    }
    return true;
}

void PatchIniMgr::ShowFilesMissingMessage(int errorNumber, const char* patchFile) {
    CConfigNotes notes;
    ShowFilesMissingMessage(errorNumber, patchFile, notes);
    notes.Announce();
}

void PatchIniMgr::ShowFilesMissingMessage(int errorNumber, const char* patchFile, CConfigNotes& notes) {
    notes.Show(FilesMissingText(errorNumber, patchFile), "Tallyworks Update Files Missing", MB_OK | MB_ICONWARNING);
}

std::string PatchIniMgr::FilesMissingText(int errorNumber, const char* patchFile) {
    char text[kMessageSize];
    if (patchFile && *patchFile) {
        SafeFormat(text, sizeof(text),
                   "Problem\nError %d. Unable to locate the update file.\n %s \n\nSolution\nRepair the Tallyworks "
                   "installation and then reset the update.  \nFor detailed solution steps, write down the error "
                   "number and then type the following into a Web browser:\n\n%s",
                   errorNumber, patchFile, product::kSupportPageUrl);
    } else {
        SafeFormat(text, sizeof(text),
                   "Unable to locate the update file.\n\nYou can download the update from the Veltra support "
                   "site:\n\n%s\n\nIf the problem continues, Veltra customer support can help you.",
                   product::kSupportPageUrl);
    }
    return text;
}

void PatchIniMgr::AddPatch(CDeltaPatchList& list, const char* patchFile, const char* targetFolder, uint32_t size) {
    list.Append(patchFile ? patchFile : "", targetFolder ? targetFolder : "", size);
}

bool PatchIniMgr::CreateOneEntry(CDeltaPatchList& list, const char* patchFile, const char* targetFolder) {
    CConfigNotes notes;
    const bool result = CreateOneEntry(list, patchFile, targetFolder, notes);
    notes.Announce();
    return result;
}

bool PatchIniMgr::CreateOneEntry(CDeltaPatchList& list, const char* patchFile, const char* targetFolder,
                                 CConfigNotes& notes) {
    if (!patchFile || !targetFolder) {
        notes.Log("PatchIniMgr::CreateOneEntry: no file or dir name given (NULL).");
        return false;
    }
    if (*patchFile == '\0' || *targetFolder == '\0') {
        notes.Log("In PatchIniMgr::CreateOneEntry, no file or dir name given (Zero length).");
        ShowFilesMissingMessage(kFilesMissingError, patchFile, notes);
        return false;
    }
    if (list.Find(patchFile, targetFolder)) return true;

    FileHandle file(::CreateFileA(patchFile, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        notes.LogF("In PatchIniMgr::CreateOneEntry, can not find the patch file %s.  Error code = %d", patchFile,
                   static_cast<int>(::GetLastError()));
        ShowFilesMissingMessage(kFilesMissingError, patchFile, notes);
        return false;
    }
    DWORD high = 0;
    ::SetLastError(NO_ERROR);
    DWORD size = ::GetFileSize(file.Get(), &high);
    DWORD error = ::GetLastError();
    if (size == INVALID_FILE_SIZE && error != NO_ERROR) {
        notes.LogF("In PatchIniMgr::CreateOneEntry, cannot get the file size, the error code = %d.",
                   static_cast<int>(error));
        ShowFilesMissingMessage(kFilesMissingError, patchFile, notes);
        return false;
    }
    AddPatch(list, patchFile, targetFolder, size);
    return true;
}

}  // namespace tw
