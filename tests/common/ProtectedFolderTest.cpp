#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <string>

#include "TestSupport.h"
#include "common/Handles.h"
#include "common/ProtectedFolder.h"

using tw::CProtectedFolder;

namespace {

// Owner, protection and entries of a folder's access list, read back as Windows stores them.
struct ReadBack {
    bool ownerIsAdministrators = false;
    bool protectedList = false;
    int entries = -1;
    bool onlyTrusted = true;
};

ReadBack ReadSecurity(const std::string& path) {
    ReadBack result;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                &owner, nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return result;
    tw::LocalMemory holder(descriptor);
    result.ownerIsAdministrators = owner && ::IsWellKnownSid(owner, WinBuiltinAdministratorsSid);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ::GetSecurityDescriptorControl(descriptor, &control, &revision);
    result.protectedList = (control & SE_DACL_PROTECTED) != 0;
    if (!dacl) return result;
    result.entries = dacl->AceCount;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ::GetAce(dacl, i, reinterpret_cast<void**>(&ace));
        PSID sid = &ace->SidStart;
        if (!::IsWellKnownSid(sid, WinLocalSystemSid) && !::IsWellKnownSid(sid, WinBuiltinAdministratorsSid))
            result.onlyTrusted = false;
    }
    return result;
}

bool CreateWithSddl(const std::string& path, const char* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    tw::LocalMemory holder(descriptor);
    // Set after creation: Wine takes a list given at creation only partly.
    return ::CreateDirectoryA(path.c_str(), nullptr) &&
           ::SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, descriptor);
}

bool IsWine() {
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

TEST(ProtectedFolderTest, IsCreatedWithAnAccessListForAdministratorsAndSystemOnly) {
    twtest::TempDir temp;
    const std::string folder = temp.Path() + "\\State";
    std::string error;
    ASSERT_TRUE(CProtectedFolder::Ensure(folder, error)) << error;
    const ReadBack security = ReadSecurity(folder);
    // Wine keeps the creating user as owner whatever is asked; Windows gives Administrators.
    if (!IsWine()) {
        EXPECT_TRUE(security.ownerIsAdministrators);
    }
    if (!IsWine()) {
        EXPECT_TRUE(security.protectedList);
        EXPECT_TRUE(security.onlyTrusted);
    }
    std::string why;
    EXPECT_TRUE(CProtectedFolder::IsProtected(folder, why)) << why;
    // A second call keeps the folder and what is in it.
    ASSERT_TRUE(twtest::WriteTextFile(folder + "\\kept.txt", "kept"));
    ASSERT_TRUE(CProtectedFolder::Ensure(folder, error)) << error;
    EXPECT_TRUE(twtest::FileExists(folder + "\\kept.txt"));
}

TEST(ProtectedFolderTest, AFolderThatIsNotProtectedIsMovedAsideAndMadeAnew) {
    struct Case {
        const char* name;
        const char* sddl;  // null: a file in the folder's place
    } cases[] = {
        {"inherited list", "D:(A;OICI;FA;;;WD)"},
        {"protected but open to everyone", "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;WD)"},
        {"protected, everyone may modify", "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;WD)"},
        {"a file in its place", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        twtest::TempDir temp;
        const std::string folder = temp.Path() + "\\State";
        if (c.sddl) {
            ASSERT_TRUE(CreateWithSddl(folder, c.sddl));
            ASSERT_TRUE(twtest::WriteTextFile(folder + "\\planted.dll", "planted"));
        } else {
            ASSERT_TRUE(twtest::WriteTextFile(folder, "planted"));
        }
        std::string why;
        EXPECT_FALSE(CProtectedFolder::IsProtected(folder, why));
        std::string error;
        ASSERT_TRUE(CProtectedFolder::Ensure(folder, error)) << error;
        EXPECT_FALSE(twtest::FileExists(folder + "\\planted.dll"));
        EXPECT_TRUE(CProtectedFolder::IsProtected(folder, why)) << why;
        // What was there is kept aside for inspection, never used.
        WIN32_FIND_DATAA data;
        tw::FindHandle find(::FindFirstFileA((folder + ".untrusted-*").c_str(), &data));
        EXPECT_TRUE(find.IsValid());
    }
}

}  // namespace
