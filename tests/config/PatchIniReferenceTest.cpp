// The complete example of docs/patch-ini.md, read by the configuration code: every value the
// reference's table states is what the program reads, and the table leaves none out.

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ConfigTestSupport.h"
#include "config/ConfigMgr.h"
#include "config/ConfigNotes.h"
#include "config/InstallerProperties.h"
#include "config/PatchIniMgr.h"
#include "logging/InstallTracker.h"

namespace configtest {
namespace {

constexpr char kExampleMark[] = "<!-- example: patch.ini -->";
constexpr char kValuesMark[] = "<!-- example values -->";

// The text between "```ini" after the mark and the closing "```".
std::string ExampleOf(const std::string& reference) {
    size_t mark = reference.find(kExampleMark);
    size_t open = mark == std::string::npos ? mark : reference.find("```ini\n", mark);
    if (open == std::string::npos) return std::string();
    open += 7;
    size_t close = reference.find("```", open);
    return close == std::string::npos ? std::string() : reference.substr(open, close - open);
}

// The rows "| `name` | `value` |" of the table after the mark.
std::map<std::string, std::string> DocumentedValues(const std::string& reference) {
    std::map<std::string, std::string> values;
    size_t at = reference.find(kValuesMark);
    if (at == std::string::npos) return values;
    while ((at = reference.find("\n| `", at)) != std::string::npos) {
        const size_t end = reference.find('\n', at + 1);
        const std::string row = reference.substr(at + 1, end - at - 1);
        const size_t nameEnd = row.find("` | `");
        if (nameEnd != std::string::npos && row.size() >= 4 && row.compare(row.size() - 3, 3, "` |") == 0)
            values[row.substr(3, nameEnd - 3)] = row.substr(nameEnd + 5, row.size() - nameEnd - 8);
        at = end;
    }
    return values;
}

std::string WithoutCr(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != '\r') out += c;
    return out;
}

std::string Agents(const std::vector<tw::AgentInfo>& agents) {
    std::string out;
    for (const tw::AgentInfo& a : agents) {
        if (!out.empty()) out += "; ";
        out += a.windowClass.value_or("-") + " / " + a.windowTitle.value_or("-") + " / " + a.processName.value_or("-") +
               " / " + a.displayName.value_or("-");
    }
    return out;
}

class PatchIniReferenceTest : public ConfigTest {
protected:
    // The chain the second read builds for a product at that version: the file names joined by ";".
    std::string ChainFrom(const std::string& versionString) {
        tw::CConfigMgr config;
        tw::CConfigNotes notes;
        EXPECT_TRUE(config.ReadConfInfoFromFile(dir.Path().c_str(), notes));
        const auto installed = [&versionString](tw::PatchIniMgr::InstalledVersion& version) {
            return tw::PatchIniMgr::ParseVersionString(versionString.c_str(), version);
        };
        EXPECT_TRUE(
            config.ReadPatchIniFile(dir.Path().c_str(), "C:\\Program Files\\Veltra\\Tallyworks", installed, notes));
        std::string chain;
        for (const auto* e = config.GetDeltaPatchList().Head(); e; e = e->next.get())
            chain += (chain.empty() ? "" : ";") + e->patchFile.substr(dir.Path().size() + 1);
        return chain;
    }
};

TEST_F(PatchIniReferenceTest, ExampleGivesTheDocumentedValues) {
    const std::string reference = WithoutCr(twtest::ReadTextFile(twtest::SourcePath("docs\\patch-ini.md")));
    const std::string example = ExampleOf(reference);
    ASSERT_FALSE(example.empty()) << "no example in docs/patch-ini.md";
    const std::map<std::string, std::string> documented = DocumentedValues(reference);
    ASSERT_FALSE(documented.empty()) << "no table of values in docs/patch-ini.md";

    std::string crlf;
    for (char c : example) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    WritePatchIni(crlf);
    for (const char* file : {"tw28_core_r6.msp", "tw28_core_r7.msp", "tw28_rates_r7.msp"}) WritePatchFile(file);

    // Both reads for a product at revision 5, as the installer makes them.
    tw::CConfigMgr config;
    tw::CConfigNotes notes;
    ASSERT_TRUE(config.ReadConfInfoFromFile(dir.Path().c_str(), notes));
    const auto atRevision5 = [](tw::PatchIniMgr::InstalledVersion& version) {
        return tw::PatchIniMgr::ParseVersionString("28.0.4005.1", version);
    };
    ASSERT_TRUE(
        config.ReadPatchIniFile(dir.Path().c_str(), "C:\\Program Files\\Veltra\\Tallyworks", atRevision5, notes));
    EXPECT_TRUE(notes.ShownTexts().empty()) << notes.ShownTexts().front();
    const tw::TWVersionInfo& version = config.GetVersionInfo();
    const tw::MsiSettings& msi = config.GetMsiSettings();
    auto number = [](long value) { return std::to_string(value); };

    const std::map<std::string, std::function<std::string()>> read = {
        {"product title", [&] { return std::string(config.GetProductTitle()); }},
        {"product name", [&] { return std::string(config.GetTWName()); }},
        {"file version", [&] { return std::string(config.GetTWFileVersion()); }},
        {"target version", [&] { return std::string(config.GetTWVersion()); }},
        {"major version", [&] { return number(version.majorVersion); }},
        {"level", [&] { return number(version.level); }},
        {"revision", [&] { return number(static_cast<long>(version.patchRevision)); }},
        {"build", [&] { return number(version.build); }},
        {"installed revision written", [&] { return config.GetTWVersionDigits(); }},
        {"country", [&] { return config.GetCountry(); }},
        {"server", [&] { return config.GetServer(); }},
        {"tracking",
         [&] {
             return std::string(
                 tw::InstallTracker::IsTrackingAllowed(config.GetCountry().c_str(), config.GetServer().c_str())
                     ? "on"
                     : "off");
         }},
        {"product code", [&] { return msi.productCode; }},
        {"reinstall", [&] { return msi.reinstall; }},
        {"reinstall mode", [&] { return msi.reinstallMode; }},
        {"command options", [&] { return msi.cmdOptions; }},
        {"save temporary files", [&] { return number(msi.saveTempFiles ? 1 : 0); }},
        {"logging enabled", [&] { return number(msi.loggingEnable ? 1 : 0); }},
        {"logging mode", [&] { return number(msi.loggingMode); }},
        {"agents", [&] { return Agents(config.GetAgentList()); }},
        {"related applications", [&] { return Agents(config.GetRelatedAppsList()); }},
        {"IsNetEnabled", [&] { return std::string(config.GetIsNetEnabled()); }},
        {"IsFeatureEnabled", [&] { return std::string(config.GetIsFeatureEnabled()); }},
        {"property list",
         [&] { return tw::CInstallerProperties::Build(msi, config.GetIsNetEnabled(), config.GetIsFeatureEnabled()); }},
        {"chain from revision 5", [&] { return ChainFrom("28.0.4005.1"); }},
        {"chain from revision 6", [&] { return ChainFrom("28.0.4006.1"); }},
        {"chain from revision 7", [&] { return ChainFrom("28.0.4007.1"); }},
    };
    for (const auto& [name, value] : documented) {
        SCOPED_TRACE(name);
        auto reader = read.find(name);
        ASSERT_NE(read.end(), reader) << "the table documents a value the test does not read";
        EXPECT_EQ(value, reader->second());
    }
    for (const auto& entry : read) EXPECT_TRUE(documented.count(entry.first)) << entry.first << " is not documented";
    EXPECT_TRUE(boxes.Calls().empty());
}

}  // namespace
}  // namespace configtest
