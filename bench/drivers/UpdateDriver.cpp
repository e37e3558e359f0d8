// The whole update program, started like twpatch.exe from the update folder, with every
// message box answered at once (OK, or No to a question) so that no waiting for a person is
// measured. It also notes the Windows Installer call: its patch list and properties (for the
// baseline, which makes the same call) and how long it took.
//
//   update_driver /A /P <product folder>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/PatchApp.h"
#include "common/BenchReport.h"
#include "common/Handles.h"
#include "common/PlatformSeams.h"
#include "datastore/ProductInfoReader.h"
#include "protected/InstalledProductInfoReader.h"

namespace {

int g_boxes = 0;
double g_msiSeconds = 0;

int AnswerAtOnce(HWND, LPCSTR, LPCSTR, UINT type, WORD) {
    ++g_boxes;
    switch (type & MB_TYPEMASK) {
        case MB_YESNO:
        case MB_YESNOCANCEL:
            return IDNO;
        case MB_RETRYCANCEL:
        case MB_ABORTRETRYIGNORE:
            return IDCANCEL;
        default:
            return IDOK;
    }
}

// Writes the call's arguments to the file named by TW_BENCH_APPLY_CALL, one a line.
void NoteApplyCall(LPCSTR packages, LPCSTR productCode, LPCSTR properties) {
    const char* path = std::getenv("TW_BENCH_APPLY_CALL");
    if (!path || !*path) return;
    tw::CFile out(std::fopen(path, "w"));
    if (out) std::fprintf(out.Get(), "%s\n%s\n%s\n", packages, productCode, properties ? properties : "");
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand) {
    twbench::CBenchReport report;
    tw::Platform().ShowMessageBox = &AnswerAtOnce;
    auto apply = tw::Platform().Msi.ApplyMultiplePatches;
    tw::Platform().Msi.ApplyMultiplePatches = [apply](LPCSTR packages, LPCSTR productCode, LPCSTR properties) {
        NoteApplyCall(packages, productCode, properties);
        twbench::CBenchReport call;
        UINT result = apply(packages, productCode, properties);
        call.Stop();
        g_msiSeconds += call.Seconds();
        return result;
    };

    tw::SetDefaultProductInfoReader(&tw::CInstalledProductInfoReader::Create);
    int exitCode = tw::CPatchApp::Run(instance, previousInstance, commandLine, showCommand);

    report.Stop();
    char extra[96];
    std::snprintf(extra, sizeof(extra), "exit=%d boxes=%d msi_s=%.6f", exitCode, g_boxes, g_msiSeconds);
    report.Print(extra);
    return exitCode;
}
