#pragma once
// The version gate and the delta-patch list of patch.ini: parsing of the target version,
// comparison with the installed product, the revision range of delta-patch section names,
// and the entries of the list.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config/DeltaPatchList.h"
#include "config/ParserBase.h"
#include "config/TWVersionInfo.h"

namespace tw {

class CConfigNotes;

// Each operation that logs or shows has a second form that records into notes instead; the
// first form records, then announces.
class PatchIniMgr {
public:
    // Installed product version as Windows Installer reports it ("VersionString" A.B.C.D).
    struct InstalledVersion {
        uint32_t major = 0;     // A
        uint32_t minor = 0;     // B (kept, not used)
        uint32_t level = 0;     // C / 1000
        uint32_t revision = 0;  // C % 1000
        uint32_t build = 0;     // D (kept, not used)
    };

    // What the version gate decided about the target version, and what it has to say: the
    // log lines first, then the text of the "Severe Error" box (logged too when logShown).
    struct VersionGateVerdict {
        enum Outcome { kPass, kFail, kStop };  // kStop: the remaining pairs are not read
        Outcome outcome = kPass;
        std::vector<std::string> logLines;
        std::string shownText;
        bool logShown = false;
    };

    // Reads the installed product's version; false when it cannot be read.
    using InstalledVersionSource = std::function<bool(InstalledVersion&)>;

    static constexpr int kReleaseLevel = 4;
    // Error number shown in the files-missing box.
    static constexpr int kFilesMissingError = 13;

    // Parses the record's target version string into major (characters 1-2), level (3),
    // revision (4-6) and build (7-9). A string shorter than 9 characters is reported and
    // leaves the numbers unchanged.
    static void AssignVersionInfo(TWVersionInfo& info);
    static void AssignVersionInfo(TWVersionInfo& info, CConfigNotes& notes);

    // Reads "VersionString" of the installed product through Windows Installer. False when
    // it cannot be read or does not hold at least three dot-separated numbers.
    static bool GetInstalledVersion(const char* productCode, InstalledVersion& version);
    // Reads a "VersionString" A.B.C.D; false when it does not start with three
    // dot-separated numbers.
    static bool ParseVersionString(const char* text, InstalledVersion& version);

    // The first verdict: the file version of patch.ini must name the target's major version.
    static VersionGateVerdict JudgeFileVersion(const TWVersionInfo& info);
    // The second verdict: the target against the installed product (null when its version
    // could not be read). installFolder is used in a message only.
    static VersionGateVerdict JudgeInstalledVersion(const TWVersionInfo& info, const InstalledVersion* installed,
                                                    const char* installFolder);

    // The version gate over the pairs of the auto-patch section. installFolder is used in a
    // message only; productCode names the installed product for Windows Installer.
    static bool ProcessOneKeyValuePairInTWVersionSection(TWVersionInfo& info, const KeyValueMap& pairs,
                                                         const char* installFolder, const char* productCode);
    // The same, with the installed version read from readInstalled (asked only when a
    // twversion key gets that far) and what the gate has to say recorded in notes.
    static bool ProcessOneKeyValuePairInTWVersionSection(TWVersionInfo& info, const KeyValueMap& pairs,
                                                         const char* installFolder,
                                                         const InstalledVersionSource& readInstalled,
                                                         CConfigNotes& notes);

    // Reads the revisions of a delta-patch section name such as R5->R7: the number after
    // the first character, and the number after the letter that follows "->". A part that
    // is missing reads as 0.
    static void ParseDeltaSectionName(const char* sectionName, uint32_t& from, uint32_t& to);

    // Checks a delta-patch section name such as R5->R7 against the revisions and sets
    // skip when the section does not apply. False when the name is ill formed or goes
    // beyond the patch revision.
    static bool ProcessNewDeltaPatchSection(CDeltaPatchList& list, const char* sectionName, uint32_t installedRevision,
                                            uint32_t patchRevision, bool& skip, int32_t level);
    static bool ProcessNewDeltaPatchSection(CDeltaPatchList& list, const char* sectionName, uint32_t installedRevision,
                                            uint32_t patchRevision, bool& skip, int32_t level, CConfigNotes& notes);

    // Adds the patch file for the target folder unless the list has it already. False (and
    // the files-missing box) when the file cannot be opened or measured.
    static bool CreateOneEntry(CDeltaPatchList& list, const char* patchFile, const char* targetFolder);
    static bool CreateOneEntry(CDeltaPatchList& list, const char* patchFile, const char* targetFolder,
                               CConfigNotes& notes);

    // Appends an entry.
    static void AddPatch(CDeltaPatchList& list, const char* patchFile, const char* targetFolder, uint32_t size);

    // "Tallyworks Update Files Missing" box; without a path a shorter text is shown.
    static void ShowFilesMissingMessage(int errorNumber, const char* patchFile);
    static void ShowFilesMissingMessage(int errorNumber, const char* patchFile, CConfigNotes& notes);
    // The text of that box.
    static std::string FilesMissingText(int errorNumber, const char* patchFile);

    // "Unknown", "Pre-alpha", "Alpha", "Beta", "Release"; other values are "Unknown".
    static const char* LevelName(int32_t level);
};

}  // namespace tw
