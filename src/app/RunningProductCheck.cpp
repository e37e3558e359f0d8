#include "app/RunningProductCheck.h"

#include <cstdlib>
#include <utility>
#include <vector>

#include "logging/CallbackGuard.h"
#include "common/FileSystem.h"
#include "common/Handles.h"
#include "common/Resource.h"
#include "common/RunState.h"
#include "common/StringTable.h"
#include "common/TextUtil.h"
#include "logging/StatusLogMgr.h"

namespace tw {
namespace {

constexpr char kDefaultFrameClass[] = "AtollFrame";
constexpr char kGlobalMutexName[] = "Global\\Veltra, Inc. Tallyworks.";
constexpr char kProductProcessName[] = "tww.exe";
constexpr UINT kFrameQueryMessage = WM_USER + 161;
constexpr UINT kFrameShutdownMessage = WM_USER + 190;
constexpr DWORD kFrameExitWaitMs = 15000;
constexpr DWORD kFrameTerminateWaitMs = 5000;

std::string ProductFrameClass() {
    std::string frameClass = LoadResourceString(IDS_PRODUCT_FRAME_CLASS);
    return frameClass.empty() ? kDefaultFrameClass : frameClass;
}

struct HiddenFrameSearch {
    const char* frameClass;
    std::vector<HWND> frames;
};

// Hidden product frames: class of the product frame, not visible, a title of three or more
// characters that ends in "@@".
BOOL CALLBACK CollectHiddenFrame(HWND window, LPARAM param) {
    return GuardCallback("CPatchInstallerBase::CollectHiddenFrame", FALSE, [&]() -> BOOL {
        auto* search = reinterpret_cast<HiddenFrameSearch*>(param);
        char className[256] = {};
        if (!::GetClassNameA(window, className, sizeof(className))) return TRUE;
        if (_stricmp(className, search->frameClass) != 0 || ::IsWindowVisible(window)) return TRUE;
        char title[512] = {};
        int length = ::GetWindowTextA(window, title, sizeof(title));
        if (length >= 3 && title[length - 1] == '@' && title[length - 2] == '@') search->frames.push_back(window);
        return TRUE;
    });
}

// Asks each hidden product frame to shut its process down and ends the process when it is
// still there after the wait.
void CloseHiddenProductFrames(const std::string& frameClass) {
    HiddenFrameSearch search{frameClass.c_str(), {}};
    ::EnumWindows(CollectHiddenFrame, reinterpret_cast<LPARAM>(&search));
    for (HWND frame : search.frames) {
        // Every answer to the query is accepted here, no answer as well.
        CCompanionCloser::SendMessageBounded(frame, kFrameQueryMessage, "CPatchInstallerBase::CheckIfTWIsRunning");
        DWORD processId = 0;
        ::GetWindowThreadProcessId(frame, &processId);
        KernelHandle process(processId ? ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId) : nullptr);
        CCompanionCloser::SendMessageBounded(frame, kFrameShutdownMessage, "CPatchInstallerBase::CheckIfTWIsRunning");
        if (!process) continue;
        if (::WaitForSingleObject(process.Get(), kFrameExitWaitMs) != WAIT_OBJECT_0) {
            ::TerminateProcess(process.Get(), 0);
            ::WaitForSingleObject(process.Get(), kFrameTerminateWaitMs);
        }
    }
}

bool MutexExists(const char* name) {
    KernelHandle mutex(::OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name));
    return mutex.IsValid();
}

// True when the file cannot be opened for reading with all sharing denied: someone has it
// open.
bool IsFileLocked(const char* path) {
    FileHandle file(::CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return !file.IsValid();
}

}  // namespace

CRunningProductCheck::CRunningProductCheck(const CConfigMgr& config, const CCompanionCloser& companions,
                                           std::function<void(const char*)> reportFailure)
    : m_config(config), m_companions(companions), m_reportFailure(std::move(reportFailure)) {}

RunningProductVerdict CRunningProductCheck::Judge(const ProductProbes& probes) {
    using V = RunningProductVerdict;
    V verdict;
    auto decide = [&verdict](V::Answer answer, V::Reason reason) {
        verdict.answer = answer;
        verdict.reason = reason;
        return verdict;
    };
    if (probes.frameWindow) return decide(V::kRunning, V::kFrameWindow);
    if (probes.globalMutex) return decide(V::kAskCompanions, V::kGlobalMutex);
    if (probes.localMutex) return decide(V::kRunning, V::kLocalMutex);
    if (!probes.haveExePath) return decide(V::kNotRunning, V::kNoReason);
    if (probes.exeExists && probes.exeLocked) return decide(V::kRunning, V::kExecutableLocked);
    verdict.executableMissing = !probes.exeExists;
    if (probes.processAlive) return decide(V::kRunning, V::kProcessAlive);
    return decide(V::kAskCompanions, V::kNoReason);
}

// The signs are looked at in the order the verdict weighs them, and the search stops at the
// first one that settles it (the signs not looked at stay false, which the verdict never
// reads then): this runs at every tick of the shutdown dialog, and the process snapshot is
// the dearest probe.
ProductProbes CRunningProductCheck::Probe(const std::string& frameClass) const {
    ProductProbes probes;
    probes.frameWindow = ::FindWindowA(frameClass.c_str(), nullptr) != nullptr;
    if (probes.frameWindow) return probes;
    probes.globalMutex = MutexExists(kGlobalMutexName);
    if (probes.globalMutex) return probes;
    const char* fileVersion = m_config.GetTWFileVersion();
    probes.localMutex = MutexExists(
        FormatString("Veltra, Inc. Tallyworks. Major version %d", std::atoi(fileVersion ? fileVersion : "")).c_str());
    if (probes.localMutex) return probes;
    const std::string exePath = CRunState::Get().productExePath;
    probes.haveExePath = !exePath.empty();
    if (!probes.haveExePath) return probes;
    probes.exeExists = FileExists(exePath);
    probes.exeLocked = probes.exeExists && IsFileLocked(exePath.c_str());
    if (probes.exeLocked) return probes;
    probes.processAlive = CCompanionCloser::FindProcessByName(kProductProcessName) != 0;
    return probes;
}

void CRunningProductCheck::LogOnce(const RunningProductVerdict& verdict) {
    auto once = [](bool& flag, const char* text) {
        if (flag) return;
        flag = true;
        StatusLogMgr::LogStatus(text);
    };
    switch (verdict.reason) {
        case RunningProductVerdict::kGlobalMutex:
            once(m_logged.globalMutex,
                 "In CPatchInstallerBase::CheckIfTWIsRunning, Tallyworks is still running because "
                 "there is still a global mutex");
            break;
        case RunningProductVerdict::kLocalMutex:
            once(m_logged.localMutex,
                 "In CPatchInstallerBase::CheckIfTWIsRunning, Tallyworks is still running because "
                 "there is still a local mutex");
            break;
        case RunningProductVerdict::kExecutableLocked:
            once(m_logged.executableLocked,
                 "In CPatchInstallerBase::CheckIfTWIsRunning, Tallyworks is still running "
                 "because the tww32.exe is still locked by someone");
            break;
        default:
            break;
    }
    if (verdict.executableMissing && !m_logged.executableMissing) {
        m_logged.executableMissing = true;
        m_reportFailure(
            "Patch: In CPatchInstallerBase::CheckIfTWIsRunning, could not find the tww32.exe file in the "
            "patch apply directory.");
    }
    if (verdict.reason == RunningProductVerdict::kProcessAlive)
        once(m_logged.processAlive, "In CPatchInstallerBase::CheckIfTWIsRunning, the tww32.exe process is still alive");
}

bool CRunningProductCheck::IsRunningNow(RunningProductVerdict* verdict, std::string* companion) const {
    const RunningProductVerdict seen = Judge(Probe(ProductFrameClass()));
    if (verdict) *verdict = seen;
    if (seen.answer != RunningProductVerdict::kAskCompanions) return seen.answer == RunningProductVerdict::kRunning;
    std::string name = m_companions.FirstAgentPresent();
    if (name.empty()) name = m_companions.FirstRelatedApplicationPresent();
    if (companion) *companion = name;
    return !name.empty();
}

bool CRunningProductCheck::IsRunning(char* displayName, size_t displayNameSize) {
    const std::string frameClass = ProductFrameClass();
    CloseHiddenProductFrames(frameClass);

    const RunningProductVerdict verdict = Judge(Probe(frameClass));
    LogOnce(verdict);
    if (verdict.answer != RunningProductVerdict::kAskCompanions)
        return verdict.answer == RunningProductVerdict::kRunning;

    if (m_companions.IsAnyAgentPresent()) return true;
    std::string stillRunning;
    if (m_companions.CloseRelatedApplications(&stillRunning)) return false;
    if (displayName && displayNameSize) SafeCopy(displayName, displayNameSize, stillRunning.c_str());
    return true;
}

}  // namespace tw
