#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DataStoreFixture.h"
#include "datastore/TWRegDataAccessor.h"

using tw::CTWNameList;
using tw::CTWRegDataAccessor;
using tw::RegKey;
using tw::TWAccessMode;
using tw::TWDataBranch;
using namespace twtest;

namespace {

class RegDataAccessorTest : public DataStoreTest {};

TEST_F(RegDataAccessorTest, InstanceIsOneObject) {
    EXPECT_EQ(&CTWRegDataAccessor::Instance(), &CTWRegDataAccessor::Instance());
    EXPECT_EQ(&CTWRegDataAccessor::Instance(), &tw::Singleton<CTWRegDataAccessor>::Instance());
}

TEST_F(RegDataAccessorTest, RootKeyAndKeyPathOfEveryBranch) {
    struct Row {
        unsigned branch;
        HKEY root;
        const char* path;
    } rows[] = {
        {0, HKEY_LOCAL_MACHINE, "Software\\Veltra\\Tallyworks"},
        {1, HKEY_LOCAL_MACHINE, "Software\\Veltra\\TallyworksRegistration"},
        {2, HKEY_LOCAL_MACHINE, "Software\\Veltra\\TallyworksCommon"},
        {3, HKEY_CURRENT_USER, "Software\\Veltra\\Tallyworks"},
        {4, HKEY_CURRENT_USER, "Software\\Veltra\\TallyworksCommon"},
        {5, nullptr, nullptr},
        {8, nullptr, nullptr},
        {9, nullptr, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.branch);
        auto branch = static_cast<TWDataBranch>(row.branch);
        for (unsigned mode = 0; mode <= 3; ++mode) {
            long error = 77;
            EXPECT_EQ(row.root,
                      CTWRegDataAccessor::Instance().GetRootKey(branch, static_cast<TWAccessMode>(mode), &error));
            EXPECT_EQ(0, error);
        }
        std::vector<char> path;
        long result = CTWRegDataAccessor::FormBranchKeyPath(branch, path);
        if (row.path) {
            ASSERT_EQ(0, result);
            EXPECT_STREQ(row.path, path.data());
        } else {
            EXPECT_EQ(-1, result);
            EXPECT_EQ(nullptr, CTWRegDataAccessor::GetBranchKeyPath(branch));
        }
    }
}

TEST_F(RegDataAccessorTest, AccessRightsOfEveryMode) {
    struct Row {
        unsigned mode;
        REGSAM rights;
    } rows[] = {{0, 0x20019}, {1, 0xF003F}, {2, 0x2001F}, {3, 0x20219}, {4, 0x20019}, {77, 0x20019}};
    for (const Row& row : rows)
        EXPECT_EQ(row.rights, CTWRegDataAccessor::GetAccessRights(static_cast<TWAccessMode>(row.mode))) << row.mode;
}

TEST_F(RegDataAccessorTest, VersionKeyPathForms) {
    struct Row {
        unsigned branch;
        unsigned version;
        long result;
        const char* path;
    } rows[] = {
        {0, 28, 0, "Software\\Veltra\\Tallyworks\\28.0"},
        {0, 9, 0, "Software\\Veltra\\Tallyworks\\9.0"},
        {0, 10, 0, "Software\\Veltra\\Tallyworks\\10.0"},
        {0, 6, 0, "Software\\Veltra\\Tallyworks\\6.0"},
        {0, 40, 0, "Software\\Veltra\\Tallyworks\\40.0"},
        {4, 12, 0, "Software\\Veltra\\TallyworksCommon\\12.0"},
        {0, 5, -4, nullptr},
        {0, 41, -4, nullptr},
        {5, 28, -1, nullptr},
        {9, 28, -1, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.version);
        std::vector<char> path{'x', '\0'};
        EXPECT_EQ(row.result,
                  CTWRegDataAccessor::FormVersionKeyPath(static_cast<TWDataBranch>(row.branch), row.version, path));
        if (row.path) {
            EXPECT_STREQ(row.path, path.data());
        } else {
            EXPECT_STREQ("x", path.data());  // untouched on failure
        }
    }
}

TEST_F(RegDataAccessorTest, FlavorKeyPathChecksTheCatalogueOnlyForCreation) {
    std::vector<char> path;
    EXPECT_EQ(0, CTWRegDataAccessor::FormFlavorKeyPath(TWDataBranch::Product, 28, "anything", false, path));
    EXPECT_STREQ("Software\\Veltra\\Tallyworks\\28.0\\anything", path.data());
    EXPECT_EQ(-5, CTWRegDataAccessor::FormFlavorKeyPath(TWDataBranch::Product, 28, "", false, path));
    EXPECT_EQ(-5, CTWRegDataAccessor::FormFlavorKeyPath(TWDataBranch::Product, 28, nullptr, false, path));
    EXPECT_EQ(-4, CTWRegDataAccessor::FormFlavorKeyPath(TWDataBranch::Product, 41, "ember", false, path));
    // No catalogue yet: even an edition's flavor is not known.
    EXPECT_EQ(-5, CTWRegDataAccessor::FormFlavorKeyPath(TWDataBranch::Product, 28, "ember", true, path));

    TempDir common("twcommon");
    InstallCatalogue(common);
    EXPECT_EQ(-5, CTWRegDataAccessor::FormFlavorKeyPath(TWDataBranch::Product, 28, "anything", true, path));
    EXPECT_EQ(0, CTWRegDataAccessor::FormFlavorKeyPath(TWDataBranch::Product, 28, "EMBER", true, path));
    EXPECT_STREQ("Software\\Veltra\\Tallyworks\\28.0\\EMBER", path.data());
}

TEST_F(RegDataAccessorTest, OpenCreateAndDeleteKeys) {
    const std::string path = std::string(kProductKey) + "\\28.0";
    RegKey key;
    EXPECT_EQ(2, CTWRegDataAccessor::OpenKey(HKEY_LOCAL_MACHINE, path.c_str(), TWAccessMode::Read, key));
    EXPECT_FALSE(key);

    DWORD created = 7;
    ASSERT_EQ(0, CTWRegDataAccessor::CreateKey(HKEY_LOCAL_MACHINE, path.c_str(), nullptr, TWAccessMode::FullAccess, key,
                                               &created));
    EXPECT_EQ(1u, created);
    HKEY first = key.Get();
    ASSERT_EQ(0, CTWRegDataAccessor::CreateKey(HKEY_LOCAL_MACHINE, path.c_str(), "TWClass", TWAccessMode::FullAccess,
                                               key, &created));
    EXPECT_EQ(0u, created);
    EXPECT_NE(first, key.Get());

    // A failed open leaves the key that is held.
    HKEY held = key.Get();
    EXPECT_EQ(2, CTWRegDataAccessor::OpenKey(HKEY_LOCAL_MACHINE, (path + "\\none").c_str(), TWAccessMode::Read, key));
    EXPECT_EQ(held, key.Get());

    key.Reset();
    EXPECT_EQ(0, CTWRegDataAccessor::DeleteKey(HKEY_LOCAL_MACHINE, path.c_str(), false));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, path));
}

TEST_F(RegDataAccessorTest, OpeningBelowADeletedKeyReportsMinusTwo) {
    const std::string path = std::string(kProductKey) + "\\28.0";
    MakeKey(HKEY_LOCAL_MACHINE, path + "\\ember");
    RegKey parent;
    ASSERT_EQ(0, CTWRegDataAccessor::OpenKey(HKEY_LOCAL_MACHINE, path.c_str(), TWAccessMode::Read, parent));
    ASSERT_EQ(ERROR_SUCCESS, ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, path.c_str()));
    RegKey child;
    EXPECT_EQ(-2, CTWRegDataAccessor::OpenKey(parent.Get(), "ember", TWAccessMode::Read, child));
    EXPECT_FALSE(child);
}

TEST_F(RegDataAccessorTest, ValuesAreReadWrittenAndDeleted) {
    MakeKey(HKEY_LOCAL_MACHINE, kProductKey);
    RegKey key;
    ASSERT_EQ(0, CTWRegDataAccessor::OpenKey(HKEY_LOCAL_MACHINE, kProductKey, TWAccessMode::FullAccess, key));

    ASSERT_EQ(0, CTWRegDataAccessor::SetStringValue(key.Get(), "Name", "abc"));
    ASSERT_EQ(0, CTWRegDataAccessor::SetNumberValue(key.Get(), "Count", 0x01020304));
    std::vector<char> buffer;
    DWORD type = 0, size = 0;
    ASSERT_EQ(0, CTWRegDataAccessor::QueryValue(key.Get(), "Name", buffer, &type, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(4u, size);  // the terminating zero is stored
    EXPECT_STREQ("abc", buffer.data());
    ASSERT_EQ(0, CTWRegDataAccessor::QueryValue(key.Get(), "Count", buffer, &type, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(4u, size);

    EXPECT_TRUE(CTWRegDataAccessor::ValueExists(key.Get(), "Name"));
    EXPECT_FALSE(CTWRegDataAccessor::ValueExists(key.Get(), "Missing"));
    EXPECT_EQ(3, CTWRegDataAccessor::QueryValue(key.Get(), "Missing", buffer, &type, &size));
    EXPECT_EQ(0, CTWRegDataAccessor::DeleteValue(key.Get(), "Name"));
    EXPECT_EQ(3, CTWRegDataAccessor::DeleteValue(key.Get(), "Name"));
}

TEST_F(RegDataAccessorTest, LongValueIsReadInTwoQueries) {
    const std::string text(1499, 'v');  // 1500 bytes with its terminating zero
    SetString(HKEY_LOCAL_MACHINE, kProductKey, "Long", text);
    RegKey key;
    ASSERT_EQ(0, CTWRegDataAccessor::OpenKey(HKEY_LOCAL_MACHINE, kProductKey, TWAccessMode::Read, key));
    std::vector<char> buffer;
    DWORD type = 0, size = 0;
    ASSERT_EQ(0, CTWRegDataAccessor::QueryValue(key.Get(), "Long", buffer, &type, &size));
    EXPECT_EQ(1500u, size);
    EXPECT_EQ(text, std::string(buffer.data()));
    // The second query used twice the size the first one reported (and a spare zero byte).
    EXPECT_EQ(3001u, buffer.size());

    // A value that fits the first buffer exactly is read in one query.
    SetString(HKEY_LOCAL_MACHINE, kProductKey, "Fits", std::string(1023, 'f'));
    ASSERT_EQ(0, CTWRegDataAccessor::QueryValue(key.Get(), "Fits", buffer, &type, &size));
    EXPECT_EQ(1025u, buffer.size());
    EXPECT_EQ(1023u, std::string(buffer.data()).size());
}

TEST_F(RegDataAccessorTest, TwoPassEnumerationOfKeysAndValues) {
    const char* children[] = {"12.0", "16.0", "28.0"};
    for (const char* child : children) MakeKey(HKEY_LOCAL_MACHINE, std::string(kProductKey) + "\\" + child);
    SetString(HKEY_LOCAL_MACHINE, kProductKey, "A", "1");
    SetNumber(HKEY_LOCAL_MACHINE, kProductKey, "LongerName", 2);

    RegKey key;
    ASSERT_EQ(0, CTWRegDataAccessor::OpenKey(HKEY_LOCAL_MACHINE, kProductKey, TWAccessMode::Read, key));
    DWORD count = 0, longest = 0;
    ASSERT_EQ(0, CTWRegDataAccessor::CountSubKeys(key.Get(), &count, &longest));
    EXPECT_EQ(3u, count);
    EXPECT_EQ(4u, longest);
    ASSERT_EQ(0, CTWRegDataAccessor::CountValues(key.Get(), &count, &longest));
    EXPECT_EQ(2u, count);
    EXPECT_EQ(10u, longest);

    CTWNameList list;
    bool listed = false;
    ASSERT_EQ(0, CTWRegDataAccessor::EnumerateNames(key.Get(), false, list, &count, &listed));
    EXPECT_TRUE(listed);
    ASSERT_EQ(3u, count);
    for (DWORD i = 0; i < count; ++i) EXPECT_STREQ(children[i], list.Data()[i]);

    // An enumeration without names succeeds and leaves the previous list in place.
    RegKey empty;
    ASSERT_EQ(0, CTWRegDataAccessor::OpenKey(HKEY_LOCAL_MACHINE, (std::string(kProductKey) + "\\12.0").c_str(),
                                             TWAccessMode::Read, empty));
    ASSERT_EQ(0, CTWRegDataAccessor::EnumerateNames(empty.Get(), false, list, &count, &listed));
    EXPECT_FALSE(listed);
    EXPECT_EQ(0u, count);
    EXPECT_EQ(3u, list.Count());
    EXPECT_STREQ("28.0", list.At(2));

    ASSERT_EQ(0, CTWRegDataAccessor::EnumerateNames(key.Get(), true, list, &count, &listed));
    ASSERT_EQ(2u, count);
    EXPECT_STREQ("A", list.At(0));
    EXPECT_STREQ("LongerName", list.At(1));
}

TEST_F(RegDataAccessorTest, Mode3ReadsTheThirtyTwoBitView) {
    SetString(HKEY_LOCAL_MACHINE, std::string(kWow32ProductKey) + "\\28.0", "Path", "C:\\x86\\tww.exe");
    RegKey key;
    const std::string path = std::string(kProductKey) + "\\28.0";
    EXPECT_EQ(2, CTWRegDataAccessor::OpenKey(HKEY_LOCAL_MACHINE, path.c_str(), TWAccessMode::Read, key));
    ASSERT_EQ(0, CTWRegDataAccessor::OpenKey(HKEY_LOCAL_MACHINE, path.c_str(), TWAccessMode::Read32, key));
    std::vector<char> buffer;
    DWORD type = 0, size = 0;
    ASSERT_EQ(0, CTWRegDataAccessor::QueryValue(key.Get(), "Path", buffer, &type, &size));
    EXPECT_STREQ("C:\\x86\\tww.exe", buffer.data());
}

}  // namespace
