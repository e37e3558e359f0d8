// The property list of the apply call as Windows Installer reads it, what a property of
// CmdOptions does to the run, and the plan for the programs patch.ini names.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/CompanionPlan.h"
#include "config/GeneralUtil.h"
#include "config/InstallerProperties.h"

namespace configtest {
namespace {

using tw::CInstallerProperties;
using Effect = CInstallerProperties::Effect;

std::string Joined(const std::vector<CInstallerProperties::Property>& properties) {
    std::string out;
    for (const auto& p : properties) out += "[" + p.name + "|" + p.value + "]";
    return out;
}

TEST(InstallerPropertiesTest, ParsedAsWindowsInstallerReadsThem) {
    const struct {
        const char* text;
        bool ok;
        const char* parsed;   // when ok
        const char* problem;  // when not
    } cases[] = {
        {"", true, "", ""},
        {"  A=1\tB=two ", true, "[A|1][B|two]", ""},
        {"ADDLOCAL=\"Main,Help\" X=", true, "[ADDLOCAL|Main,Help][X|]", ""},
        {"TARGETDIR=\"C:\\Program Files\\Veltra\"", true, "[TARGETDIR|C:\\Program Files\\Veltra]", ""},
        {"NOTE=\"say \"\"hi\"\"\"", true, "[NOTE|say \"hi\"]", ""},
        {"PATH=C:\\\"Program Files\"\\x", true, "[PATH|C:\\Program Files\\x]", ""},
        {"REBOOT", false, "", "REBOOT"},
        {"A=1 =2", false, "", "=2"},
        {"A=\"open", false, "", "A=\"open"},
        {"A\"B=1", false, "", "A\"B=1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<CInstallerProperties::Property> properties;
        std::string problem;
        EXPECT_EQ(c.ok, CInstallerProperties::Parse(c.text, properties, &problem));
        if (c.ok) {
            EXPECT_EQ(c.parsed, Joined(properties));
        } else {
            EXPECT_EQ(c.problem, problem);
        }
    }
}

TEST(InstallerPropertiesTest, EffectOfAnOption) {
    const struct {
        const char* name;
        Effect effect;
    } cases[] = {
        {"REBOOT", Effect::Restart},      {"rebootprompt", Effect::Restart},    {"REMOVE", Effect::Installs},
        {"AddLocal", Effect::Installs},   {"MSIPATCHREMOVE", Effect::Installs}, {"REINSTALLMODE", Effect::Installs},
        {"TRANSFORMS", Effect::Installs}, {"INNETENABLED", Effect::Overridden}, {"FEATUREENABLED", Effect::Overridden},
        {"MYSETTING", Effect::None},      {"PARENTAPP", Effect::None},          {"REBOOTX", Effect::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.effect, CInstallerProperties::EffectOf(c.name));
    }
}

// The list the apply call gets; parsed back, the program's own values after CmdOptions win.
TEST(InstallerPropertiesTest, BuiltListAndWhoseValueWins) {
    tw::MsiSettings msi;
    msi.cmdOptions = "REBOOT=Force INNETENABLED=1";
    const std::string list = CInstallerProperties::Build(msi, "0", "");
    EXPECT_EQ(
        "PARENTAPP=TWPatch REINSTALL=ALL REINSTALLMODE=omus REBOOT=ReallySuppress REBOOT=Force INNETENABLED=1 "
        "INNETENABLED=0 FEATUREENABLED=",
        list);
    std::vector<CInstallerProperties::Property> properties;
    ASSERT_TRUE(CInstallerProperties::Parse(list, properties, nullptr));
    std::string reboot, net;
    for (const auto& p : properties) {
        if (p.name == "REBOOT") reboot = p.value;
        if (p.name == "INNETENABLED") net = p.value;
    }
    EXPECT_EQ("Force", reboot);
    EXPECT_EQ("0", net);
}

TEST(CompanionPlanTest, WhatTheRunDoesWithAnEntry) {
    const struct {
        const char* value;
        bool looksForWindow;
        const char* process;
        const char* display;
    } cases[] = {
        {"TWAgentWnd, Tallyworks Agent, twagent.exe, Agent", true, "twagent.exe", "Agent"},
        {"TWAgentWnd", true, "", "TWAgentWnd"},                  // a window class only
        {",,twagent.exe,Agent", false, "twagent.exe", "Agent"},  // a blank class names no window
        {",Title,twagent.exe", false, "twagent.exe", "twagent.exe"},
        {"Cls,,", true, "", "Cls"},
        {",,,", false, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        const tw::CompanionAction action = tw::CCompanionPlan::Of(tw::GeneralUtil::SplitAgentValue(c.value));
        EXPECT_EQ(c.looksForWindow, action.looksForWindow);
        EXPECT_EQ(c.process, action.processName);
        EXPECT_EQ(c.display, action.displayName);
    }
    EXPECT_TRUE(tw::CCompanionPlan::IsAgentProcessName("TWDAGENT.EXE"));
    EXPECT_FALSE(tw::CCompanionPlan::IsAgentProcessName("twdage"));
}

}  // namespace
}  // namespace configtest
