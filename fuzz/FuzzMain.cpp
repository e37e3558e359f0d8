// Mutation fuzzer of the inputs that come from outside the program, run in-process under
// Windows (or Wine): twfuzz.exe --kind K [--count N] [--seconds S] [--seed X] [--seeds DIR]
// [--out DIR] [--hang-ms MS]. Prints one summary line per kind; exit code 0 when no input
// crashed or hung. A crashing or hanging input is saved to the output folder first.

#include <windows.h>
#include <msi.h>
#include <msxml2.h>
#include <objbase.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Mutator.h"
#include "app/AutoPatchInstaller.h"
#include "app/PatchCmdInfo.h"
#include "app/PatchInstallerBase.h"
#include "common/Handles.h"
#include "common/PlatformSeams.h"
#include "config/ConfigMgr.h"
#include "datastore/TWNameList.h"
#include "datastore/TWRegDataAccessor.h"
#include "logging/OSSupportGate.h"
#include "logging/OSSupportMessage.h"
#include "logging/StatusLogMgr.h"
#include "logging/TWPatchLogUtil.h"
#include "logging/TelemetryEndpointConfig.h"
#include "offcycle/ManifestParser.h"
#include "offcycle/ManifestTable.h"
#include "offcycle/MsxmlGuids.h"

namespace {

// What the crash and hang reporters need; set before each input.
struct Current {
    std::string kind;
    std::string outDir;
    const std::string* input = nullptr;
    std::atomic<unsigned long long> index{0};
    std::atomic<ULONGLONG> startedAt{0};  // 0 between inputs
    std::atomic<bool> done{false};
};
Current g_current;

void SaveCurrent(const char* what) {
    if (!g_current.input) return;
    char name[MAX_PATH];
    std::snprintf(name, sizeof(name), "%s\\%s-%s-%llu.bin", g_current.outDir.c_str(), what, g_current.kind.c_str(),
                  g_current.index.load());
    if (FILE* f = std::fopen(name, "wb")) {
        std::fwrite(g_current.input->data(), 1, g_current.input->size(), f);
        std::fclose(f);
    }
    std::fprintf(stderr, "twfuzz: %s on input %llu of kind %s, saved to %s\n", what, g_current.index.load(),
                 g_current.kind.c_str(), name);
    std::fflush(stderr);
}

std::string ModuleOffset(void* at) {
    HMODULE module = nullptr;
    char moduleName[MAX_PATH] = "?";
    if (::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                             static_cast<LPCSTR>(at), &module))
        ::GetModuleFileNameA(module, moduleName, MAX_PATH);
    char text[MAX_PATH + 32];
    std::snprintf(text, sizeof(text), "%s+0x%llx", moduleName,
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(at) - reinterpret_cast<uintptr_t>(module)));
    return text;
}

LONG WINAPI OnUnhandled(EXCEPTION_POINTERS* info) {
    std::fprintf(stderr, "twfuzz: exception 0x%08lx at %s\n", info->ExceptionRecord->ExceptionCode,
                 ModuleOffset(info->ExceptionRecord->ExceptionAddress).c_str());
    SaveCurrent("crash");
    ::TerminateProcess(::GetCurrentProcess(), 2);
    return EXCEPTION_EXECUTE_HANDLER;
}

void OnAbort(int) {
    SaveCurrent("crash");
    ::TerminateProcess(::GetCurrentProcess(), 2);
}

void Watchdog(HANDLE mainThread, DWORD hangMs) {
    while (!g_current.done) {
        ::Sleep(50);
        const ULONGLONG started = g_current.startedAt;
        if (started && ::GetTickCount64() - started > hangMs) {
            // Where the input is stuck, for the report.
            CONTEXT context{};
            context.ContextFlags = CONTEXT_CONTROL;
            if (::SuspendThread(mainThread) != static_cast<DWORD>(-1) && ::GetThreadContext(mainThread, &context))
                std::fprintf(stderr, "twfuzz: stuck at %s\n",
                             ModuleOffset(reinterpret_cast<void*>(context.Rip)).c_str());
            SaveCurrent("hang");
            ::TerminateProcess(::GetCurrentProcess(), 3);
        }
    }
}

std::string TempFolder(const std::string& kind) {
    char base[MAX_PATH] = "";
    ::GetTempPathA(MAX_PATH, base);
    std::string dir = std::string(base) + "twfuzz-" + kind + "-" + std::to_string(::GetCurrentProcessId());
    ::CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

bool WriteFileBytes(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(out);
}

// Inputs left out because the platform under test, not the program, cannot take them.
unsigned long long g_skipped = 0;

// Whether the text has a tag of more than 200 bytes ("<" to ">") while running under Wine,
// whose MSXML reports a mismatched end tag after a long name by faulting or spinning.
bool LongNameForWine(const std::string& text) {
    static const bool underWine = ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    if (!underWine) return false;
    size_t run = 0;
    bool inTag = false;
    for (char c : text) {
        if (c == '<') {
            inTag = true;
            run = 0;
        } else if (c == '>') {
            inTag = false;
        } else if (inTag && ++run > 200) {
            return true;
        }
    }
    return false;
}

// A target runs one input; Setup/Teardown once per run.
struct Target {
    std::vector<std::string> tokens;
    size_t longestRun = 20000;
    std::function<bool()> setup = [] { return true; };
    std::function<void(const std::string&)> run;
    std::function<void()> teardown = [] {};
};

// The installer with the handler reachable, its success notification a no-op.
class HandlerProbe : public tw::CPatchInstallerBase {
public:
    void NotifyTWOnSuccess() override {}
};

std::map<std::string, Target> MakeTargets() {
    std::map<std::string, Target> targets;

    {  // patch.ini through both configuration passes
        auto dir = std::make_shared<std::string>();
        Target t;
        t.tokens = {"[", "]", "=", "\r\n", "\"", "[ Title ]\r\n", "[Enable]\r\n", "[PatchConfig]\r\n", "[AutoPatch]\r\n",
                    "[MSI Info]\r\n", "[AgentData]\r\n", "[TWRelatedApps]\r\n", "[QATest]\r\n", "[HistoryPatch]\r\n",
                    "[R5->R7]\r\n", "->", "deltapatch=", "TWName=", "TWFileVersion=", "TWVersion=", "Country=",
                    "Server=", "ProductCode=", "Reinstall=", "ReinstallMode=", "cmdoptions=", "LoggingMode=",
                    "LoggingEnable=", "LogInfoMsg=", "LogProgressMsg=", "SaveTempFiles=", "OneAgentData1=",
                    "OneTWRelatedApp1=", "HistoryPatch1=", ",", ";", "4294967296", "-1", "99999999999999999999"};
        t.setup = [dir] {
            *dir = TempFolder("ini");
            return true;
        };
        t.run = [dir](const std::string& input) {
            WriteFileBytes(*dir + "\\patch.ini", input);
            try {
                tw::CConfigMgr first;
                first.ReadConfInfoFromFile(dir->c_str());
                first.GetProductTitle();
                first.GetIsNetEnabled();
                tw::CConfigMgr second;
                second.ReadConfInfoFromFile(dir->c_str());
                second.ReadPatchIniFile(dir->c_str(), dir->c_str(), second.GetProductCode().c_str());
            } catch (const std::exception&) {
                // A file without sections or keys is refused by throwing; that is the contract.
            }
        };
        t.teardown = [dir] {
            ::DeleteFileA((*dir + "\\patch.ini").c_str());
            ::RemoveDirectoryA(dir->c_str());
        };
        targets["ini"] = std::move(t);
    }

    {  // off-cycle manifest through the MSXML 6 SAX reader
        struct State {
            std::string dir;
            tw::ComInit com;
            tw::ComPtr<ISAXXMLReader> reader;
            std::unique_ptr<tw::Manifest::SAXContentHandlerStateFactory> factory;
        };
        auto state = std::make_shared<std::unique_ptr<State>>();
        Target t;
        t.tokens = {"<manifest>", "</manifest>", "<identity>", "</identity>", "<type>offcycle</type>", "<version>",
                    "</version>", "<channel>", "</channel>", "<product>", "</product>", "<name>", "</name>", "<item>",
                    "</item>", "<file base=\"CommonAppDataFolder\">", "</file>", "<feature>", "</feature>",
                    "<action from=\"1\">", "</action>", "modify", "remove", "add", "&amp;", "&#0;", "&#x10FFFF;",
                    "<![CDATA[", "]]>", "<!--", "-->", "<?xml version=\"1.0\" encoding=\"utf-16\"?>",
                    "<!DOCTYPE m [<!ENTITY e SYSTEM \"file:///c:/x\">]>", "&e;", "\"", "'", "=", "2147483648", "-1"};
        // Wine's MSXML (not the project's code) faults or spins on a mismatched end tag after
        // a long tag; such inputs are left out under Wine (see LongNameForWine).
        t.longestRun = 256;
        t.setup = [state] {
            *state = std::make_unique<State>();
            State& s = **state;
            s.dir = TempFolder("manifest");
            HRESULT hr = CoCreateInstance(tw::Manifest::kClsidSAXXMLReader60, nullptr, CLSCTX_ALL,
                                          tw::Manifest::kIidISAXXMLReader, s.reader.PutVoid());
            if (FAILED(hr)) std::fprintf(stderr, "twfuzz: no SAX reader: 0x%08lx\n", static_cast<unsigned long>(hr));
            return SUCCEEDED(hr);
        };
        t.run = [state](const std::string& input) {
            if (LongNameForWine(input)) {
                ++g_skipped;
                return;
            }
            State& s = **state;
            const std::string path = s.dir + "\\manifest.xml";
            WriteFileBytes(path, input);
            tw::Manifest::ManifestTable table;
            tw::Manifest::ParseManifestFile(s.factory, table, path.c_str(), s.reader.Get());
        };
        t.teardown = [state] {
            ::DeleteFileA(((*state)->dir + "\\manifest.xml").c_str());
            ::RemoveDirectoryA((*state)->dir.c_str());
            state->reset();
        };
        targets["manifest"] = std::move(t);
    }

    {  // telemetry endpoint configuration: the DOM tree and its walk
        auto com = std::make_shared<std::unique_ptr<tw::ComInit>>();
        Target t;
        t.tokens = {"<SplunkConfig>", "</SplunkConfig>", "<LED>", "</LED>", "<Track>", "</Track>", "<enable>",
                    "</enable>", "true", "false", "<token>", "</token>", "<perf>", "</perf>", "<prod>", "</prod>",
                    "<loc>", "</loc>", "<endpoint>", "</endpoint>", "<header>", "</header>", "&amp;", "&lt;",
                    "<![CDATA[", "]]>", "<a>", "</a>", "<!DOCTYPE x>", "\xef\xbb\xbf", "\xc3\xa9", "\xff\xfe"};
        t.setup = [com] {
            *com = std::make_unique<tw::ComInit>();
            return true;
        };
        t.run = [](const std::string& input) {
            tw::TelemetryEndpointConfig config;
            config.ApplyConfiguration(input);
            config.GetEndpoint(true, "PDS");
            config.GetEndpoint(false, "prod");
        };
        t.teardown = [com] { com->reset(); };
        targets["endpoint"] = std::move(t);
    }

    {  // the command line
        Target t;
        t.tokens = {"/a", "/q", "/p", "/P", "/", " ", "\t", "\"", "C:\\Program Files\\Tallyworks", "/x", "//"};
        t.run = [](const std::string& input) {
            const std::string line(input.c_str());  // the command line is a C string
            tw::PatchCmdInfo info{};
            tw::CAutoPatchInstaller installer;
            installer.ParseCmdLine(info, line.c_str());
            if (std::memchr(info.productDir, '\0', sizeof(info.productDir)) == nullptr) std::abort();
        };
        targets["cmdline"] = std::move(t);
    }

    {  // "Patch.log" lines, read back to count earlier runs
        auto util = std::make_shared<std::unique_ptr<tw::TWPatchLogUtil>>();
        Target t;
        t.tokens = {";", "ver-", "\n", "\r\n", "run-", ";ver-30.0.4015.1 R5;", "%s", "%n", " "};
        t.setup = [util] {
            *util = std::make_unique<tw::TWPatchLogUtil>();
            if ((*util)->GetLogFolder().empty()) std::fprintf(stderr, "twfuzz: no update log folder\n");
            return !(*util)->GetLogFolder().empty();
        };
        t.run = [util](const std::string& input) {
            WriteFileBytes((*util)->GetLogFolder() + "\\Patch.log", input);
            (*util)->ReadRunNumber("30.0.4015.1");
            (*util)->ReadRunNumber(std::string(300, 'v'));
        };
        t.teardown = [util] {
            ::DeleteFileA(((*util)->GetLogFolder() + "\\Patch.log").c_str());
            util->reset();
        };
        targets["patchlog"] = std::move(t);
    }

    {  // registry values of any type and size, read back through the data-store accessors
        static const char kKey[] = "Software\\TallyworksFuzz";
        auto key = std::make_shared<tw::RegKey>();
        Target t;
        t.tokens = {std::string("\0", 1), std::string("\0\0", 2), "Tallyworks", "%s", std::string(300, 'n')};
        t.setup = [key] {
            DWORD created = 0;
            return tw::CTWRegDataAccessor::CreateKey(HKEY_CURRENT_USER, kKey, nullptr, tw::TWAccessMode::ReadWrite,
                                                     *key, &created) == ERROR_SUCCESS;
        };
        t.run = [key](const std::string& input) {
            // Four bytes of type, then name, zero, data (the name may be empty or long).
            if (input.size() < 4) return;
            DWORD type = 0;
            std::memcpy(&type, input.data(), 4);
            type %= 12;  // REG_NONE .. REG_QWORD, the types a value can carry
            const std::string rest = input.substr(4);
            const size_t zero = rest.find('\0');
            const std::string name = rest.substr(0, std::min<size_t>(zero, 16383));
            const std::string data = zero == std::string::npos ? std::string() : rest.substr(zero + 1);
            ::RegSetValueExA(key->Get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size()));
            std::vector<char> buffer;
            DWORD readType = 0, size = 0;
            tw::CTWRegDataAccessor::QueryValue(key->Get(), name.c_str(), buffer, &readType, &size);
            tw::CTWRegDataAccessor::ValueExists(key->Get(), name.c_str());
            DWORD count = 0, longest = 0;
            tw::CTWRegDataAccessor::CountValues(key->Get(), &count, &longest);
            tw::CTWNameList list;
            bool listed = false;
            tw::CTWRegDataAccessor::EnumerateNames(key->Get(), true, list, &count, &listed);
            tw::CTWRegDataAccessor::DeleteValue(key->Get(), name.c_str());
        };
        t.teardown = [key] {
            key->Reset();
            ::RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
        };
        targets["registry"] = std::move(t);
    }

    {  // Windows Installer message texts into the installer's handler
        auto probe = std::make_shared<std::unique_ptr<HandlerProbe>>();
        Target t;
        t.tokens = {"1: ", "2: ", "3: ", "4: ", " ", "0", "-1", "2147483647", "-2147483648", "99999999999",
                    "Action ", "Error ", "1603", "1618", "Restart", "[1]", "%s"};
        t.setup = [probe] {
            *probe = std::make_unique<HandlerProbe>();
            return true;
        };
        t.run = [probe](const std::string& input) {
            // Four bytes of message type (its kind in the high byte, box flags below), then the text.
            if (input.size() < 4) return;
            const UINT type = (static_cast<UINT>(static_cast<unsigned char>(input[3]) % 16) << 24) |
                              (static_cast<unsigned char>(input[2]) & 0x7Fu);
            const std::string text(input.c_str() + 4);
            (*probe)->OnMsiMessage(type, text.c_str());
        };
        t.teardown = [probe] { probe->reset(); };
        targets["msimessage"] = std::move(t);
    }

    {  // the operating-system support configuration, for a client, a server and a Windows 10 key
        Target t;
        t.tokens = {"[OSList_Server]\r\n", "[OSList]\r\n", "[Message_Block]\r\n", "[Message_Block_Patch]\r\n",
                    "[Message_Nudge_Patch]\r\n", "Block=", "Block=1", "Block=0", "Block=-1", "6.1\r\n",
                    "10.0_1909\r\n", "Heading=", "Text1=", "=", "\r\n", "\n", "Windows 7", "Windows 10",
                    "Switch to Windows 10", "%s", "%n", "\xef\xbb\xbf"};
        t.run = [](const std::string& input) {
            const struct {
                const char* key;
                bool server;
                const char* displayName;
            } probes[] = {{"6.1", false, ""}, {"6.1", true, "Windows Server 2008 R2"}, {"10.0_1909", false, ""}};
            for (const auto& probe : probes) {
                const tw::COSSupportGate::Evaluation e =
                    tw::COSSupportGate::Evaluate(input, probe.key, probe.server, probe.displayName);
                if (e.status < tw::COSSupportGate::kAllowed || e.status > tw::COSSupportGate::kNoVerdict) std::abort();
                if (e.nudge && !e.hasMessage) std::abort();
                for (size_t i = 0; i < tw::COSSupportMessage::kTextCount; ++i)
                    tw::COSSupportMessage::Get().SetText(i, e.texts[i]);
            }
            tw::COSSupportMessage::Get().Clear();
        };
        targets["support"] = std::move(t);
    }

    return targets;
}

std::vector<std::string> LoadSeeds(const std::string& folder) {
    std::vector<std::string> seeds;
    WIN32_FIND_DATAA found;
    tw::FindHandle find(::FindFirstFileA((folder + "\\*").c_str(), &found));
    if (!find) return seeds;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        std::ifstream in(folder + "\\" + found.cFileName, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        seeds.push_back(text.str());
    } while (::FindNextFileA(find.Get(), &found));
    return seeds;
}

}  // namespace

int main(int argc, char** argv) {
    std::string kind, seedsRoot = "fuzz\\seeds", outDir = ".";
    unsigned long long count = 2000, seed = 1;
    double seconds = 0;
    DWORD hangMs = 10000;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const char* value = argv[i + 1];
        if (option == "--kind") kind = value;
        else if (option == "--count") count = std::strtoull(value, nullptr, 10);
        else if (option == "--seconds") seconds = std::strtod(value, nullptr);
        else if (option == "--seed") seed = std::strtoull(value, nullptr, 10);
        else if (option == "--seeds") seedsRoot = value;
        else if (option == "--out") outDir = value;
        else if (option == "--hang-ms") hangMs = static_cast<DWORD>(std::strtoul(value, nullptr, 10));
    }
    std::map<std::string, Target> targets = MakeTargets();
    auto target = targets.find(kind);
    if (target == targets.end()) {
        std::fprintf(stderr, "usage: twfuzz --kind K [--count N] [--seconds S] [--seed X] [--seeds DIR] [--out DIR]\n"
                             "kinds:");
        for (const auto& t : targets) std::fprintf(stderr, " %s", t.first.c_str());
        std::fprintf(stderr, "\n");
        return 64;
    }
    // No input may wait for a person, sleep or restart the machine: the seams answer.
    tw::Platform().ShowMessageBox = [](HWND, LPCSTR, LPCSTR, UINT, WORD) { return IDOK; };
    tw::Platform().ShowDialog = [](HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM) -> INT_PTR { return IDOK; };
    tw::Platform().Sleep = [](DWORD) {};
    tw::Platform().ExitWindowsEx = [](UINT, DWORD) { return FALSE; };
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    ::SetUnhandledExceptionFilter(OnUnhandled);
    std::signal(SIGABRT, OnAbort);
    g_current.kind = kind;
    g_current.outDir = outDir;
    ::CreateDirectoryA(outDir.c_str(), nullptr);
    // The program's own status log goes to the temporary folder, not next to the driver.
    tw::StatusLogMgr::RenameLogFile(TempFolder("log").c_str());

    std::vector<std::string> seeds = LoadSeeds(seedsRoot + "\\" + kind);
    if (!target->second.setup()) {
        std::fprintf(stderr, "twfuzz: setup of %s failed\n", kind.c_str());
        return 65;
    }
    HANDLE mainThread = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &mainThread, 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
    tw::KernelHandle mainThreadOwner(mainThread);
    std::thread watchdog(Watchdog, mainThread, hangMs);
    twfuzz::CMutator mutator(seed, seeds, target->second.tokens, target->second.longestRun);
    const ULONGLONG start = ::GetTickCount64();
    unsigned long long ran = 0;
    // The seeds themselves first, then mutations.
    for (; ran < count; ++ran) {
        if (seconds > 0 && static_cast<double>(::GetTickCount64() - start) / 1000.0 >= seconds) break;
        const std::string input = ran < seeds.size() ? seeds[ran] : mutator.Next();
        g_current.input = &input;
        g_current.index = ran;
        g_current.startedAt = ::GetTickCount64();
        target->second.run(input);
        g_current.startedAt = 0;
        g_current.input = nullptr;
    }
    g_current.done = true;
    watchdog.join();
    target->second.teardown();
    std::printf("twfuzz: kind=%s inputs=%llu skipped=%llu crashes=0 hangs=0 seconds=%.1f\n", kind.c_str(), ran,
                g_skipped,
                static_cast<double>(::GetTickCount64() - start) / 1000.0);
    return 0;
}
