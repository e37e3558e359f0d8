#pragma once
// Unpacks the held package cabinet into a folder with the Cabinet library's decompressor.
// The decompressor reads the bytes that were verified (the held cabinet's image), never the
// path again. Every entry name is checked before anything is written: only plain names and
// names one folder deep ("x32\name") are unpacked, and nothing can land outside the folder.
// Each unpacked file is written with read sharing only, hashed while written, and held open
// once complete; a file whose content changed between its writing and its hold fails. Files
// and folders are only created anew, through handles that refuse links.

#include <windows.h>
#include <fdi.h>

#include <memory>
#include <string>
#include <vector>

#include "offcycle/ulip/HeldCabinet.h"
#include "offcycle/ulip/HeldFiles.h"
#include "offcycle/ulip/VerifiedFolder.h"

namespace tw {

class CCabinetUnpacker {
public:
    // Where a run ended; Done is success.
    enum class Stage { Done, Create, Open, NotCabinet, Copy, Destroy };

    static constexpr size_t kTargetSize = 520;

    // Files and the one folder level are created through 'staging', which must be open on the
    // destination folder.
    CCabinetUnpacker(const CHeldCabinet& cabinet, const char* destinationFolder, CVerifiedFolder& staging,
                     CHeldFiles& holds);
    ~CCabinetUnpacker();
    CCabinetUnpacker(const CCabinetUnpacker&) = delete;
    CCabinetUnpacker& operator=(const CCabinetUnpacker&) = delete;

    // Unpacks the cabinet named by the path, which must be the held one (any other path
    // cannot be opened). The system error is left as the failing step set it.
    Stage Run(const char* cabinetPath);

    // The entry name that was refused, empty when none was.
    const std::string& RefusedEntry() const { return m_refused; }

    // True when a cabinet entry name may be unpacked: not empty, relative, no drive or ':'
    // anywhere, no '/', at most one folder level, no empty, "." or ".." level, no trailing dot
    // or space, no reserved device name, no wildcard or control character, and not the
    // cabinet's own name.
    static bool IsSafeEntryName(const char* name, const char* cabinetName);
    // The folder followed by the name, when it fits the capacity.
    static bool BuildTarget(char* target, size_t capacity, const char* folder, const char* name);

private:
    struct Stream;

    static void* DIAMONDAPI Alloc(ULONG size);
    static void DIAMONDAPI Free(void* memory);
    static INT_PTR DIAMONDAPI Open(char* path, int flags, int mode);
    static UINT DIAMONDAPI Read(INT_PTR handle, void* buffer, UINT size);
    static UINT DIAMONDAPI Write(INT_PTR handle, void* buffer, UINT size);
    static int DIAMONDAPI Close(INT_PTR handle);
    static long DIAMONDAPI Seek(INT_PTR handle, long distance, int origin);
    static INT_PTR DIAMONDAPI Notify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION notification);

    INT_PTR OpenCabinet(const char* path);
    INT_PTR CreateTarget(const char* name);
    BOOL CloseFile(INT_PTR handle);
    Stream* Find(INT_PTR handle);
    void Drop(INT_PTR handle);

    const CHeldCabinet& m_cabinet;
    std::string m_folder;
    std::string m_cabinetName;
    CVerifiedFolder& m_staging;
    CHeldFiles& m_holds;
    std::vector<std::unique_ptr<Stream>> m_streams;
    std::string m_refused;
};

}  // namespace tw
