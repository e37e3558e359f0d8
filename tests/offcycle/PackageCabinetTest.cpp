#include <gtest/gtest.h>

#include <windows.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "OffCycleTestSupport.h"
#include "PackageTestSupport.h"
#include "common/Handles.h"
#include "common/TestSupport.h"
#include "offcycle/ulip/CabinetSignature.h"
#include "offcycle/ulip/CabinetUnpacker.h"
#include "offcycle/ulip/HeldFiles.h"
#include "offcycle/OffCycleFileSelector.h"
#include "offcycle/Sha256.h"

using octest::CountLines;
using octest::FilesUnder;
using tw::CCabinetSignature;
using tw::CCabinetUnpacker;
using tw::COffCycleFileSelector;
using twtest::TempDir;

namespace {

class CabinetSelector : public COffCycleFileSelector {
public:
    using COffCycleFileSelector::ExtractFromTwcFile;
    using COffCycleFileSelector::ExtractTwcThroughFDI;
    using COffCycleFileSelector::ReleaseHeldFile;
    using COffCycleFileSelector::ReleaseHeldFiles;
    using COffCycleFileSelector::VerifyTwcSignature;
};

const char kFdiCopyFailed[] =
    "Patch: FDICopy() returned FALSE in COffCycleFileSelector::ExtractTwcThroughFDI(), GetLastError(): returned ";
const char kOpenFailed[] =
    "Patch: file_open() returned -1 in COffCycleFileSelector::ExtractTwcThroughFDI(), GetLastError(): returned ";
const char kExtractFailed[] = "Patch: ExtractTwcThroughFDI() failed, GetLastError(): returned ";
const char kExtracted[] = "ExtractTwcThroughFDI() was successful, GetLastError(): returned ";

// A package folder laid out as the restore lays it out: <root>\Tallyworks\33\r5\us\original.twc.
class PackageFolder {
public:
    explicit PackageFolder(const std::string& cabinet, const std::string& countryName = "us")
        : country(root / ("Tallyworks\\33\\r5\\" + countryName)), cabinetPath(country + "\\original.twc") {
        EXPECT_TRUE(twtest::MakeDirs(country));
        EXPECT_TRUE(::CopyFileA((octest::CabinetFolder() + "\\" + cabinet).c_str(), cabinetPath.c_str(), FALSE))
            << cabinet;
    }
    // Every file under the root, relative to the country folder when inside it.
    std::set<std::string> Files() const {
        std::set<std::string> files;
        const std::string prefix = "Tallyworks\\33\\r5\\" + country.substr(country.rfind('\\') + 1) + "\\";
        for (const auto& file : FilesUnder(root.Path()))
            files.insert(file.compare(0, prefix.size(), prefix) == 0 ? file.substr(prefix.size()) : "<outside>\\" + file);
        return files;
    }

    TempDir root{"package"};
    std::string country;
    std::string cabinetPath;
};

class PackageCabinetTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(octest::CabinetFolder().empty()) << "the test cabinets could not be made";
        octest::Lines().clear();
    }
    twtest::SeamGuard seams;
};

using Files = std::set<std::string>;

const Files kGoodFiles = {"original.twc", "a.dll", "readme.txt", "KillProcesses.xml", "x32\\helper.dll"};

TEST_F(PackageCabinetTest, EachCabinetIsCheckedAndOnlyIntactOnesUnpack) {
    struct Case {
        const char* cabinet;
        bool intact;
        HRESULT unpacked;
        Files after;
    } cases[] = {
        {"good.twc", true, S_OK, kGoodFiles},
        {"unsigned.twc", false, E_FAIL, {"original.twc"}},
        {"other.twc", false, E_FAIL, {"original.twc"}},
        {"noveltra.twc", false, E_FAIL, {"original.twc"}},
        {"stranger.twc", false, E_FAIL, {"original.twc"}},
        // Wine's check does not hash the content; the decompressor finds the damage. The
        // files before the damaged block stay, the one cut short does not.
        {"corrupt.twc", true, E_FAIL, {"original.twc", "a.dll"}},
        {"deep.twc", true, E_FAIL, {"original.twc", "a.dll"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cabinet);
        twtest::SeamGuard fresh;  // a fresh process: the trust is set again
        octest::Lines().clear();
        PackageFolder folder(c.cabinet);
        CabinetSelector selector;
        selector.SetLogger(octest::RecordLine);
        EXPECT_EQ(c.intact, selector.VerifyTwcSignature(folder.cabinetPath.c_str()));
        // The restore unpacks only an intact cabinet; unpacking is refused anyway without a check.
        EXPECT_EQ(c.unpacked, selector.ExtractFromTwcFile(folder.cabinetPath.c_str()));
        if (!c.intact) {
            EXPECT_EQ(1u, CountLines(kOpenFailed));
        }
        EXPECT_EQ(c.unpacked == S_OK ? 1u : 0u, CountLines(kExtracted));
        EXPECT_EQ(c.unpacked == S_OK ? 0u : 1u, CountLines(kExtractFailed));
        selector.ReleaseHeldFiles();
        EXPECT_EQ(c.after, folder.Files());
    }
}

TEST_F(PackageCabinetTest, UnpackedFilesAreTheCabinetsContent) {
    PackageFolder folder("good.twc");
    CabinetSelector selector;
    selector.SetLogger(octest::RecordLine);
    ASSERT_TRUE(selector.VerifyTwcSignature(folder.cabinetPath.c_str()));
    ASSERT_EQ(S_OK, selector.ExtractFromTwcFile(folder.cabinetPath.c_str()));
    EXPECT_EQ(1u, CountLines("Entered ExtractFromTwcFile() with twc path : " + folder.cabinetPath));
    EXPECT_EQ("MZ a.dll of the release\n", octest::ReadBinaryFile(folder.country + "\\a.dll"));
    EXPECT_EQ("release notes\r\n", octest::ReadBinaryFile(folder.country + "\\readme.txt"));
    const std::string helper = octest::ReadBinaryFile(folder.country + "\\x32\\helper.dll");
    EXPECT_EQ(21u + 70000u, helper.size());
    EXPECT_EQ(0u, helper.find("MZ helper FLIPMARKER hhh"));
    EXPECT_EQ(std::string::npos, helper.find_first_not_of('h', 21));
}

TEST_F(PackageCabinetTest, HostileEntryNamesAreRefusedAndNothingLandsOutside) {
    const std::string list = octest::ReadBinaryFile(octest::CabinetFolder() + "\\hostile.txt");
    ASSERT_FALSE(list.empty());
    const char* const outsideProbes[] = {"C:\\evil.dll", "\\evil.dll", "C:\\b.dll"};
    std::vector<bool> existedBefore;
    for (const char* probe : outsideProbes) existedBefore.push_back(twtest::FileExists(probe));

    size_t start = 0, count = 0;
    while (start < list.size()) {
        size_t end = list.find('\n', start);
        const std::string line = list.substr(start, end - start);
        start = end == std::string::npos ? list.size() : end + 1;
        const std::string index = line.substr(0, line.find('\t'));
        const std::string name = line.substr(line.find('\t') + 1);
        SCOPED_TRACE(name);
        ++count;
        twtest::SeamGuard fresh;
        octest::Lines().clear();
        PackageFolder folder("hostile-" + index + ".twc");
        CabinetSelector selector;
        selector.SetLogger(octest::RecordLine);
        ASSERT_TRUE(selector.VerifyTwcSignature(folder.cabinetPath.c_str()));
        EXPECT_EQ(E_FAIL, selector.ExtractFromTwcFile(folder.cabinetPath.c_str()));
        EXPECT_EQ(1u, CountLines(kFdiCopyFailed));
        EXPECT_EQ(1u, CountLines("In COffCycleFileSelector::ExtractTwcThroughFDI, refused the cabinet entry \"" +
                                 name + "\""));
        selector.ReleaseHeldFiles();
        // The cabinet is the one signed, untouched; the plain entry before the hostile one is there.
        EXPECT_EQ(Files({"original.twc", "ok.dll"}), folder.Files());
        EXPECT_EQ(octest::ReadBinaryFile(octest::CabinetFolder() + "\\hostile-" + index + ".twc"),
                  octest::ReadBinaryFile(folder.cabinetPath));
    }
    EXPECT_EQ(11u, count);
    for (size_t i = 0; i < existedBefore.size(); ++i)
        if (!existedBefore[i]) {
            EXPECT_FALSE(twtest::FileExists(outsideProbes[i])) << outsideProbes[i];
        }
}

TEST(PackageEntryNames, OnlyPlainNamesAndOneFolderLevelAreAccepted) {
    const std::string longName(300, 'n');
    struct Case {
        std::string name;
        bool accepted;
    } cases[] = {
        {"a.dll", true},
        {"x32\\helper.dll", true},
        {"KillProcesses.xml", true},
        {"r5.xml", true},
        {"original.twc.bak", true},
        {"", false},
        {"..\\evil.dll", false},
        {"..", false},
        {".", false},
        {"x32\\..\\..\\evil.dll", false},
        {"x32\\..", false},
        {"C:\\evil.dll", false},
        {"C:evil.dll", false},
        {"a.dll:stream", false},
        {"\\evil.dll", false},
        {"\\\\server\\share\\evil.dll", false},
        {"a/b.dll", false},
        {"/evil.dll", false},
        {"x32\\\\evil.dll", false},
        {"x32\\", false},
        {"x32\\sub\\deep.dll", false},
        {"CON", false},
        {"con.txt", false},
        {"x32\\NUL", false},
        {"LPT1.dll", false},
        {"COM9", false},
        {"CONOUT$", false},
        {"evil.dll.", false},
        {"evil.dll ", false},
        {"a*.dll", false},
        {"a?.dll", false},
        {"a\x01.dll", false},
        {"original.twc", false},
        {"ORIGINAL.TWC", false},
        {"x32\\original.twc", true},
        {"COM10.dll", true},
        {"console.dll", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.accepted, CCabinetUnpacker::IsSafeEntryName(c.name.c_str(), "original.twc")) << c.name;
}

TEST(PackageEntryNames, TargetPathMustFitItsBuffer) {
    char target[CCabinetUnpacker::kTargetSize];
    const std::string folder = "C:\\Users\\u\\AppData\\Roaming\\Tallyworks\\33\\r5\\us\\";
    const std::string fits(sizeof(target) - 1 - folder.size(), 'f');
    EXPECT_TRUE(CCabinetUnpacker::BuildTarget(target, sizeof(target), folder.c_str(), fits.c_str()));
    EXPECT_EQ(folder + fits, target);
    const std::string tooLong = fits + "g";
    EXPECT_FALSE(CCabinetUnpacker::BuildTarget(target, sizeof(target), folder.c_str(), tooLong.c_str()));
    EXPECT_STREQ("", target);
}

TEST(PackageSignerName, OnlyTheMakersNameIsAccepted) {
    struct Case {
        const char* name;
        bool accepted;
    } cases[] = {
        {"Veltra Inc", true},
        {"VELTRA INC", true},
        {"Veltra Inc.", true},
        {"Veltra, Inc.", true},
        {"  Veltra   Inc  ", true},
        {"Noveltra Inc", false},
        {"Veltra Incubator Ltd", false},
        {"Veltra Inc Subsidiary", false},
        {"Not Veltra Inc", false},
        {"Veltra", false},
        {"VeltraInc", false},
        {"Other Vendor Inc", false},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.accepted, CCabinetSignature::IsMakerName(c.name)) << c.name;
}

TEST(PackagePathWidening, NarrowPathIsWidenedInTheAnsiCodePage) {
    // 0x80 is the euro sign in code page 1252: byte by byte it would become U+0080.
    if (::GetACP() != 1252) GTEST_SKIP() << "ANSI code page " << ::GetACP();
    EXPECT_EQ(std::wstring(L"C:\\caf\u00e9\u20ac\\original.twc"),
              CCabinetSignature::WidePath("C:\\caf\xe9\x80\\original.twc"));
}

TEST_F(PackageCabinetTest, CabinetInAFolderWithAnAnsiNameIsChecked) {
    if (::GetACP() != 1252) GTEST_SKIP() << "ANSI code page " << ::GetACP();
    PackageFolder folder("good.twc", "caf\xe9\x80");
    CabinetSelector selector;
    selector.SetLogger(octest::RecordLine);
    ASSERT_TRUE(twtest::FileExists(folder.cabinetPath));
    EXPECT_TRUE(selector.VerifyTwcSignature(folder.cabinetPath.c_str()));
    EXPECT_EQ(S_OK, selector.ExtractFromTwcFile(folder.cabinetPath.c_str()));
    selector.ReleaseHeldFiles();
}

TEST_F(PackageCabinetTest, FailedCheckRevokesTrustForTheRestOfTheProcess) {
    PackageFolder stranger("stranger.twc");
    PackageFolder good("good.twc");
    {
        CabinetSelector selector;
        EXPECT_TRUE(selector.VerifyTwcSignature(good.cabinetPath.c_str()));
        selector.ReleaseHeldFiles();
        EXPECT_FALSE(selector.VerifyTwcSignature(stranger.cabinetPath.c_str()));
    }
    CabinetSelector later;
    EXPECT_FALSE(later.VerifyTwcSignature(good.cabinetPath.c_str()));
    EXPECT_FALSE(CCabinetSignature::ProcessTrusted());
    EXPECT_EQ(E_FAIL, later.ExtractFromTwcFile(good.cabinetPath.c_str()));
    // A new process trusts again.
    twtest::SeamGuard fresh;
    EXPECT_TRUE(CCabinetSignature::ProcessTrusted());
}

// Tries, from another thread with handles of its own, to change a file: write, rename, delete.
struct ChangeAttempts {
    bool write = false, rename = false, remove = false;
};
ChangeAttempts TryToChange(const std::string& path) {
    ChangeAttempts result;
    std::thread attacker([&] {
        tw::FileHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
        result.write = file.IsValid();
        file.Reset();
        result.rename = ::MoveFileExA(path.c_str(), (path + ".moved").c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
        if (result.rename) ::MoveFileExA((path + ".moved").c_str(), path.c_str(), 0);
        result.remove = ::DeleteFileA(path.c_str()) != FALSE;
    });
    attacker.join();
    return result;
}

TEST_F(PackageCabinetTest, CabinetAndUnpackedFilesCannotBeSwappedWhileHeld) {
    PackageFolder folder("good.twc");
    CabinetSelector selector;
    selector.SetLogger(octest::RecordLine);
    ASSERT_TRUE(selector.VerifyTwcSignature(folder.cabinetPath.c_str()));
    ChangeAttempts cabinet = TryToChange(folder.cabinetPath);
    EXPECT_FALSE(cabinet.write);
    EXPECT_FALSE(cabinet.rename);
    EXPECT_FALSE(cabinet.remove);

    ASSERT_EQ(S_OK, selector.ExtractFromTwcFile(folder.cabinetPath.c_str()));
    for (const char* name : {"a.dll", "x32\\helper.dll"}) {
        SCOPED_TRACE(name);
        const std::string path = folder.country + "\\" + name;
        ChangeAttempts unpacked = TryToChange(path);
        EXPECT_FALSE(unpacked.write);
        EXPECT_FALSE(unpacked.rename);
        EXPECT_FALSE(unpacked.remove);
        // Reading and copying a held file still work.
        EXPECT_TRUE(::CopyFileA(path.c_str(), (path + ".copy").c_str(), FALSE));
        EXPECT_EQ(octest::ReadBinaryFile(path), octest::ReadBinaryFile(path + ".copy"));
    }
    // The cabinet's hold ends with its unpacking.
    EXPECT_TRUE(::DeleteFileA(folder.cabinetPath.c_str()));

    selector.ReleaseHeldFile((folder.country + "\\A.DLL").c_str());
    EXPECT_TRUE(::DeleteFileA((folder.country + "\\a.dll").c_str()));
    EXPECT_FALSE(::DeleteFileA((folder.country + "\\readme.txt").c_str()));
    selector.ReleaseHeldFiles();
    EXPECT_TRUE(::DeleteFileA((folder.country + "\\readme.txt").c_str()));
    EXPECT_TRUE(::DeleteFileA((folder.country + "\\x32\\helper.dll").c_str()));
}

TEST(PackageHeldFiles, HoldIsRefusedForContentOtherThanWritten) {
    TempDir dir("held");
    const std::string path = dir / "file.dll";
    ASSERT_TRUE(octest::WriteBinaryFile(path, "content as written"));
    tw::CSha256::Digest written = {}, other = {};
    {
        tw::CSha256 hash;
        ASSERT_TRUE(hash.Update("content as written", 18));
        ASSERT_TRUE(hash.Finish(written));
        tw::CSha256 swapped;
        ASSERT_TRUE(swapped.Update("content swapped in", 18));
        ASSERT_TRUE(swapped.Finish(other));
    }
    tw::CHeldFiles holds;
    EXPECT_FALSE(holds.Hold(path, other));
    EXPECT_EQ(0u, holds.Count());
    EXPECT_TRUE(::DeleteFileA(path.c_str())) << "a refused hold keeps nothing open";
    ASSERT_TRUE(octest::WriteBinaryFile(path, "content as written"));
    EXPECT_TRUE(holds.Hold(path, written));
    EXPECT_TRUE(holds.IsHeld(path.c_str()));
    EXPECT_FALSE(::DeleteFileA(path.c_str()));
    holds.ReleaseAll();
    EXPECT_TRUE(::DeleteFileA(path.c_str()));
}

TEST(PackageHeldFiles, VersionResourceOfAHeldFileCanBeRead) {
    TempDir dir("heldver");
    const std::string source = twtest::BinaryPath("tests\\fixtures\\versionexes\\ver28.exe");
    ASSERT_TRUE(twtest::FileExists(source)) << source;
    const std::string path = dir / "ver28.exe";
    ASSERT_TRUE(::CopyFileA(source.c_str(), path.c_str(), FALSE));
    tw::CSha256::Digest digest = {};
    {
        tw::FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(tw::CSha256::OfFile(file.Get(), digest));
    }
    tw::CHeldFiles holds;
    ASSERT_TRUE(holds.Hold(path, digest));
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    EXPECT_TRUE(::GetFileVersionInfoA(path.c_str(), 0, size, info.data()));
    EXPECT_TRUE(::CopyFileA(path.c_str(), (dir / "copy.exe").c_str(), FALSE));
}

}  // namespace
