// The real twpatchcheck.exe on real folders: what it prints and its exit code.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "UpdateFolderFixture.h"

namespace checktest {
namespace {

struct ProgramRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;
};

// Runs the checker with the arguments; its standard output and error together.
ProgramRun RunChecker(const std::string& arguments) {
    ProgramRun run;
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    HANDLE readRaw = nullptr, writeRaw = nullptr;
    if (!::CreatePipe(&readRaw, &writeRaw, &sa, 0)) return run;
    tw::KernelHandle readEnd(readRaw), writeEnd(writeRaw);
    ::SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);

    const std::string exe = twtest::BinaryPath("twpatchcheck.exe");
    std::string cmd = "\"" + exe + "\" " + arguments;
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd.Get();
    si.hStdError = writeEnd.Get();
    si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
        return run;
    tw::KernelHandle process(pi.hProcess), thread(pi.hThread);
    writeEnd.Reset();
    char buf[4096];
    DWORD n = 0;
    while (::ReadFile(readEnd.Get(), buf, sizeof(buf), &n, nullptr) && n > 0) run.out.append(buf, n);
    if (::WaitForSingleObject(process.Get(), 60000) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(process.Get(), &run.exitCode);
    return run;
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class CheckProgramTest : public UpdateFolderFixture {};

TEST_F(CheckProgramTest, DemoFolderIsCleanInTableAndJson) {
    ProgramRun table = RunChecker(Quoted(dir.Path()));
    EXPECT_EQ(0u, table.exitCode) << table.out;
    EXPECT_TRUE(Has(table.out, "From revision 5: 2 patch(es), final revision 7")) << table.out;
    EXPECT_TRUE(Has(table.out, "From revision 6: 1 patch(es), final revision 7")) << table.out;
    EXPECT_TRUE(Has(table.out, "tw28_core_r6.msp")) << table.out;
    EXPECT_TRUE(Has(table.out, "398 MB")) << table.out;
    EXPECT_TRUE(Has(table.out, "PARENTAPP=TWPatch REINSTALL=ALL")) << table.out;
    EXPECT_TRUE(Has(table.out, "No findings.")) << table.out;

    ProgramRun json = RunChecker(Quoted(dir.Path()) + " --json");
    EXPECT_EQ(0u, json.exitCode) << json.out;
    EXPECT_TRUE(Has(json.out, "\"findings\": []")) << json.out;
    EXPECT_TRUE(Has(json.out, "{\"from\": 5, \"accepted\": true, \"final\": 7,")) << json.out;
    EXPECT_TRUE(Has(json.out, "\"file\": \"tw28_core_r7.msp\"")) << json.out;
    EXPECT_TRUE(Has(json.out, "\"productCode\": \"" + productCode + "\"")) << json.out;
    EXPECT_FALSE(twtest::FileExists(dir / "Patchlog.txt"));
}

// The gate's exit codes: 0 without a finding that stops the update (advisories allowed),
// 1 with one (or, with --strict, with any finding), 2 for a folder that cannot be read and
// 64 for a wrong usage.
TEST_F(CheckProgramTest, ExitCodesOfTheGate) {
    struct Case {
        const char* name;
        std::function<void()> prepare;
        std::string arguments;
        DWORD exitCode;
        const char* output;
    };
    const std::string folder = Quoted(dir.Path());
    const Case cases[] = {
        {"an advisory alone passes", [&] { EditIni("LoggingEnable=1\n", ""); }, folder, 0u,
         "advisory          msi-log-off"},
        {"--strict counts advisories", [] {}, folder + " --strict", 1u,
         "1 finding(s): 0 stop(s) the update, 1 advisory"},
        {"a finding that stops the update", [&] { ::DeleteFileA((dir / "tw28_core_r7.msp").c_str()); }, folder, 1u,
         "stops the update  patch-missing"},
        {"the same as JSON", [] {}, folder + " --json", 1u, "\"severity\": \"stops-update\""},
        {"binary patch.ini", [&] { twtest::WriteTextFile(dir / "patch.ini", std::string("\x00\x01\xff[\x02", 5)); },
         folder + " --json", 1u, "ini-unreadable"},
        {"no such folder", [] {}, Quoted(dir / "nothing-here") + " --json", 2u, "\"error\": \"the update folder"},
        {"no patch.ini", [&] { ::DeleteFileA((dir / "patch.ini").c_str()); }, folder + " --json", 2u, "no patch.ini"},
        // The other wrong usages are CheckCommandLineTest's.
        {"an unknown option", [] {}, folder + " --json --quiet", 64u, "\"error\": \"unknown option --quiet\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.prepare();
        ProgramRun run = RunChecker(c.arguments);
        EXPECT_EQ(c.exitCode, run.exitCode) << run.out;
        EXPECT_TRUE(Has(run.out, c.output)) << run.out;
    }
}

}  // namespace
}  // namespace checktest
