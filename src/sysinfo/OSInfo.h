#pragma once
// Which Windows the installer runs on: the version record, the version and server probes,
// and the operating-system fields of the tracking messages ("key=value&" texts whose names
// and values the receiving server matches exactly).

#include <windows.h>

#include <functional>
#include <string>

namespace tw {

class COSInfo {
public:
    // One row of the Windows name table, or none.
    struct NameRow {
        const char* displayName;
        const char* displayNameServer;
        const char* codeName;
        const char* codeNameServer;
    };

    // What the name table is decided by. The real probes come from Probes(); tests may
    // supply their own.
    struct VersionProbes {
        std::function<bool(WORD major, WORD minor, WORD servicePackMajor)> isAtLeast;
        bool isServer = false;
        bool isWindows10 = false;
        BYTE productType = VER_NT_WORKSTATION;  // of the version record (row 12 server column)
    };

    // RtlGetVersion of ntdll.dll into the record (size field set first); false when the
    // export is missing, the call fails or raises.
    static bool QueryVersionRecord(RTL_OSVERSIONINFOEXW& record);

    // The process's copy of the version record, obtained on first use. False when the
    // probe failed (the record is then zero).
    static bool GetVersionRecord(RTL_OSVERSIONINFOEXW& record);

    // VerifyVersionInfoW: major, minor and service-pack major, each greater or equal.
    static bool IsVersionAtLeast(WORD major, WORD minor, WORD servicePackMajor);

    // True on any product type other than a workstation.
    static bool IsServer();

    // The process's version record reports 10.0.
    static bool IsWindows10();
    // The process's version record reports 10.0 on a domain controller or server.
    static bool IsWindowsServer2016();

    // 64-bit Windows: a 64-bit process, or a 32-bit one under WOW64.
    static bool Is64BitWindows();

    // Major version of GetVersionExA (extended structure first, then the basic one); 0 when
    // both calls fail.
    static DWORD GetMajorVersion();

    // The real probes of this machine.
    static VersionProbes Probes();

    // The row of the name table that applies, or null.
    static const NameRow* FindNameRow(const VersionProbes& probes);
    // Display name (messages, support gate) and code name ("OS=" field); empty when no
    // row applies.
    static std::string GetDisplayName(const VersionProbes& probes);
    static std::string GetDisplayName() { return GetDisplayName(Probes()); }
    static std::string GetCodeName(const VersionProbes& probes);

    // "OS=\"<64 Bit |32 Bit ><code name>\"&".
    static std::string GetOSField(const VersionProbes& probes, bool is64Bit);
    static std::string GetOSField() { return GetOSField(Probes(), Is64BitWindows()); }

    // "OS_BUILD_NUMBER=<build>&"; empty without a version record.
    static std::string FormatBuildNumberField(const RTL_OSVERSIONINFOEXW& record);
    static std::string GetBuildNumberField();

    // "OS_RELEASE_VERSION=<ReleaseId>&OS_EDITION_NAME=<EditionID>&", "NA" for what cannot
    // be read.
    static std::string GetReleaseEditionField();

    // "OS_VERSION_CODES=major/minor/build/platform/spMajor/spMinor/<13 suite digits>/type&";
    // empty without a version record.
    static std::string FormatVersionCodesField(const RTL_OSVERSIONINFOEXW& record);
    static std::string GetVersionCodesField();

    // All operating-system fields of a tracking message, in message order: the "OS=" field,
    // build number, release and edition, version codes.
    static std::string GetTrackingFields();
};

}  // namespace tw
