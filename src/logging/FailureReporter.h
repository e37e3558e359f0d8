#pragma once
// Reporting a failure: the text becomes the owner's last failure text, is appended to the
// patch log and is sent as an error tracking message.

#include <cstddef>

namespace tw {

class FailureReporter {
public:
    static void Report(const char* text, char* lastFailure, size_t lastFailureSize);

    template <size_t N>
    static void Report(const char* text, char (&lastFailure)[N]) {
        Report(text, lastFailure, N);
    }
};

}  // namespace tw
