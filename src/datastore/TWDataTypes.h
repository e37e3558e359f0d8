#pragma once
// Names and result codes of the installation data store: where a piece of installation
// data lives (data branch), how its key is opened (access mode), and the signed results
// that every registry and node operation returns.

#include <cstdint>

namespace tw {

// Where a piece of installation data lives. The numbers are stored and compared as is.
enum class TWDataBranch : uint32_t {
    Product = 0,       // HKLM Software\Veltra\Tallyworks
    Registration = 1,  // HKLM Software\Veltra\TallyworksRegistration
    Common = 2,        // HKLM Software\Veltra\TallyworksCommon
    UserProduct = 3,   // HKCU Software\Veltra\Tallyworks
    UserCommon = 4,    // HKCU Software\Veltra\TallyworksCommon
    // 5 to 8: application-configuration branches without a registry key.
    None = 9,
};

// Access rights asked for when a key is opened or created.
enum class TWAccessMode : uint32_t {
    Read = 0,        // KEY_READ
    FullAccess = 1,  // KEY_ALL_ACCESS
    ReadWrite = 2,   // KEY_READ | KEY_WRITE
    Read32 = 3,      // KEY_READ in the 32-bit registry view
};

// Results of the data store (0 is success; other positive values are Win32 errors of the
// registry call that failed).
constexpr long kTWDataSuccess = 0;
constexpr long kTWDataNothingDone = 1;     // empty value name, or name too long to write
constexpr long kTWDataValueNotFound = 3;   // value (or key) not found
constexpr long kTWDataNoKeyPath = -1;      // missing or empty name, branch without key path
constexpr long kTWDataNoKey = -2;          // no open key, or the key was deleted meanwhile
constexpr long kTWDataOutOfMemory = -3;    // out of memory, or more names than counted
constexpr long kTWDataBadVersion = -4;     // major version outside 6..40
constexpr long kTWDataBadFlavor = -5;      // flavor missing or not a known flavor
constexpr long kTWDataWrongType = -6;      // value stored with another type
constexpr long kTWDataNullValue = -7;      // null value given to write
constexpr long kTWDataPathTooLong = -11;   // key path too long
constexpr long kTWDataHasChildren = -12;   // key with child keys is not deleted
constexpr long kTWDataNoBranchPath = 100;  // branch key path not formed, no other code

// Key paths are kept in buffers of this size (at most 262 characters).
constexpr unsigned kTWKeyPathSize = 263;
// A child key is created only when its path is shorter than this.
constexpr unsigned kTWMaxChildKeyPath = 255;
// Lowest and highest major version that has a version key.
constexpr unsigned kTWMinKeyVersion = 6;
constexpr unsigned kTWMaxKeyVersion = 40;
// From this major version on the installed editions have flavor keys (and a flavor data
// file) below the version key.
constexpr int kFirstFlavorMajorVersion = 12;
// Longest value name that is written.
constexpr unsigned kTWMaxValueName = 255;

}  // namespace tw
