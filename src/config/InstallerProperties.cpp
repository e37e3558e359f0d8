#include "config/InstallerProperties.h"

#include "config/GeneralUtil.h"

namespace tw {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Properties that choose what a maintenance installation installs, removes or where.
const char* const kInstallProperties[] = {"addlocal",       "addsource",      "adddefault",    "advertise",
                                          "remove",         "reinstall",      "reinstallmode", "compaddlocal",
                                          "compaddsource",  "compadddefault", "fileaddlocal",  "fileaddsource",
                                          "fileadddefault", "msipatchremove", "patch",         "transforms",
                                          "installlevel",   "targetdir",      "allusers",      "msiinstanceguid"};
const char* const kRestartProperties[] = {"reboot", "rebootprompt"};
// Set by the program after CmdOptions.
const char* const kOverriddenProperties[] = {"innetenabled", "featureenabled"};

template <size_t N>
bool IsOneOf(const std::string& lowerName, const char* const (&names)[N]) {
    for (const char* name : names)
        if (lowerName == name) return true;
    return false;
}

}  // namespace

std::string CInstallerProperties::Build(const MsiSettings& msi, const char* netEnabled, const char* featureEnabled) {
    std::string properties = "PARENTAPP=TWPatch";
    properties += " REINSTALL=";
    properties += msi.reinstall;
    properties += " REINSTALLMODE=";
    properties += msi.reinstallMode;
    properties += " REBOOT=ReallySuppress ";
    properties += msi.cmdOptions;
    properties += " INNETENABLED=";
    properties += netEnabled ? netEnabled : "";
    properties += " FEATUREENABLED=";
    properties += featureEnabled ? featureEnabled : "";
    return properties;
}

bool CInstallerProperties::Parse(const std::string& text, std::vector<Property>& properties, std::string* problem) {
    properties.clear();
    size_t i = 0;
    auto fail = [&](size_t start) {
        if (problem) {
            size_t end = start;
            while (end < text.size() && !IsBlank(text[end])) ++end;
            *problem = text.substr(start, end - start);
        }
        return false;
    };
    while (i < text.size()) {
        if (IsBlank(text[i])) {
            ++i;
            continue;
        }
        const size_t start = i;
        Property property;
        while (i < text.size() && text[i] != '=' && !IsBlank(text[i])) {
            if (text[i] == '"') return fail(start);
            property.name += text[i++];
        }
        if (i >= text.size() || text[i] != '=' || property.name.empty()) return fail(start);
        ++i;  // the '='
        // The value runs to the next blank outside quotes; a quote opens or closes a quoted
        // part, and "" inside one stands for a quote.
        bool quoted = false;
        while (i < text.size() && (quoted || !IsBlank(text[i]))) {
            if (text[i] == '"') {
                if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
                    property.value += '"';
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            property.value += text[i++];
        }
        if (quoted) return fail(start);
        properties.push_back(std::move(property));
    }
    return true;
}

CInstallerProperties::Effect CInstallerProperties::EffectOf(const std::string& name) {
    const std::string lower = GeneralUtil::ToLower(name);
    if (IsOneOf(lower, kRestartProperties)) return Effect::Restart;
    if (IsOneOf(lower, kInstallProperties)) return Effect::Installs;
    if (IsOneOf(lower, kOverriddenProperties)) return Effect::Overridden;
    return Effect::None;
}

}  // namespace tw
