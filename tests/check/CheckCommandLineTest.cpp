// The checker's command line: its options, its usage errors, and the product folder taken
// from the raw line after /P as the installer takes it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "check/CheckCommandLine.h"

namespace checktest {
namespace {

using twcheck::CCheckCommandLine;

TEST(CheckCommandLineTest, OptionsAndUsageErrors) {
    const struct {
        std::vector<std::string> arguments;
        bool ok;
        bool here, json, strict, productFolder;
        const char* error;  // part of it
    } cases[] = {
        {{"C:\\u"}, true, false, false, false, false, ""},
        {{"C:\\u", "--json", "--strict"}, true, false, true, true, false, ""},
        {{"--here", "C:\\u", "/P", "C:\\Program", "Files\\Veltra"}, true, true, false, false, true, ""},
        {{"--here", "C:\\u", "--json", "/p", "--strict"}, true, true, true, false, true, ""},  // the rest is /P's
        {{}, false, false, false, false, false, "no update folder"},
        {{"--json"}, false, false, false, false, false, "no update folder"},
        {{"C:\\u", "C:\\v"}, false, false, false, false, false, "more than one update folder"},
        {{"C:\\u", "--quiet"}, false, false, false, false, false, "unknown option --quiet"},
        {{"C:\\u", "/P", "C:\\x"}, false, false, false, false, false, "/P is given only with --here"},
        {{"--here", "C:\\u", "--strict"}, false, false, false, false, false, "--strict applies to the folder check"},
    };
    for (const auto& c : cases) {
        std::string joined;
        for (const std::string& a : c.arguments) joined += a + " ";
        SCOPED_TRACE(joined);
        twcheck::CheckArguments parsed;
        std::string error;
        EXPECT_EQ(c.ok, CCheckCommandLine::Parse(c.arguments, parsed, error));
        if (!c.ok) {
            EXPECT_NE(std::string::npos, error.find(c.error)) << error;
            continue;
        }
        EXPECT_EQ("C:\\u", parsed.folder);
        EXPECT_EQ(c.here, parsed.here);
        EXPECT_EQ(c.json, parsed.json);
        EXPECT_EQ(c.strict, parsed.strict);
        EXPECT_EQ(c.productFolder, parsed.productFolderGiven);
    }
}

TEST(CheckCommandLineTest, ProductFolderIsTheRestOfTheLine) {
    const struct {
        const char* line;
        const char* folder;
    } cases[] = {
        {"twpatchcheck.exe --here C:\\u /P C:\\Program Files\\Veltra\\Tallyworks",
         "C:\\Program Files\\Veltra\\Tallyworks"},
        {"\"C:\\tools\\twpatchcheck.exe\" --here \"C:\\u p\" /P \"C:\\Program Files\\Veltra\\Tallyworks\"",
         "\"C:\\Program Files\\Veltra\\Tallyworks\""},
        {"twpatchcheck --here C:\\u /p \t C:\\x /Q", "C:\\x /Q"},
        // A /P inside a quoted argument is no switch.
        {"twpatchcheck --here \"C:\\a /P b\" /P C:\\x", "C:\\x"},
        {"twpatchcheck --here C:\\u /P", ""},
        {"twpatchcheck --here C:\\u", ""},
        {"twpatchcheck --here C:\\u /Pfolder", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(c.folder, CCheckCommandLine::TextAfterProductSwitch(c.line));
    }
}

}  // namespace
}  // namespace checktest
