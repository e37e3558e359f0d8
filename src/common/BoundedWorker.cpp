#include "common/BoundedWorker.h"

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

#include "common/Handles.h"
#include "common/RunState.h"

namespace tw {

namespace {

// How often the waiter looks at the bounds when nothing else wakes it.
constexpr DWORD kPollMs = 100;

struct Job {
    CBoundedWorker::Work work;
    CBoundedWorker::Activity activity;
    KernelHandle done;
};

DWORD WINAPI JobThread(void* parameter) {
    std::unique_ptr<std::shared_ptr<Job>> holder(static_cast<std::shared_ptr<Job>*>(parameter));
    std::shared_ptr<Job> job = *holder;
    holder.reset();
    job->work(job->activity);
    ::SetEvent(job->done.Get());
    return 0;
}

// Hands one message to its window; dialog messages go through the dialog so that its
// keyboard interface (Esc, Enter, Tab) works too.
void DispatchOne(MSG& msg) {
    HWND root = msg.hwnd ? ::GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (root) {
        char className[16] = {};
        ::GetClassNameA(root, className, sizeof(className));
        if (lstrcmpA(className, "#32770") == 0 && ::IsDialogMessageA(root, &msg)) return;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
}

}  // namespace

void CBoundedWorker::Activity::Start() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_windowStart = ::GetTickCount64();
    m_windowBytes = 0;
}

void CBoundedWorker::Activity::Progress(unsigned long long bytes) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_windowBytes += bytes;
    if (m_windowBytes >= kIdleMinBytes) {
        m_windowStart = ::GetTickCount64();
        m_windowBytes = 0;
    }
}

void CBoundedWorker::Activity::Finish() {
    m_finished = true;
    if (m_done) ::SetEvent(m_done);
}

void CBoundedWorker::Activity::Step() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_windowStart = ::GetTickCount64();
    m_windowBytes = 0;
}

ULONGLONG CBoundedWorker::Activity::IdleSince() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_windowStart;
}

namespace {

// The thread's visible top-level windows: what the user sees and may click. Hidden helper
// windows (COM's, the input method's) are left to the loop that owns them.
BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
    if (::IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

// Dispatches the messages of the thread's windows (and, through PeekMessage, messages sent
// to them). Thread messages and WM_QUIT stay in the queue for the loop they are meant for.
// Returns how many were dispatched.
int PumpWindowMessages() {
    std::vector<HWND> windows;
    ::EnumThreadWindows(::GetCurrentThreadId(), &CollectWindow, reinterpret_cast<LPARAM>(&windows));
    int dispatched = 0;
    for (HWND window : windows) {
        MSG msg;
        for (int i = 0; i < 200 && ::IsWindow(window) && ::PeekMessageA(&msg, window, 0, 0, PM_REMOVE); ++i) {
            // Wine hands out a pending WM_QUIT whatever window is asked for: put it back for
            // the loop that ends on it, and stop here.
            if (msg.message == WM_QUIT) {
                ::PostQuitMessage(static_cast<int>(msg.wParam));
                return dispatched;
            }
            DispatchOne(msg);
            ++dispatched;
        }
    }
    return dispatched;
}

}  // namespace

bool CBoundedWorker::WaitPumping(HANDLE event, DWORD timeoutMs) {
    const ULONGLONG start = ::GetTickCount64();
    for (;;) {
        const ULONGLONG elapsed = ::GetTickCount64() - start;
        if (elapsed >= timeoutMs) break;
        const DWORD left = static_cast<DWORD>(timeoutMs - elapsed);
        const DWORD woke = ::MsgWaitForMultipleObjects(1, &event, FALSE, left, QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0) return true;
        if (woke != WAIT_OBJECT_0 + 1) break;  // time-out or failure
        if (PumpWindowMessages() == 0) {
            // Only messages for others (a thread message) are waiting: wait without
            // looking at the queue for the rest of this call rather than spin.
            const ULONGLONG now = ::GetTickCount64() - start;
            if (now >= timeoutMs) break;
            return ::WaitForSingleObject(event, static_cast<DWORD>(timeoutMs - now)) == WAIT_OBJECT_0;
        }
    }
    return ::WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

CBoundedWorker::Ending CBoundedWorker::Run(Work work, const Bounds& bounds, DWORD* error) {
    if (error) *error = 0;
    std::shared_ptr<Job> job(new (std::nothrow) Job());
    if (!job) {
        if (error) *error = ERROR_NOT_ENOUGH_MEMORY;
        return Ending::kNotStarted;
    }
    job->work = std::move(work);
    job->done.Reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!job->done) {
        if (error) *error = ::GetLastError();
        return Ending::kNotStarted;
    }
    job->activity.Start();
    job->activity.m_done = job->done.Get();
    const ULONGLONG start = ::GetTickCount64();
    std::unique_ptr<std::shared_ptr<Job>> parameter(new (std::nothrow) std::shared_ptr<Job>(job));
    if (!parameter) {
        if (error) *error = ERROR_NOT_ENOUGH_MEMORY;
        return Ending::kNotStarted;
    }
    KernelHandle thread(::CreateThread(nullptr, 0, &JobThread, parameter.get(), 0, nullptr));
    if (!thread) {
        if (error) *error = ::GetLastError();
        return Ending::kNotStarted;
    }
    parameter.release();  // the thread owns it now

    const uint32_t cancelPresses = CRunState::Get().cancelPresses;
    Ending ending = Ending::kDone;
    for (;;) {
        const ULONGLONG now = ::GetTickCount64();
        if (CRunState::Get().cancelPresses != cancelPresses) {
            ending = Ending::kCancelled;
            break;
        }
        const ULONGLONG sinceStart = now - start;
        const ULONGLONG idleSince = job->activity.IdleSince();
        const ULONGLONG sinceProgress = now > idleSince ? now - idleSince : 0;
        if (sinceStart >= bounds.deadlineMs) {
            ending = Ending::kDeadline;
            break;
        }
        if (sinceProgress >= bounds.idleMs) {
            ending = Ending::kIdle;
            break;
        }
        const ULONGLONG left = std::min<ULONGLONG>(bounds.deadlineMs - sinceStart, bounds.idleMs - sinceProgress);
        if (WaitPumping(job->done.Get(), static_cast<DWORD>(std::min<ULONGLONG>(left, kPollMs)))) return Ending::kDone;
    }
    // The work may have ended just now: then it counts.
    if (::WaitForSingleObject(job->done.Get(), 0) == WAIT_OBJECT_0) return Ending::kDone;
    job->activity.m_abandoned = true;
    if (error) *error = ending == Ending::kCancelled ? ERROR_CANCELLED : ERROR_TIMEOUT;
    return ending;
}

}  // namespace tw
