#include <gtest/gtest.h>

#include <cstring>
#include <algorithm>
#include <ctime>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "DataStoreFixture.h"
#include "common/ModuleVersion.h"
#include "common/ProcessState.h"
#include "datastore/AppParamUtility.h"
#include "datastore/NodeFactory.h"
#include "datastore/TWFlavorNode.h"
#include "protected/InstalledProductInfoReader.h"

using tw::CAppParamUtility;
using tw::CTWFlavorNode;
using tw::NodeFactory;
using tw::TWAccessMode;
using tw::TWDataBranch;
using namespace twtest;

namespace {

std::vector<std::string> ToVector(char** list, DWORD count) {
    std::vector<std::string> out;
    for (DWORD i = 0; list && i < count; ++i) out.push_back(list[i]);
    return out;
}

// A product installation: a folder with a copy of a stand-in executable, registered under
// <major>.0\<flavor> (or <major>.0 itself when flavor is empty).
struct Install {
    std::string exePath;
};

class AppParamUtilityTest : public DataStoreTest {
protected:
    Install Register(const TempDir& dir, const char* variant, const std::string& exeName, unsigned major,
                     const std::string& flavor, REGSAM view = 0) {
        Install install{dir / exeName};
        EXPECT_TRUE(CopyFileA(VersionExe(variant).c_str(), install.exePath.c_str(), FALSE)) << variant;
        std::string key = std::string(view ? kWow32ProductKey : kProductKey) + "\\" + std::to_string(major) + ".0";
        if (!flavor.empty()) key += "\\" + flavor;
        SetString(HKEY_LOCAL_MACHINE, key, "Path", install.exePath);
        return install;
    }

    static std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
        std::tm fields = {};
        fields.tm_year = year - 1900;
        fields.tm_mon = month - 1;
        fields.tm_mday = day;
        fields.tm_hour = hour;
        fields.tm_min = minute;
        fields.tm_sec = second;
        std::time_t now = std::time(nullptr);
        fields.tm_isdst = std::localtime(&now)->tm_isdst;
        return std::mktime(&fields);
    }
};

TEST_F(AppParamUtilityTest, FixtureExecutablesCarryTheirVersionResources) {
    tw::CModuleVersion version;
    ASSERT_TRUE(version.GetFileVersionInfo(VersionExe("ver28").c_str()));
    EXPECT_EQ(4005u, HIWORD(version.dwFileVersionLS));
    EXPECT_EQ("28.0 R9", version.GetValue("ProductVersion"));
    EXPECT_EQ(0x0409, version.Language());
    EXPECT_EQ(1252, version.CodePage());

    // The version reader itself follows the first translation.
    ASSERT_TRUE(version.GetFileVersionInfo(VersionExe("ver28germanfirst").c_str()));
    EXPECT_EQ(0x0407, version.Language());
    EXPECT_EQ(1252, version.CodePage());
    EXPECT_EQ("19.0 D1", version.GetValue("ProductVersion"));
    EXPECT_EQ("28.0 R9", version.GetValue("ProductVersion", 0x0409, 1252));
}

TEST_F(AppParamUtilityTest, MajorVersionAndLevelOfExecutables) {
    struct Row {
        std::string path;
        int major;
        int levelResult;
        const char* level;  // null: buffer untouched
    } rows[] = {
        {VersionExe("ver28"), 28, 0, "R9"},
        {VersionExe("ver16"), 16, 0, "R3"},
        {VersionExe("ver9"), 9, 0, "R2"},
        {VersionExe("ver27plain"), 27, 0, nullptr},
        {VersionExe("ver28unicode"), -1, 0, nullptr},  // only the 040904E4 table is read
        // The US English table is read whatever the translation table lists first, and
        // without any translation table.
        {VersionExe("ver28germanfirst"), 28, 0, "R9"},
        {VersionExe("ver28notranslation"), 28, 0, "R9"},
        {VersionExe("noversion"), -1, -1, nullptr},
        {VersionExe("missing"), -1, -1, nullptr},
        {"", -1, -1, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(row.major, CAppParamUtility::GetMajorVersion(row.path.c_str()));
        char level[10];
        std::strcpy(level, "untouched");
        EXPECT_EQ(row.levelResult, CAppParamUtility::GetProductLevel(row.path.c_str(), level, sizeof(level)));
        EXPECT_STREQ(row.level ? row.level : "untouched", level);
    }
    EXPECT_EQ(-1, CAppParamUtility::GetMajorVersion(nullptr));
    char small[9] = "";
    EXPECT_EQ(-1, CAppParamUtility::GetProductLevel(VersionExe("ver28").c_str(), small, sizeof(small)));
}

TEST_F(AppParamUtilityTest, TimeStamps) {
    struct Row {
        const char* text;
        long result;  // 0: compare with the time below
        int month = 0, day = 0, year = 0, hour = 0, minute = 0, second = 0;
    } rows[] = {
        {"03/07/2024 12:05:09 AM", 0, 3, 7, 2024, 0, 5, 9},
        {"03/07/2024 12:05:09 PM", 0, 3, 7, 2024, 12, 5, 9},
        {"03/07/2024 01:05:09 pm", 0, 3, 7, 2024, 13, 5, 9},
        {"11/30/2023 11:59:58 AM", 0, 11, 30, 2023, 11, 59, 58},
        {"3/7/2024 12:05:09 AM", -104},
        {"03/7/2024 12:05:09 AM", -105},
        {"03/07/24 12:05:09 AM", -106},
        {"03/07/2024", -106},
        {"03/07/2024 12-05:09 AM", -107},
        {"03/07/2024 12:05-09 AM", -108},
        {"03/07/2024 12:05:09", -109},
        {"", -104},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        long expected = row.result;
        if (expected == 0)
            expected = static_cast<long>(LocalTime(row.year, row.month, row.day, row.hour, row.minute, row.second));
        EXPECT_EQ(expected, CAppParamUtility::ParseTimeStamp(row.text));
    }
    EXPECT_GT(CAppParamUtility::ParseTimeStamp("03/07/2024 12:05:09 PM"),
              CAppParamUtility::ParseTimeStamp("03/07/2024 11:05:09 AM"));
    EXPECT_LT(CAppParamUtility::ParseTimeStamp(nullptr), 0);
}

TEST_F(AppParamUtilityTest, EditionTableAndExecutableSuffix) {
    size_t count = 0;
    const CAppParamUtility::Edition* editions = CAppParamUtility::Editions(&count);
    ASSERT_EQ(34u, count);
    std::set<std::string> flavors;
    bool kyv = false;
    for (size_t i = 0; i < count; ++i) {
        flavors.insert(editions[i].flavorCode);
        for (const char* c = editions[i].flavorCode; *c; ++c) EXPECT_FALSE(*c >= 'A' && *c <= 'Z');
        if (std::strstr(editions[i].productCode, "kyv")) kyv = true;
    }
    EXPECT_EQ(34u, flavors.size());
    EXPECT_TRUE(kyv);

    struct Row {
        const char* flavor;
        bool found;
        const char* suffix;
    } rows[] = {
        {"ember", true, "Ember"},
        {"EMBER", true, "Ember"},
        {"emberplus", true, "EmberPlus"},
        {"kyv", true, "Kyv"},
        {"vistagovfed", true, "VistaGovFed"},
        {"accthub", true, "acctHubPro"},
        {"nosuch", false, ""},
        {"", false, ""},
    };
    for (const Row& row : rows) {
        std::string suffix = "old";
        EXPECT_EQ(row.found, CAppParamUtility::GetExecutableSuffix(row.flavor, suffix)) << row.flavor;
        EXPECT_EQ(row.suffix, suffix) << row.flavor;
    }
}

TEST_F(AppParamUtilityTest, ValidInstallsOfEachSelector) {
    TempDir common("twcommon"), ember("tw28e"), slate("tw28s"), harbor("tw28h"), stray("tw28x"), cedar("tw16c"),
        kyv("tw13k"), atlas("tw13a"), old("tw9");
    InstallCatalogue(common);
    Register(ember, "ver28", "twwEmber.exe", 28, "ember");   // valid
    Register(slate, "ver16", "twwSlate.exe", 28, "slate");   // executable of another major version
    Register(harbor, "ver28", "product.exe", 28, "harbor");  // the edition's executable is missing
    Register(stray, "ver28", "twwStray.exe", 28, "stray");   // not an edition
    Register(cedar, "ver16", "twwCedar.exe", 16, "cedar");   // valid
    TempDir beacon("tw16b");
    Register(beacon, "ver16", "tww.exe", 16, "beacon");  // twwBeacon.exe is missing
    Register(kyv, "ver13", "tww.exe", 13, "kyv");        // valid: flavor data file names it
    ASSERT_TRUE(WriteTextFile(kyv / "twf5a86r.dat", "x"));
    Register(atlas, "ver13", "tww.exe", 13, "atlas");  // no flavor data file
    Register(old, "ver9", "tww.exe", 9, "");           // under 12: skipped
    MakeKey(HKEY_LOCAL_MACHINE, std::string(kProductKey) + "\\11.0\\ember");

    struct Row {
        int selector;
        long result;
        std::vector<std::string> installs;
    } rows[] = {
        {28, 0, {"28.0-ember"}},
        {16, 0, {"16.0-cedar"}},
        {-1, 0, {"13.0-kyv", "16.0-cedar", "28.0-ember"}},
        {-17, 0, {"13.0-kyv", "16.0-cedar"}},
        {-16, 0, {"13.0-kyv"}},
        {-13, 2, {}},
        {30, 2, {}},
        {11, -1, {}},
        {1000, -1, {}},
    };
    CAppParamUtility utility;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.selector);
        char** list = reinterpret_cast<char**>(1);
        DWORD count = 99, longest = 99;
        EXPECT_EQ(row.result, utility.GetValidInstalls(&list, &count, &longest, row.selector));
        EXPECT_EQ(row.installs, ToVector(list, count));
        size_t expectedLongest = 0;
        for (const std::string& entry : row.installs) expectedLongest = std::max(expectedLongest, entry.size() + 1);
        EXPECT_EQ(expectedLongest, longest);
        if (row.installs.empty()) {
            EXPECT_EQ(nullptr, list);
        }
    }
}

TEST_F(AppParamUtilityTest, ValidInstallsWithoutCatalogueOrBranch) {
    CAppParamUtility utility;
    char** list = nullptr;
    DWORD count = 0, longest = 0;
    EXPECT_EQ(-1, utility.GetValidInstalls(&list, &count, &longest, -1));  // no product branch

    MakeKey(HKEY_LOCAL_MACHINE, kProductKey);
    EXPECT_EQ(2, utility.GetValidInstalls(&list, &count, &longest, -1));  // no version keys
    EXPECT_EQ(0u, count);

    // Without the catalogue file the editions from 15 on are not valid.
    TempDir common("twcommon"), ember("tw28e");
    SetString(HKEY_LOCAL_MACHINE, kCommonKey, "CommonFilesPath", common.Path());
    Register(ember, "ver28", "twwEmber.exe", 28, "ember");
    EXPECT_EQ(2, utility.GetValidInstalls(&list, &count, &longest, 28));
    // The value was read, so the failed load is not retried in this process...
    ASSERT_TRUE(WriteTextFile(common / "twm3t2.dat", "catalogue"));
    EXPECT_EQ(2, utility.GetValidInstalls(&list, &count, &longest, 28));
    // ...until the next process.
    tw::ResetProcessState();
    EXPECT_EQ(0, utility.GetValidInstalls(&list, &count, &longest, 28));
    EXPECT_EQ(std::vector<std::string>{"28.0-ember"}, ToVector(list, count));
}

TEST_F(AppParamUtilityTest, CatalogueFolderFromTheThirtyTwoBitView) {
    TempDir common("twcommon");
    ASSERT_TRUE(WriteTextFile(common / "twm3t2.dat", "catalogue"));
    SetString(HKEY_LOCAL_MACHINE, "Software\\WOW6432Node\\Veltra\\TallyworksCommon", "CommonFilesPath", common.Path());
    EXPECT_TRUE(CAppParamUtility::LoadProductCatalogue());
    EXPECT_TRUE(tw::ProductInfoReader().IsKnownFlavor("Kyv"));
    EXPECT_FALSE(tw::ProductInfoReader().IsKnownFlavor("nosuch"));
}

TEST_F(AppParamUtilityTest, EditionExecutableOfTheThirtyTwoBitView) {
    TempDir common("twcommon"), ember("tw28e");
    InstallCatalogue(common);
    Register(ember, "ver28", "twwEmber.exe", 28, "ember", KEY_WOW64_32KEY);
    std::unique_ptr<CTWFlavorNode> node(
        NodeFactory::OpenFlavorNode(TWDataBranch::Product, 28, "ember", TWAccessMode::Read32, nullptr));
    ASSERT_TRUE(node);
    EXPECT_FALSE(CAppParamUtility::IsValidInstall(node.get(), TWAccessMode::Read32));
    ASSERT_TRUE(CopyFileA(VersionExe("ver28").c_str(), (ember / "tww32Ember.exe").c_str(), FALSE));
    EXPECT_TRUE(CAppParamUtility::IsValidInstall(node.get(), TWAccessMode::Read32));
}

TEST_F(AppParamUtilityTest, VersionAndFlavorOfAnExecutable) {
    TempDir kyv("tw13k"), nine("tw9"), sixteen("tw16"), bare("tw13b");
    Install k = Register(kyv, "ver13", "tww.exe", 13, "kyv");
    ASSERT_TRUE(WriteTextFile(kyv / "twf5a86r.dat", "x"));
    Install n = Register(nine, "ver9", "tww.exe", 9, "");
    ASSERT_TRUE(WriteTextFile(nine / "twf5a86r.dat", "x"));
    Install s = Register(sixteen, "ver16", "twwCedar.exe", 16, "cedar");
    Install b = Register(bare, "ver13", "tww.exe", 13, "atlas");

    struct Row {
        std::string path;
        long result;
        int major;
        const char* flavor;  // null: none handed out
    } rows[] = {
        {k.exePath, 0, 13, "kyv"},
        {n.exePath, 2, 9, ""},
        {s.exePath, 0, 16, ""},
        {b.exePath, -4, 13, nullptr},
        {VersionExe("noversion"), -1, -1, nullptr},
        {"", -1, -1, nullptr},
    };
    CAppParamUtility utility;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        int major = 0;
        const char* flavor = "stale";
        EXPECT_EQ(row.result, utility.GetTWVersionFlavor(row.path.c_str(), &major, &flavor, true));
        EXPECT_EQ(row.major, major);
        if (row.flavor) {
            ASSERT_NE(nullptr, flavor);
            EXPECT_STREQ(row.flavor, flavor);
        } else {
            EXPECT_EQ(nullptr, flavor);
        }
    }
}

TEST_F(AppParamUtilityTest, FlavorDataReaderKeepsItsLastAnswer) {
    TempDir kyv("tw13k");
    Register(kyv, "ver13", "tww.exe", 13, "kyv");
    const std::string dataFile = kyv / "twf5a86r.dat";
    tw::CInstalledProductInfoReader reader;
    char flavor[30];
    EXPECT_FALSE(reader.ReadFlavorData(dataFile.c_str(), true, flavor, sizeof(flavor)));  // no file
    ASSERT_TRUE(WriteTextFile(dataFile, "x"));
    ASSERT_TRUE(reader.ReadFlavorData(dataFile.c_str(), true, flavor, sizeof(flavor)));
    EXPECT_STREQ("kyv", flavor);

    // The registration moves to another flavor: the kept answer stands until a re-read.
    RemoveVendorKeys();
    Register(kyv, "ver13", "tww.exe", 13, "atlas");
    ASSERT_TRUE(reader.ReadFlavorData(dataFile.c_str(), false, flavor, sizeof(flavor)));
    EXPECT_STREQ("kyv", flavor);
    ASSERT_TRUE(reader.ReadFlavorData(dataFile.c_str(), true, flavor, sizeof(flavor)));
    EXPECT_STREQ("atlas", flavor);

    // A small buffer is filled and terminated, never overrun.
    char tiny[3] = {'#', '#', '#'};
    ASSERT_TRUE(reader.ReadFlavorData(dataFile.c_str(), false, tiny, sizeof(tiny)));
    EXPECT_STREQ("at", tiny);
}

// Until the program registers its reader the data store knows no product information;
// a reader registered later takes over. Only EXPECTs, so the registration is always put back.
TEST_F(AppParamUtilityTest, ProductInformationNeedsARegisteredReader) {
    TempDir common("twcommon"), kyv("tw13k");
    InstallCatalogue(common);
    Register(kyv, "ver13", "tww.exe", 13, "kyv");
    const std::string dataFile = kyv / "twf5a86r.dat";
    EXPECT_TRUE(WriteTextFile(dataFile, "x"));

    tw::SetDefaultProductInfoReader(nullptr);
    tw::SetProductInfoReader(nullptr);
    EXPECT_FALSE(CAppParamUtility::LoadProductCatalogue());
    EXPECT_FALSE(tw::ProductInfoReader().IsKnownFlavor("Kyv"));
    char flavor[8] = {'#', '#', 0};
    EXPECT_FALSE(tw::ProductInfoReader().ReadFlavorData(dataFile.c_str(), true, flavor, sizeof(flavor)));
    EXPECT_STREQ("", flavor);

    tw::SetDefaultProductInfoReader(&tw::CInstalledProductInfoReader::Create);
    tw::ResetProcessState();
    EXPECT_TRUE(CAppParamUtility::LoadProductCatalogue());
    EXPECT_TRUE(tw::ProductInfoReader().IsKnownFlavor("Kyv"));
    EXPECT_TRUE(tw::ProductInfoReader().ReadFlavorData(dataFile.c_str(), true, flavor, sizeof(flavor)));
    EXPECT_STREQ("kyv", flavor);
}

}  // namespace
