#pragma once
// Runs one piece of blocking work (a network transfer) on a thread of its own while the
// calling thread waits for it within bounds:
//   - an overall deadline from the start;
//   - an idle bound: the work must report at least kIdleMinBytes of progress within every
//     idle period (a server that accepts and says nothing, or sends a byte now and then,
//     is given up as soon as a silent one);
//   - the user's Cancel of the wait dialog while it waits (CRunState::cancelPresses).
// While it waits, the calling thread keeps dispatching the messages of its windows, so a
// window it owns repaints and its Cancel button works; thread messages (and WM_QUIT) are left
// in the queue for the message loop they are meant for.
//
// Synchronous network calls cannot always be interrupted, so work that runs past a bound
// is abandoned rather than stopped: it keeps running on its own thread with its own copy of
// everything it touches (the work function owns its state through shared pointers), sees
// Abandoned() at its next step and cleans up after itself.

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace tw {

class CBoundedWorker {
public:
    // Less than this much progress within one idle period counts as no progress at all.
    static constexpr unsigned long long kIdleMinBytes = 1024;

    struct Bounds {
        DWORD deadlineMs = 10000;
        DWORD idleMs = 8000;
    };

    enum class Ending {
        kDone,       // the work returned
        kDeadline,   // the overall deadline passed first
        kIdle,       // the work made too little progress within the idle bound
        kCancelled,  // the user cancelled the wait
        kNotStarted  // no thread could be started (error() says why)
    };

    // What the work and its waiter share.
    class Activity {
    public:
        // Reports bytes received or sent.
        void Progress(unsigned long long bytes);
        // Reports a step that counts as progress whatever its size (the answer's headers).
        void Step();
        // True once the waiter gave up: the work should stop and clean up.
        bool Abandoned() const { return m_abandoned; }
        // Hands the outcome over before the work has quite ended (what is left, such as
        // closing connections, touches nothing the waiter reads).
        void Finish();

    private:
        friend class CBoundedWorker;
        void Start();
        ULONGLONG IdleSince() const;

        mutable std::mutex m_lock;
        ULONGLONG m_windowStart = 0;
        unsigned long long m_windowBytes = 0;
        std::atomic<bool> m_abandoned{false};
        std::atomic<bool> m_finished{false};
        HANDLE m_done = nullptr;  // the job's event, owned by the job
    };

    using Work = std::function<void(Activity&)>;

    // Runs work and waits as described above. The work must not throw.
    static Ending Run(Work work, const Bounds& bounds, DWORD* error = nullptr);

    // The wait alone: dispatches the messages of the calling thread's windows until the
    // event is signalled or the time passes. True when the event was signalled.
    static bool WaitPumping(HANDLE event, DWORD timeoutMs);
};

}  // namespace tw
