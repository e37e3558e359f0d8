#include "app/DiskSpaceCheck.h"

#include <windows.h>

#include <cstring>

#include "common/PlatformSeams.h"
#include "common/TextUtil.h"

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

}  // namespace tw
