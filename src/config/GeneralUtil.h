#pragma once
// File-name, text and message helpers shared by the configuration code and the installer.

#include <windows.h>

#include <cstddef>
#include <string>

#include "config/AgentInfo.h"

namespace tw {

class CConfigNotes;

class GeneralUtil {
public:
    // Text of the "Severe Error" box for a malformed patch.ini or an internal error.
    static constexpr const char kProgramErrorText[] =
        "Program error: The patch.ini file is not formatted correctly or there are other program errors";
    static constexpr const char kSevereErrorTitle[] = "Severe Error";
    // Free space the update needs on the product's drive, in units of 1024000 bytes.
    static constexpr unsigned long long kDiskSpaceUnitBytes = 1024000ULL;
    static constexpr long kRequiredDiskSpaceMB = 398;

    // Writes folder + "\" (unless the folder ends with one) + fileName into out (capacity
    // cap). An empty folder gives the file name alone. Returns out, or null when neither is
    // given, out is null, or the result does not fit.
    static char* GetFullFilePathName(const char* folder, const char* fileName, char* out, size_t cap);
    // The same, with its log line recorded in notes instead of written.
    static char* GetFullFilePathName(const char* folder, const char* fileName, char* out, size_t cap,
                                     CConfigNotes& notes);

    // Cuts the path at its last backslash, in place. Returns the path, or null when it has
    // no backslash or is null or empty.
    static char* GetDirNameForGivenPathFileName(char* path);

    // The full form of a folder or file path (CPathRules::Normalise).
    static std::string NormalisePath(const char* path);
    // True when both paths name the same place (CPathRules::IsSamePath).
    static bool IsSamePath(const char* first, const char* second);

    // True when the file name of patch.ini, joined to the folder, names a file inside that
    // folder (CPathRules::IsNameInsideFolder); a forward slash counts as a backslash.
    static bool IsNameInsideFolder(const char* folder, const char* fileName);

    // Removes one pair of double quotes that encloses the whole text, in place.
    static void StripEnclosingQuotes(char* text);

    // Removes leading and trailing spaces and tabs, in place.
    static void TrimBlanks(char* text);
    static void TrimBlanks(std::string& text);

    // Splits "class, title, process, display" into an agent record: each field up to the
    // next comma with trailing blanks removed, the rest with leading blanks removed; what
    // follows the third comma is the fourth field, commas included. Fields after the last
    // comma are missing; a value without a comma gives the first field as it stands.
    static AgentInfo SplitAgentValue(const char* value);

    // Lower-cased copy (ASCII letters only).
    static std::string ToLower(const std::string& text);
    // True when the lower-cased text contains the (lower-case) word.
    static bool ContainsNoCase(const std::string& text, const char* lowerWord);

    // The modal "Severe Error" box (exclamation icon, no owner). An empty or null text shows
    // nothing.
    static void ShowSevereError(const char* text);

    // Warns that the product's drive is short of space: title string 503, text string 520
    // filled with the free space in units of 1024000 bytes, the drive letter (first
    // character of the installation folder; by default the run's product directory) and
    // the requirement; error icon; also logged.
    static void ShowLowDiskSpaceWarning(unsigned long long freeBytes, const char* installFolder = nullptr,
                                        HWND owner = nullptr);
};

}  // namespace tw
