#pragma once
// Everything the checker learned from one update folder before judging it: the sections of
// patch.ini, what the installer's two configuration passes made of them for each installed
// revision the folder offers an update from, and the patch files.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "check/PatchPackageInfo.h"
#include "config/ConfigMgr.h"
#include "config/MsiSettings.h"
#include "config/ParserBase.h"

namespace twcheck {

// The installer's own verdict on one piece of patch.ini taken alone: accepted or not, and
// the texts of the boxes it showed.
struct Verdict {
    bool ok = true;
    std::vector<std::string> messages;
};

// One section of patch.ini, in file order.
struct IniSection {
    std::string name;
    tw::CConfigMgr::SectionKind kind = tw::CConfigMgr::SectionKind::Unknown;
    tw::KeyValueMap pairs;
    std::string error;          // the parser could not read its pairs
    uint32_t fromRevision = 0;  // delta-patch sections: the revisions the name states
    uint32_t toRevision = 0;
    Verdict nameVerdict;                         // delta-patch sections: the name check
    std::map<std::string, Verdict> keyVerdicts;  // delta- and history-patch sections, by key
};

// What one configuration pass did: its result and what the user would have seen or found
// in the patch log.
struct PassOutcome {
    bool ok = false;
    std::string error;                  // the parser's error, when the pass threw
    std::vector<std::string> messages;  // texts of the message boxes, in order
    std::vector<std::string> logLines;  // lines of the patch log, in order
};

struct RouteEntry {
    std::string patchFile;  // full path, as the installer lists it
    uint32_t size = 0;
};

// The second pass for an installed product at one revision.
struct SimulatedRun {
    uint32_t startRevision = 0;
    std::string installedVersion;  // the "VersionString" the run was given
    PassOutcome pass;
    std::vector<std::string> appliedSections;  // delta and history sections used, in order
    std::vector<RouteEntry> entries;           // the delta-patch list the pass built
};

// The installer program in the update folder.
struct ProgramInfo {
    bool found = false;
    bool hasVersion = false;
    std::string version;  // "a.b.c.d" of its version resource's fixed part
};

struct UpdateFolderSnapshot {
    std::string folder;
    std::string iniError;  // patch.ini has no readable sections (the parser's error)
    std::vector<IniSection> sections;
    PassOutcome firstPass;
    std::vector<SimulatedRun> runs;
    std::map<std::string, PatchPackageInfo> packages;  // by the lower-cased name patch.ini gives
    ProgramInfo program;
    std::vector<std::string> folderPackages;  // names of the ".msp" files lying in the folder

    // Values of the first pass.
    std::string productCode;
    std::string twVersion;  // target version string
    int32_t majorVersion = 0;
    int32_t level = 0;
    uint32_t patchRevision = 0;
    std::string fileVersion;  // TWFileVersion
    std::string productName;  // TWName
    std::string installerProperties;
    tw::MsiSettings msi;
    std::string country;
    std::string server;
};

}  // namespace twcheck
