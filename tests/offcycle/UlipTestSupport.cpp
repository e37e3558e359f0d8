#include "UlipTestSupport.h"

#include "OffCycleTestSupport.h"
#include "logging/InstallTracker.h"
#include "offcycle/Sha256.h"

namespace octest {

void UlipSelector::HoldAsUnpacked(const std::string& folder) {
    for (const std::string& sub : {std::string(), std::string("x32\\")}) {
        const std::string base = folder + sub;
        for (const std::string& name : ListFolder(base)) {
            const std::string path = base + name;
            if (::GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) continue;
            tw::FileHandle file(
                ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
            tw::CSha256::Digest digest = {};
            if (file && tw::CSha256::OfFile(file.Get(), digest)) {
                file.Reset();
                m_heldFiles.Hold(path, digest);
            }
        }
    }
}

UlipRecordingSender::UlipRecordingSender() {
    tw::InstallTracker::Instance().SetCountry("US");
    tw::InstallTracker::Instance().SetServer("");
}

bool UlipRecordingSender::Send(const tw::TrackingMessage& message) {
    messages.push_back(message);
    return true;
}

size_t UlipRecordingSender::Count(const std::string& part, bool isError) const {
    size_t n = 0;
    for (const auto& m : messages)
        if (m.isError == isError && m.text.find(part) != std::string::npos) ++n;
    return n;
}

std::string VersionExe(const std::string& name) {
    return twtest::BinaryPath("tests\\fixtures\\versionexes\\" + name + ".exe");
}

std::string PatchIniBesideProgram::Path() {
    char module[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, module, MAX_PATH - 1);
    std::string path = module;
    return path.substr(0, path.find_last_of('\\') + 1) + "patch.ini";
}

PatchIniBesideProgram::PatchIniBesideProgram(const std::string& text) {
    m_existed = twtest::FileExists(Path());
    if (m_existed) m_before = twtest::ReadTextFile(Path());
    twtest::WriteTextFile(Path(), text);
}

PatchIniBesideProgram::~PatchIniBesideProgram() {
    if (m_existed)
        twtest::WriteTextFile(Path(), m_before);
    else
        ::DeleteFileA(Path().c_str());
}

bool RunUnix(const std::string& program, const std::string& arguments, const std::function<bool()>& done) {
    std::string command = program + " " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessA(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    // The handle of a Unix process cannot be waited for: its effect is.
    tw::KernelHandle process(info.hProcess), thread(info.hThread);
    for (int i = 0; i < 200; ++i) {
        if (done()) return true;
        ::Sleep(50);
    }
    return done();
}

UnixLink::UnixLink(const std::string& target, const std::string& link) : m_link(UnixPath(link)) {
    const std::string unixTarget = UnixPath(target);
    if (m_link.empty() || unixTarget.empty()) return;
    m_made = RunUnix("/bin/ln", "-s " + unixTarget + " " + m_link,
                     [link] { return ::GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES; });
    if (m_made) m_windowsLink = link;
}

UnixLink::~UnixLink() {
    if (!m_made) return;
    const std::string link = m_windowsLink;
    RunUnix("/bin/rm", "-f " + m_link,
            [link] { return ::GetFileAttributesA(link.c_str()) == INVALID_FILE_ATTRIBUTES; });
}

std::string RunningStandIn::Exe() { return twtest::BinaryPath("tests\\fixtures\\standin\\tww.exe"); }

bool RunningStandIn::Start(const std::string& switches) {
    static unsigned counter = 0;
    const std::string eventName =
        "TWUlipStandInReady_" + std::to_string(::GetCurrentProcessId()) + "_" + std::to_string(++counter);
    tw::KernelHandle ready(::CreateEventA(nullptr, TRUE, FALSE, eventName.c_str()));
    if (!ready) return false;
    const std::string exe = Exe();
    std::string command = "\"" + exe + "\" " + switches + " /ready " + eventName;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    m_process.Reset(info.hProcess);
    m_id = info.dwProcessId;
    tw::KernelHandle thread(info.hThread);
    HANDLE waits[2] = {ready.Get(), m_process.Get()};
    return ::WaitForMultipleObjects(2, waits, FALSE, 30000) == WAIT_OBJECT_0;
}

RunningStandIn::~RunningStandIn() {
    if (m_process && ::WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(m_process.Get(), 0);
        ::WaitForSingleObject(m_process.Get(), 10000);
    }
}

}  // namespace octest
