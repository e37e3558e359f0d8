#pragma once
// Gathers the facts --here judges, without writing, starting or changing anything: Windows
// Installer is asked about the product, the product folder is looked at, the running
// product is looked for the way the installer looks (without asking anything to close),
// and the installer's configuration code reads patch.ini for the installed version.

#include <string>

#include "check/MachineFacts.h"
#include "check/UpdateFolderSnapshot.h"

namespace twcheck {

class CMachineReader {
public:
    // folderText: the text after /P when given (folderGiven), else the installed product's
    // folder is taken.
    static MachineFacts Read(const UpdateFolderSnapshot& snapshot, bool folderGiven, const std::string& folderText);

    // The product folder as the run takes it from the text after /P: one pair of enclosing
    // quotes removed, in its full form. False when the text does not fit the command line's
    // record (the run then has no product folder).
    static bool TakeProductFolder(const std::string& text, std::string& folder);
};

}  // namespace twcheck
