#pragma once
// Whether the product, or a program that must not run beside the update, is running. The
// signs are looked at first (up to the one that settles it), then a pure verdict decides;
// each reason is logged once per run, which the check's own one-shot flags remember.

#include <cstddef>
#include <functional>
#include <string>

#include "app/CompanionCloser.h"
#include "config/ConfigMgr.h"

namespace tw {

// What was seen of the product on the machine.
struct ProductProbes {
    bool frameWindow = false;  // a visible-or-not window of the product frame class
    bool globalMutex = false;
    bool localMutex = false;  // the mutex of the patch's major version
    bool haveExePath = false;
    bool exeExists = false;
    bool exeLocked = false;     // someone has the executable open
    bool processAlive = false;  // a "tww.exe" process
};

struct RunningProductVerdict {
    enum Answer { kRunning, kNotRunning, kAskCompanions };
    enum Reason { kNoReason, kFrameWindow, kGlobalMutex, kLocalMutex, kExecutableLocked, kProcessAlive };
    Answer answer = kNotRunning;
    Reason reason = kNoReason;       // the sign that decided
    bool executableMissing = false;  // the executable is not in the product folder
};

// The reasons already logged in this run: each one is logged once.
struct RunningProductLogFlags {
    bool globalMutex = false;
    bool localMutex = false;
    bool executableLocked = false;
    bool executableMissing = false;
    bool processAlive = false;
};

class CRunningProductCheck {
public:
    CRunningProductCheck(const CConfigMgr& config, const CCompanionCloser& companions,
                         std::function<void(const char*)> reportFailure);

    // Closes hidden product frames first. True when the product or a companion runs; the
    // name of a related application that is still there goes to displayName.
    bool IsRunning(char* displayName, size_t displayNameSize);

    // The same question asked without closing, ending or logging anything: whether the run
    // would find the product or a companion running now. The name of a companion that
    // decides goes to companion.
    bool IsRunningNow(RunningProductVerdict* verdict, std::string* companion) const;

    // The global mutex alone does not mean that the product runs: only the companions are
    // looked at then. Without an executable path nothing more is known: not running.
    static RunningProductVerdict Judge(const ProductProbes& probes);

    const RunningProductLogFlags& LoggedReasons() const { return m_logged; }

private:
    ProductProbes Probe(const std::string& frameClass) const;
    void LogOnce(const RunningProductVerdict& verdict);

    const CConfigMgr& m_config;
    const CCompanionCloser& m_companions;
    RunningProductLogFlags m_logged;
    std::function<void(const char*)> m_reportFailure;
};

}  // namespace tw
