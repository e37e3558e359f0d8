// The application object's run state joins the process state the test guard resets: the
// installer and window of a finished run go before the singletons they use.
#include "app/PatchApp.h"
#include "common/ProcessState.h"

namespace {
[[maybe_unused]] const bool g_registered =
    tw::RegisterProcessStateReset(tw::ProcessLayer::Host, &tw::CPatchApp::ResetForTesting);
}  // namespace
