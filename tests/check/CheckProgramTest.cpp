// The real twpatchcheck.exe on real folders: what it prints and its exit code.

#include <gtest/gtest.h>

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

TEST_F(CheckProgramTest, ExitCodesOfBrokenAndUnreadableFolders) {
    struct Case {
        const char* name;
        std::function<void()> prepare;
        std::string folder;
        DWORD exitCode;
        const char* output;
    };
    const Case cases[] = {
        {"missing patch", [&] { ::DeleteFileA((dir / "tw28_core_r7.msp").c_str()); }, dir.Path(), 1u, "patch-missing"},
        {"binary patch.ini", [&] { twtest::WriteTextFile(dir / "patch.ini", std::string("\x00\x01\xff[\x02", 5)); },
         dir.Path(), 1u, "ini-unreadable"},
        {"no such folder", [] {}, dir / "nothing-here", 2u, "\"error\": \"the update folder"},
        {"no patch.ini", [&] { ::DeleteFileA((dir / "patch.ini").c_str()); }, dir.Path(), 2u, "no patch.ini"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.prepare();
        ProgramRun run = RunChecker(Quoted(c.folder) + " --json");
        EXPECT_EQ(c.exitCode, run.exitCode) << run.out;
        EXPECT_TRUE(Has(run.out, c.output)) << run.out;
    }
    EXPECT_EQ(2u, RunChecker("").exitCode);
}

}  // namespace
}  // namespace checktest
