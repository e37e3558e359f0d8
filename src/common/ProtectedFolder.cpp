#include "common/FileSystem.h"
#include "common/ProtectedFolder.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <cstdio>

#include "common/Handles.h"

namespace tw {

namespace {

const char kFolderName[] = "TallyworksUpdateState";

// Owner and group Administrators; full control for SYSTEM and Administrators, inherited by
// every file and folder below; nothing inherited from the parent (P).
const char kSddl[] = "O:BAG:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// Rights that would let their holder add, change, remove or re-permit what lies in the folder.
constexpr DWORD kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                                FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

std::string ErrorText(const char* what, DWORD error) {
    char text[160];
    std::snprintf(text, sizeof(text), "%s (error %lu)", what, static_cast<unsigned long>(error));
    return text;
}

bool IsTrustedSid(PSID sid) {
    return sid && (::IsWellKnownSid(sid, WinLocalSystemSid) || ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid));
}

// Wine derives a file's owner and access list from the Unix owner and mode: the owner is
// always the creating user, the list grants SYSTEM and that user full control (and others what
// the mode gives them), and the protection flag is never kept; it enforces none of it. Only
// under Wine does the process's own user stand in for Administrators, and is the flag not
// asked for; an entry for anybody else still makes the folder untrusted there too.
bool IsRunningUnderWine() {
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool IsProcessUser(PSID sid) {
    KernelHandle token;
    if (!sid || !::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Put())) return false;
    unsigned char buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    if (!::GetTokenInformation(token.Get(), TokenUser, buffer, sizeof(buffer), &size)) return false;
    return ::EqualSid(sid, reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid) != FALSE;
}

bool IsTrustedOwner(PSID owner) { return IsTrustedSid(owner) || (IsRunningUnderWine() && IsProcessUser(owner)); }

bool CreateProtected(const std::string& path, std::string& error) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(kSddl, SDDL_REVISION_1, &descriptor, nullptr)) {
        error = ErrorText("could not build the access list", ::GetLastError());
        return false;
    }
    LocalMemory owner(descriptor);
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
    if (!::CreateDirectoryA(path.c_str(), &attributes)) {
        error = ErrorText("could not create the folder", ::GetLastError());
        return false;
    }
    // The owner asked for at creation is only taken when the token may set it: where the
    // folder got the creator as its owner, set Administrators explicitly.
    PSID ownerSid = nullptr;
    BOOL defaulted = FALSE;
    ::GetSecurityDescriptorOwner(descriptor, &ownerSid, &defaulted);
    PSID actual = nullptr;
    PSECURITY_DESCRIPTOR current = nullptr;
    bool ownerTrusted = false;
    if (::GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &actual, nullptr, nullptr,
                                nullptr, &current) == ERROR_SUCCESS) {
        LocalMemory currentHolder(current);
        ownerTrusted = IsTrustedSid(actual);
    }
    if (!ownerTrusted) {
        const DWORD result = ::SetNamedSecurityInfoA(const_cast<char*>(path.c_str()), SE_FILE_OBJECT,
                                                     OWNER_SECURITY_INFORMATION, ownerSid, nullptr, nullptr, nullptr);
        if (result != ERROR_SUCCESS) {
            error = ErrorText("could not make Administrators the folder's owner", result);
            return false;
        }
    }
    // The list again, explicitly protected: a file system that dropped the protection given at
    // creation must not leave the folder inheriting its parent's list.
    if (!::SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                            descriptor)) {
        error = ErrorText("could not set the folder's access list", ::GetLastError());
        return false;
    }
    return true;
}

}  // namespace

const char* CProtectedFolder::Sddl() { return kSddl; }

bool CProtectedFolder::DefaultRoot(std::string& path, std::string& error) {
    char folder[MAX_PATH] = {};
    const HRESULT hr = ::SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
    if (FAILED(hr) || folder[0] == '\0') {
        error = ErrorText("could not find the common application data folder", static_cast<DWORD>(hr));
        return false;
    }
    path = std::string(folder) + "\\" + kFolderName;
    return true;
}

bool CProtectedFolder::IsProtected(const std::string& path, std::string& why) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        why = ErrorText("the folder is not there", ::GetLastError());
        return false;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        why = "not a plain folder";
        return false;
    }
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD result =
        ::GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                &owner, nullptr, &dacl, nullptr, &descriptor);
    if (result != ERROR_SUCCESS) {
        why = ErrorText("could not read the owner and access list", result);
        return false;
    }
    LocalMemory holder(descriptor);
    if (!IsTrustedOwner(owner)) {
        char* sid = nullptr;
        why = "owned by neither Administrators nor SYSTEM";
        if (owner && ::ConvertSidToStringSidA(owner, &sid)) {
            why += std::string(" but by ") + sid;
            ::LocalFree(sid);
        }
        return false;
    }
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!::GetSecurityDescriptorControl(descriptor, &control, &revision) ||
        (!(control & SE_DACL_PROTECTED) && !IsRunningUnderWine())) {
        why = "the access list inherits from the parent folder";
        return false;
    }
    if (!dacl) {
        why = "no access list (everyone has full control)";
        return false;
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!::GetAce(dacl, i, &entry)) {
            why = ErrorText("could not read the access list", ::GetLastError());
            return false;
        }
        const ACE_HEADER* header = static_cast<const ACE_HEADER*>(entry);
        if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;  // a denial takes nothing away from us
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            why = "the access list holds an entry of another kind";
            return false;
        }
        const ACCESS_ALLOWED_ACE* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        if ((allowed->Mask & kChangeRights) != 0 && !IsTrustedOwner(const_cast<DWORD*>(&allowed->SidStart))) {
            why = "the access list lets others than Administrators and SYSTEM change the folder";
            return false;
        }
    }
    return true;
}

bool CProtectedFolder::Ensure(const std::string& path, std::string& error) {
    std::string why;
    if (!EntryExists(path)) {
        if (!CreateProtected(path, error)) return false;
    } else if (!IsProtected(path, why)) {
        // Whatever lies there was made or changed by someone else: keep it for inspection
        // under another name, never use it.
        char aside[MAX_PATH + 40];
        std::snprintf(aside, sizeof(aside), "%s.untrusted-%lu", path.c_str(),
                      static_cast<unsigned long>(::GetTickCount()));
        if (!::MoveFileExA(path.c_str(), aside, 0)) {
            error = ErrorText(("the folder is not protected (" + why + ") and could not be moved aside").c_str(),
                              ::GetLastError());
            return false;
        }
        if (!CreateProtected(path, error)) return false;
    }
    if (!IsProtected(path, why)) {
        error = "the folder is not protected: " + why;
        return false;
    }
    return true;
}

}  // namespace tw
