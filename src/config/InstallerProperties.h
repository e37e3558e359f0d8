#pragma once
// The property list of the apply call, built from patch.ini, and how Windows Installer reads
// such a list: NAME=value items separated by blanks, a value in double quotes when it holds
// blanks ("" inside stands for one quote). Where a name stands twice, the last value wins, so
// the CmdOptions of patch.ini, which stand between the program's REBOOT=ReallySuppress and
// its own INNETENABLED and FEATUREENABLED, can override the first but not the second.

#include <string>
#include <vector>

#include "config/MsiSettings.h"

namespace tw {

class CInstallerProperties {
public:
    struct Property {
        std::string name;  // as written
        std::string value;
    };

    // What a property given in CmdOptions does to the run.
    enum class Effect {
        None,        // none the update cares about
        Restart,     // decides whether Windows is restarted (REBOOT, REBOOTPROMPT)
        Installs,    // changes what is installed or removed (REMOVE, ADDLOCAL, MSIPATCHREMOVE, ...)
        Overridden,  // set again by the program after CmdOptions: the program's value wins
    };

    // "PARENTAPP=TWPatch REINSTALL=<reinstall> REINSTALLMODE=<mode> REBOOT=ReallySuppress
    // <cmdoptions> INNETENABLED=<net> FEATUREENABLED=<feature>".
    static std::string Build(const MsiSettings& msi, const char* netEnabled, const char* featureEnabled);

    // Splits a property text; false when it is not one (an item without "=", a name with a
    // quote in it, a quote that is not closed), with the item at fault in problem.
    static bool Parse(const std::string& text, std::vector<Property>& properties, std::string* problem);

    // The effect of a property of CmdOptions (the name compared without regard to case).
    static Effect EffectOf(const std::string& name);
};

}  // namespace tw
