#pragma once
// One guard for every function that Windows calls back (window and dialog procedures, the
// Windows Installer handler, enumeration callbacks): an exception must never unwind into
// Windows' frames, so it ends here, is logged with the callback's name, and Windows gets
// the callback's safe answer instead.

#include <exception>
#include <utility>

#include "logging/StatusLogMgr.h"

namespace tw {

// Runs body and returns its result; on any exception logs "In <name>, Got exception: ..."
// and returns safeAnswer.
template <typename Result, typename Body>
Result GuardCallback(const char* name, Result safeAnswer, Body&& body) noexcept {
    try {
        return static_cast<Result>(std::forward<Body>(body)());
    } catch (const std::exception& e) {
        try {
            const char* what = e.what();
            LogStatusF("In %s, Got exception: %s", name, what && *what ? what : "unknown");
        } catch (...) {
        }
    } catch (...) {
        try {
            LogStatusF("In %s, Got exception: unknown", name);
        } catch (...) {
        }
    }
    return safeAnswer;
}

}  // namespace tw
