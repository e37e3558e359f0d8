#include "app/DiskSpaceCheck.h"

#include <windows.h>

#include <cstring>

#include "common/PlatformSeams.h"
#include "common/TextUtil.h"
#include "logging/StatusLogMgr.h"
#include "ui/Resource.h"
#include "ui/StringTable.h"

namespace tw {

CDiskSpaceCheck::Result CDiskSpaceCheck::Check(const char* directory, unsigned long long* freeBytes) {
    unsigned long long bytes = 0;
    Result result = kUnknown;
    if (directory && *directory) {
        // The root of the drive: the path up to and including its first backslash.
        char root[MAX_PATH + 1];
        SafeCopy(root, directory);
        if (char* slash = std::strchr(root, '\\')) slash[1] = '\0';
        bool ok = Platform().FreeDiskSpace(root, &bytes);
        if (!ok) bytes = 0;
        result = ok && bytes >= kRequiredBytes ? kEnough : kNotEnough;
    }
    if (freeBytes) *freeBytes = bytes;
    return result;
}

void CDiskSpaceCheck::ShowLowSpaceMessage(const char* directory, unsigned long long freeBytes) {
    std::string format = LoadResourceString(IDS_LOW_DISK_SPACE);
    std::string title = LoadResourceString(IDS_MSGBOX_TITLE);
    char drive = directory && *directory ? directory[0] : ' ';
    char text[2048];
    SafeFormat(text, sizeof(text), format.c_str(), static_cast<long>(freeBytes / kMegabyte), drive,
               kRequiredMegabytes);
    Platform().MessageBox(nullptr, text, title.c_str(), MB_ICONHAND);
    StatusLogMgr::LogStatus(text);
}

}  // namespace tw
