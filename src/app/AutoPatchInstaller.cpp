#include "app/AutoPatchInstaller.h"

#include <cstdio>
#include <cstring>

#include "common/Handles.h"
#include "common/RunState.h"
#include "common/TextUtil.h"
#include "logging/StatusLogMgr.h"
#include "ui/MainWnd.h"

namespace tw {
namespace {

bool IsCommandLineBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

CAutoPatchInstaller::CAutoPatchInstaller() = default;

CAutoPatchInstaller::~CAutoPatchInstaller() = default;

void CAutoPatchInstaller::ParseCmdLine(PatchCmdInfo& info, const char* commandLine) {
    info.pathGiven = 0;
    if (!commandLine || !*commandLine) return;

    const char* p = commandLine;
    while (*p) {
        if (IsCommandLineBlank(*p)) {
            ++p;
            continue;
        }
        if (*p == '/') {
            char letter = p[1];
            if (letter == '\0') {  // a lone slash at the end
                ++p;
                continue;
            }
            if (!IsAsciiLetter(letter)) {
                p += 2;
                continue;
            }
            switch (letter | 0x20) {
                case 'a':
                    info.mode = kModeAuto;
                    p += 2;
                    break;
                case 'q':
                    info.mode = kModeQuiet;
                    p += 2;
                    break;
                case 'p': {
                    const char* dir = p + 2;
                    while (*dir == ' ' || *dir == '\t') ++dir;
                    // The rest of the line is the product folder. One that does not fit the
                    // record is refused rather than cut to a different folder.
                    if (!SafeCopy(info.productDir, dir)) {
                        info.productDir[0] = '\0';
                        LogStatusF(
                            "In CAutoPatchInstaller::ParseCmdLine, TW application path is longer than %u "
                            "characters and is ignored: %s",
                            static_cast<unsigned>(PatchCmdInfo::kProductDirSize - 1), dir);
                    } else {
                        info.pathGiven = 1;
                        LogStatusF(
                            "In CAutoPatchInstaller::ParseCmdLine, TW application path is set up from the "
                            "program parameter as %s",
                            info.productDir);
                    }
                    // Scanning goes on inside the folder text, so a switch after it still counts.
                    p = *dir ? dir + 1 : dir;
                    break;
                }
                default:
                    p += 2;
                    break;
            }
            continue;
        }
        while (*p && !IsCommandLineBlank(*p)) ++p;
    }
}

void CAutoPatchInstaller::WriteRelaunchBatchFile(const char* productDir, const char* commandLine) {
    // Without a product folder the file would land in the root of the current drive.
    if (!productDir || *productDir == '\0') return;
    char path[2080];
    if (!SafeFormat(path, sizeof(path), "%s\\TWUpdateUtility.bat", productDir)) return;
    CFile batch(std::fopen(path, "w+"));
    if (!batch) return;
    std::fprintf(batch.Get(), "\"%s\" %s\n", GetModulePath(), commandLine ? commandLine : "");
}

bool CAutoPatchInstaller::Run(PatchCmdInfo& info, int /*showCommand*/, const char* commandLine) {
    m_instance = info.instance;
    if (!InitInstance(info)) return false;

    WriteRelaunchBatchFile(info.productDir, commandLine);

    if (!OpenMainWindow(info) || StopForGateOutcome("Auto")) return false;

    if (RunProgramPatches(info) == 0) NotifyTWOnSuccess();

    if (info.mainWindow) ::PostMessageA(info.mainWindow, WM_CLOSE, 0, 0);
    return true;
}

void CAutoPatchInstaller::PostPatchProcessing() { ShowCompletionMessage(); }

void CAutoPatchInstaller::DoPostPatchBatchFile() { RunPostPatchBatchFile(); }

}  // namespace tw
