#pragma once
// What the ULIP copy-back will do with each item of the package's manifest, decided before
// anything is touched: the backup file it would use, the destination, the action and the log
// lines that go with it. A backup is only ever used when it is a file this run unpacked from
// the verified cabinet and still holds unchanged; any other file at its place (dropped there
// by somebody else) counts as no backup at all.

#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "offcycle/ManifestTable.h"

namespace tw {

class CCopyBackPlan {
public:
    enum class Action {
        Skip,           // not for this layout, or a name that cannot be used
        NoBackup,       // the package brought no usable file for it
        Copy,           // the backup replaces the installed file whole
        KeepInstalled,  // a common file of another version: the installed one stays, the backup goes
    };

    struct Line {
        bool error;  // also sent as an error tracking message
        std::string text;
    };

    struct Step {
        std::string file;  // the item's file text as used (without the cut extension when cut)
        std::string backup;
        std::string destination;
        Action action = Action::Skip;
        std::vector<Line> lines;  // written in this order before the action is carried out
    };

    // A file's first and third version components, or the lines its failed reading gives.
    struct Version {
        bool read = false;
        DWORD first = 0;
        DWORD third = 0;
        std::vector<Line> failure;
    };

    struct Facts {
        // True when the path is a file unpacked from the verified cabinet, held and unchanged.
        std::function<bool(const std::string& path)> isVerifiedBackup;
        std::function<Version(const std::string& path)> version;
    };

    struct Inputs {
        const Manifest::ManifestTable* manifest = nullptr;
        std::string backupFolder;  // with its closing backslash
        std::string installDir;
        std::string commonFolder;    // empty when unknown
        std::string commonFolder32;  // empty when unknown
        bool folderSupport = false;
        const std::set<std::string>* commonFiles = nullptr;
    };

    // One step for each item of the manifest, in the order of its items map. No side effects.
    static std::vector<Step> Make(const Inputs& inputs, const Facts& facts);

    // What to do when the whole-file replacement failed, by what lies on disk: the installed
    // file is either still at its place or only under the name given for the replaced file.
    enum class Recovery {
        Nothing,       // the installed file is in place and nothing was set aside
        MoveBack,      // only the set-aside copy is left: it goes back to its place
        KeepPrevious,  // both exist: the set-aside copy is kept (and named), never deleted
    };
    static Recovery AfterFailedReplace(bool destinationExists, bool previousExists);

    // Reads the version resource of a file; the failure lines name the product's main
    // executable whichever file was read.
    static Version ReadVersion(const std::string& path);
};

}  // namespace tw
