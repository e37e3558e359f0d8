// Copying the release's files back from an unpacked package: the version rule, common files,
// the folder layout switch, hostile manifest items, whole replacement and the search for a
// process that holds a destination.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cwchar>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "OffCycleTestSupport.h"
#include "UlipTestSupport.h"
#include "common/StandIn.h"
#include "common/TestSupport.h"
#include "common/TrackingRecorder.h"
#include "offcycle/ulip/UlipCopyBackPlan.h"
#include "offcycle/ulip/UlipPathRules.h"

using octest::CountLines;
using octest::Item;
using octest::OffCycleManifest;
using octest::ReadBinaryFile;
using octest::UlipSelector;
using octest::VersionExe;
using tw::CUlipPathRules;
using twtest::FileExists;
using twtest::MakeDirs;
using twtest::TempDir;
using twtest::WriteTextFile;

namespace {

TEST(UlipPathRulesTest, FileTextsThatStayInsideTheirFolder) {
    const char* safe[] = {"a.dll", "bin\\a.dll", "bin\\sub\\a.dll.r5", "con1.dll", "comx.dll", "com10.dll",
                          "a..b.dll", ".hidden", "nul_x\\y"};
    const char* refused[] = {"",          "..\\a.dll",  "bin\\..\\..\\a.dll", "..",        "\\a.dll",
                             "\\\\srv\\x", "C:\\a.dll", "c:a.dll",            "a:b.dll",   "bin/a.dll",
                             "/a.dll",    "bin\\",      "bin\\\\a.dll",       ".\\a.dll",  "bin\\...\\a",
                             "CON",       "con.dll",    "bin\\NUL.txt",       "aux\\a.dll", "Prn.x.y",
                             "COM1.dll",  "lpt9",       "com1 .dll",          "a*.dll",    "a?.dll",
                             "a\x01.dll", "a|b",        "a\"b",               "a<b",       ". \\a",
                             "lpt0.txt",  "COM0"};
    for (const char* text : safe) EXPECT_TRUE(CUlipPathRules::IsSafeRelativePath(text)) << text;
    for (const char* text : refused) EXPECT_FALSE(CUlipPathRules::IsSafeRelativePath(text)) << text;

    EXPECT_TRUE(CUlipPathRules::IsInsideFolder("C:\\Base", "C:\\Base\\a\\b.dll"));
    EXPECT_TRUE(CUlipPathRules::IsInsideFolder("C:\\Base\\", "c:\\base\\a.dll"));
    EXPECT_FALSE(CUlipPathRules::IsInsideFolder("C:\\Base", "C:\\Base"));
    EXPECT_FALSE(CUlipPathRules::IsInsideFolder("C:\\Base", "C:\\BaseX\\a.dll"));
    EXPECT_FALSE(CUlipPathRules::IsInsideFolder("C:\\Base", "C:\\Base\\..\\a.dll"));

    struct Cut {
        const char* text;
        const char* after;
    } cuts[] = {{"bin\\a.dll.r5", "bin\\a.dll"}, {"a.dll", "a"}, {"sub.d\\tool", "sub.d\\tool"}, {"tool", "tool"}};
    for (const auto& c : cuts) {
        std::string text = c.text;
        EXPECT_EQ(std::string(c.text) != c.after, CUlipPathRules::CutExtension(text)) << c.text;
        EXPECT_EQ(c.after, text);
    }
}

class UlipCopyBackTest : public ::testing::Test {
protected:
    void SetUp() override {
        octest::LetErrorMessagesThrough();
        octest::Lines().clear();
        selector.SetLogger(octest::RecordLine);
        ASSERT_TRUE(MakeDirs(install) && MakeDirs(country + "x32") && MakeDirs(target));
        ASSERT_TRUE(::CopyFileA(VersionExe("ulipv33_4005").c_str(), (install + "\\TWW.EXE").c_str(), FALSE));
        char folder[MAX_PATH] = {};
        ASSERT_TRUE(SUCCEEDED(::SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES_COMMON, nullptr, 0, folder)));
        productCommon = std::string(folder) + "\\Veltra\\Tallyworks";
        productCommonExisted = FileExists(productCommon);
        sub = "ulipt-" + std::to_string(::GetCurrentProcessId());
        commonFolder = productCommon + "\\" + sub;
        ASSERT_TRUE(MakeDirs(commonFolder));
    }
    void TearDown() override {
        // The lines of a failed case, to tell which step it stopped at.
        if (HasFailure())
            for (const auto& line : octest::Lines()) std::printf("  log: %s\n", line.c_str());
        twtest::RemoveTree(commonFolder);
        if (!productCommonExisted) {
            ::RemoveDirectoryA(productCommon.c_str());
            ::RemoveDirectoryA(productCommon.substr(0, productCommon.find_last_of('\\')).c_str());
        }
    }

    // A copy of a version stand-in with a marker appended (the version resource still reads).
    static void Place(const std::string& path, const char* exe, const std::string& marker) {
        ASSERT_TRUE(::CopyFileA(VersionExe(exe).c_str(), path.c_str(), FALSE)) << path;
        std::string bytes = ReadBinaryFile(path) + marker;
        ASSERT_TRUE(octest::WriteBinaryFile(path, bytes));
    }
    static bool EndsWith(const std::string& path, const std::string& marker) {
        const std::string bytes = ReadBinaryFile(path);
        return bytes.size() >= marker.size() && bytes.compare(bytes.size() - marker.size(), marker.size(), marker) == 0;
    }
    void Manifest(const std::string& items) { ASSERT_TRUE(WriteTextFile(country + "r5.xml", OffCycleManifest(items))); }
    void UlipIni(const std::string& text) { ASSERT_TRUE(WriteTextFile(target + "ULIP.ini", text)); }
    HRESULT Run(bool holdBackups = true) {
        // What lies in the country folder is what this run unpacked, unless a case says otherwise.
        if (holdBackups) selector.HoldAsUnpacked(country);
        return selector.CopyOriginalFiles(install.c_str(), country.c_str(), "r5", (dir.Path() + "\\common\\").c_str());
    }

    twtest::TrackingRecorder sender;
    UlipSelector selector;
    TempDir dir{"ulipcopy"};
    const std::string install = dir / "install";
    const std::string country = dir / "roaming\\Tallyworks\\33\\r5\\in\\";
    const std::string target = dir / "common\\Components\\DownloadTW33\\ULIP0\\.update\\.target\\";
    std::string productCommon, sub, commonFolder;
    bool productCommonExisted = false;
};

TEST_F(UlipCopyBackTest, CommonFilesAreReplacedOnlyAtTheSameVersion) {
    UlipIni("[ULIPApplicability]\nEnableFolderSupport=R4,R5\nR5=listed.dll\n");
    struct Case {
        const char* name;
        const char* base;
        const char* backupExe;
        bool replaced;
    } cases[] = {
        {"same.dll", "CommonAppDataFolder", "ulipv33_4005", true},
        {"third.dll", "CommonAppDataFolder", "ulipv33_4006", false},
        {"first.dll", "CommonAppDataFolder", "ulipv34_4005", false},
        {"listed.dll", "INSTALLDIR", "ulipv33_4005", true},  // common through ULIP.ini
    };
    std::string items;
    for (const auto& c : cases) {
        items += Item("F", sub + "\\" + c.name, c.base);
        Place(country + c.name, c.backupExe, "BACKUP");
        Place(commonFolder + "\\" + c.name, "ulipv33_4005", "INSTALLED");
    }
    Manifest(items);
    ASSERT_EQ(S_OK, Run());
    EXPECT_TRUE(selector.FolderSupport());
    EXPECT_EQ(1u, CountLines("IsULIPNewFolderCodeEnabled(): ULIP code to support new folder structure is enabled"));
    EXPECT_EQ(1u, CountLines("Found Common file(listed.dll) from ULIP.ini file.\n"));
    for (const auto& c : cases) {
        const std::string installed = commonFolder + "\\" + c.name;
        EXPECT_TRUE(EndsWith(installed, c.replaced ? "BACKUP" : "INSTALLED")) << c.name;
        EXPECT_FALSE(FileExists(country + c.name)) << c.name;  // used or not needed: gone
        EXPECT_EQ(1u, CountLines("pathSourceDLL:" + country + c.name + ", pathDestDLL:" + installed)) << c.name;
    }
    EXPECT_EQ(1u, CountLines("dwFileMajorverSource:33, dwFileMinorverSource:4006, dwFileMajorverDest:33, "
                             "dwFileMinorverDest:4005"));
    EXPECT_EQ(1u, CountLines("Delete: " + country + "third.dll. Status: 1"));
    EXPECT_EQ(4u, CountLines("ULIP logic for common files..."));
    EXPECT_FALSE(FileExists(install + "\\" + sub));  // the listed file did not go to the install folder
    EXPECT_EQ("ULIP logic completed.", octest::Lines().back());
}

TEST_F(UlipCopyBackTest, InstallFolderFilesAndTheExtensionFallback) {
    // No ULIP.ini: folder support stays off, only INSTALLDIR items are taken.
    ASSERT_TRUE(MakeDirs(install + "\\bin"));
    Place(install + "\\bin\\tool.dll", "ulipv33_4006", "INSTALLED");
    Place(country + "tool.dll", "ulipv33_4005", "BACKUP");  // only without the release tag
    Place(country + "plain.dat", "ulipv33_4005", "BACKUP");
    Place(install + "\\plain.dat", "ulipv33_4005", "INSTALLED");
    Place(country + "absent.dll", "ulipv33_4005", "BACKUP");  // its destination is not installed
    Place(country + "data.dll", "ulipv33_4005", "BACKUP");
    Place(country + "x32\\data32.dll", "ulipv33_4005", "BACKUP");
    // Only the part after the last backslash loses its extension: "sub.d\tool" has none.
    Place(country + "sub", "ulipv33_4005", "BACKUP");
    Place(install + "\\sub", "ulipv33_4005", "INSTALLED");
    Manifest(Item("F", "bin\\tool.dll.r5") + Item("F", "plain.dat") + Item("F", "absent.dll") +
             Item("F", "data.dll", "CommonAppDataFolder") + Item("F", "data32.dll", "INSTALLDIR32BIT") +
             Item("F", "sub.d\\tool"));
    ASSERT_EQ(S_OK, Run());
    EXPECT_FALSE(selector.FolderSupport());
    EXPECT_EQ(1u, CountLines("ULIP.ini was not found during ULIP Installation\n"));
    EXPECT_TRUE(EndsWith(install + "\\bin\\tool.dll", "BACKUP"));
    EXPECT_FALSE(FileExists(install + "\\bin\\tool.dll.r5"));
    EXPECT_EQ(1u, CountLines("Backup file (after removing slipstream): " + country + "tool.dll"));
    EXPECT_TRUE(EndsWith(install + "\\plain.dat", "BACKUP"));
    EXPECT_FALSE(FileExists(install + "\\absent.dll"));
    EXPECT_EQ(1u, sender.Count("Patch: Copy failed for absent.dll with GetLastError: 0"));
    EXPECT_TRUE(FileExists(country + "absent.dll"));
    EXPECT_EQ(0u, CountLines("Processing: data.dll"));
    EXPECT_EQ(0u, CountLines("Processing: data32.dll"));
    EXPECT_EQ(1u, CountLines("Processing: sub.d\\tool"));
    EXPECT_TRUE(EndsWith(install + "\\sub", "INSTALLED"));
    EXPECT_TRUE(FileExists(country + "sub"));
    EXPECT_EQ(1u, CountLines("Copy: " + country + "plain.dat => " + install +
                             "\\plain.dat. Status= 1 with "
                             "GetLastError: 0"));
    EXPECT_EQ(1u, CountLines("Delete: " + country + "plain.dat. Status: 1 with GetLastError: 0"));
}

TEST_F(UlipCopyBackTest, FolderSupportNeedsTheExactReleaseKey) {
    Place(country + "data.dll", "ulipv33_4005", "BACKUP");
    Place(commonFolder + "\\data.dll", "ulipv33_4005", "INSTALLED");
    Manifest(Item("F", sub + "\\data.dll", "CommonAppDataFolder"));
    UlipIni("[ULIPApplicability]\nEnableFolderSupport=r5,R50, R5\n");
    ASSERT_EQ(S_OK, Run());
    EXPECT_FALSE(selector.FolderSupport());
    EXPECT_EQ(0u, CountLines("Processing:"));
    EXPECT_TRUE(EndsWith(commonFolder + "\\data.dll", "INSTALLED"));

    // A long list is read whole: the key at its end still counts.
    std::string list;
    for (int i = 0; i < 400; ++i) list += "R" + std::to_string(100 + i) + ",";
    UlipIni("[ULIPApplicability]\nEnableFolderSupport=" + list + "R5\n");
    octest::Lines().clear();
    ASSERT_EQ(S_OK, Run());
    EXPECT_TRUE(selector.FolderSupport());
    EXPECT_TRUE(EndsWith(commonFolder + "\\data.dll", "BACKUP"));
}

TEST_F(UlipCopyBackTest, HostileFileTextsChangeNothingOutsideTheFolders) {
    UlipIni("[ULIPApplicability]\nEnableFolderSupport=R5\n");
    // Every backup the texts could name is there, and so is every file they could reach.
    Place(country + "outside.dll", "ulipv33_4005", "BACKUP");
    Place(country + "x32\\outside.dll", "ulipv33_4005", "BACKUP");
    Place(dir / "outside.dll", "ulipv33_4005", "ORIGINAL");
    Place(dir / "roaming\\outside.dll", "ulipv33_4005", "ORIGINAL");
    const std::string absolute = dir / "outside.dll";
    const std::vector<std::string> texts = {"..\\outside.dll",
                                            "bin\\..\\..\\outside.dll",
                                            absolute,
                                            absolute.substr(2),  // rooted, no drive
                                            "C:outside.dll",
                                            "a:outside.dll",
                                            "x/../../outside.dll",
                                            "..\\" + sub + "\\..\\..\\outside.dll",
                                            "CON\\outside.dll",
                                            "lpt1.x\\outside.dll",
                                            "..\\..\\..\\..\\roaming\\outside.dll.r5"};
    std::string items;
    for (const auto& text : texts)
        for (const char* base : {"INSTALLDIR", "CommonAppDataFolder", "INSTALLDIR32BIT"})
            items += Item("F", text, base);
    // Device names (no file can carry them here, so no backup either).
    items += Item("F", "con") + Item("F", "NUL.dll.r5");
    Manifest(items);
    ASSERT_EQ(S_OK, Run());
    EXPECT_TRUE(EndsWith(dir / "outside.dll", "ORIGINAL"));
    EXPECT_TRUE(EndsWith(dir / "roaming\\outside.dll", "ORIGINAL"));
    EXPECT_TRUE(FileExists(country + "outside.dll"));
    EXPECT_TRUE(FileExists(country + "x32\\outside.dll"));
    EXPECT_EQ(texts.size() * 3 + 2, CountLines(" does not name a file inside its folder, skipped"));
    EXPECT_EQ(0u, CountLines("CopyAndDelete:"));
    EXPECT_EQ((std::vector<std::string>{"TWW.EXE"}), octest::ListFolder(install));
    EXPECT_TRUE(octest::ListFolder(commonFolder).empty());
}

TEST_F(UlipCopyBackTest, OverlongTextsAndPathsAreSkipped) {
    const std::string longName = std::string(255, 'n') + ".dll";  // 259 characters: fits
    const std::string tooLong = std::string(256, 'n') + ".dll";
    Manifest(Item("F", longName) + Item("F", tooLong));
    ASSERT_EQ(S_OK, Run());
    EXPECT_EQ(1u, CountLines("Processing: " + longName));
    EXPECT_EQ(1u, CountLines("has no name of at most 259 characters in the ANSI code page, skipped"));
    // A backup folder of more than 259 characters ends the copy-back.
    octest::Lines().clear();
    const std::string deep = std::string(300, 'd');
    EXPECT_EQ(E_FAIL, selector.CopyOriginalFiles(install.c_str(), (country + deep).c_str(), "r5",
                                                 (dir.Path() + "\\common\\").c_str()));
}

TEST_F(UlipCopyBackTest, CopyReplacesTheInstalledFileWhole) {
    const std::string installed = install + "\\whole.dat";
    ASSERT_TRUE(WriteTextFile(installed, "INSTALLED CONTENT"));
    ASSERT_TRUE(WriteTextFile(country + "whole.dat", "NEW"));
    {
        // A reader that has the installed file open (sharing everything) keeps reading the
        // file it opened: the new content arrives as a new file, never written into it.
        tw::FileHandle reader(::CreateFileA(installed.c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(reader);
        EXPECT_TRUE(selector.CopyAndDelete((country + "whole.dat").c_str(), installed.c_str()));
        char buffer[64] = {};
        DWORD read = 0;
        ASSERT_TRUE(::ReadFile(reader.Get(), buffer, sizeof(buffer) - 1, &read, nullptr));
        EXPECT_EQ("INSTALLED CONTENT", std::string(buffer, read));
    }
    EXPECT_EQ("NEW", twtest::ReadTextFile(installed));
    EXPECT_FALSE(FileExists(country + "whole.dat"));

    // Held without sharing: the copy fails, the installed file and its folder are as they were.
    ASSERT_TRUE(WriteTextFile(country + "whole.dat", "NEWER"));
    {
        tw::FileHandle held(::CreateFileA(installed.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        octest::Lines().clear();
        EXPECT_FALSE(selector.CopyAndDelete((country + "whole.dat").c_str(), installed.c_str()));
    }
    EXPECT_EQ("NEW", twtest::ReadTextFile(installed));
    EXPECT_EQ((std::vector<std::string>{"TWW.EXE", "whole.dat"}), octest::ListFolder(install));
    EXPECT_TRUE(FileExists(country + "whole.dat"));
    EXPECT_EQ(1u, CountLines("Copy: " + country + "whole.dat => " + installed + ". Status= 0 with GetLastError: 32"));
    EXPECT_EQ(1u, sender.Count("Patch: Copy failed for whole.dat with GetLastError: 32"));
}

TEST_F(UlipCopyBackTest, BackupsThatCannotBeDeletedWaitForTheRestart) {
    octest::PendingRenamesGuard renames;
    ASSERT_TRUE(WriteTextFile(install + "\\kept.dat", "old"));
    ASSERT_TRUE(WriteTextFile(country + "kept.dat", "new"));
    ASSERT_TRUE(WriteTextFile(country + "spare.dat", "x"));
    {
        tw::FileHandle held(::CreateFileA((country + "kept.dat").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
        tw::FileHandle held2(::CreateFileA((country + "spare.dat").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
        EXPECT_TRUE(selector.CopyAndDelete((country + "kept.dat").c_str(), (install + "\\kept.dat").c_str()));
        selector.DeleteBackupFile((country + "spare.dat").c_str());
    }
    EXPECT_EQ("new", twtest::ReadTextFile(install + "\\kept.dat"));
    EXPECT_EQ(1u, CountLines("Delete: " + country + "kept.dat. Status: 0 with GetLastError: 32"));
    EXPECT_EQ(1u, sender.Count("Patch: Delete failed for kept.dat with GetLastError: 32"));
    EXPECT_EQ(1u, CountLines(country + "kept.dat will be deleted after system reboot with Status: 1 ,GetLastError: 0"));
    EXPECT_EQ(1u, CountLines("Delete: " + country + "spare.dat. Status: 0"));
    EXPECT_EQ(1u, CountLines(country + "spare.dat will be deleted after system reboot"));
    const std::string pending = octest::PendingRenamesGuard::Current();
    EXPECT_NE(std::string::npos, pending.find("kept.dat")) << pending;
    EXPECT_NE(std::string::npos, pending.find("spare.dat")) << pending;
}

TEST_F(UlipCopyBackTest, HeldDestinationNamesTheProcessThatHasItLoaded) {
    ASSERT_TRUE(MakeDirs(install + "\\bin"));
    const std::string library = install + "\\bin\\held.dll";
    ASSERT_TRUE(
        ::CopyFileA(twtest::BinaryPath("tests\\fixtures\\versionexes\\ulipheld.dll").c_str(), library.c_str(), FALSE));
    Place(country + "held.dll", "ulipv33_4005", "BACKUP");
    Place(country + "next.dat", "ulipv33_4005", "BACKUP");
    Place(install + "\\next.dat", "ulipv33_4005", "INSTALLED");
    Manifest(Item("A", "bin\\held.dll") + Item("B", "next.dat"));
    // The package names the product's processes in capitals.
    ASSERT_TRUE(
        WriteTextFile(country + "KillProcesses.xml", OffCycleManifest(Item("P", "TWW.EXE") + Item("Q", "Other.exe"))));
    selector.LoadProcessList((country + "KillProcesses.xml").c_str());
    EXPECT_EQ((std::list<std::string>{"tww.exe", "other.exe"}), selector.ProcessNames());

    twtest::StandIn standIn;
    ASSERT_TRUE(standIn.Start(twtest::StandInExe(), "/load " + library + " /lock " + library));
    // Asked in another letter case, the loaded module is found.
    std::string upper = library;
    for (char& c : upper) c = static_cast<char>(::toupper(static_cast<unsigned char>(c)));
    EXPECT_TRUE(selector.IsModuleLoadedInProcess(standIn.Id(), upper.c_str()));
    EXPECT_FALSE(selector.IsModuleLoadedInProcess(standIn.Id(), (install + "\\next.dat").c_str()));
    octest::Lines().clear();
    sender.messages.clear();

    ASSERT_EQ(S_OK, Run());
    const std::string reported =
        "Patch: Dll - " + library + ", loaded in process with id-" + std::to_string(standIn.Id()) + ", and path - ";
    EXPECT_EQ(1u, CountLines(reported));
    EXPECT_EQ(1u, sender.Count(reported));
    const auto lines = octest::LinesStartingWith(reported);
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(0, ::_stricmp(lines[0].substr(reported.size()).c_str(), (twtest::StandInExe() + ".").c_str()))
        << lines[0];
    EXPECT_EQ(1u, sender.Count("Patch: Copy failed for held.dll with GetLastError: "));
    EXPECT_TRUE(FileExists(country + "held.dll"));
    // The walk went on.
    EXPECT_TRUE(EndsWith(install + "\\next.dat", "BACKUP"));
}

TEST_F(UlipCopyBackTest, ProcessListAndSearchWithoutMatches) {
    // No list: the names stay empty and the search returns at once.
    selector.LoadProcessList((country + "KillProcesses.xml").c_str());
    EXPECT_TRUE(selector.ProcessNames().empty());
    selector.RetrieveProcessWithLoadedModule((install + "\\TWW.EXE").c_str());
    EXPECT_TRUE(octest::Lines().empty());
    // A broken list adds nothing; names accumulate over reads.
    ASSERT_TRUE(WriteTextFile(country + "broken.xml", "<manifest><item>"));
    selector.LoadProcessList((country + "broken.xml").c_str());
    EXPECT_TRUE(selector.ProcessNames().empty());
    ASSERT_TRUE(WriteTextFile(country + "KillProcesses.xml", OffCycleManifest(Item("P", "Tww.exe"))));
    selector.LoadProcessList((country + "KillProcesses.xml").c_str());
    selector.LoadProcessList((country + "KillProcesses.xml").c_str());
    EXPECT_EQ((std::list<std::string>{"tww.exe", "tww.exe"}), selector.ProcessNames());
    // This process is not in the list: nothing is reported for its own module.
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH - 1);
    selector.RetrieveProcessWithLoadedModule(self);
    EXPECT_EQ(0u, CountLines("Patch: Dll - "));
    // The own process does list its own executable.
    EXPECT_TRUE(selector.IsModuleLoadedInProcess(::GetCurrentProcessId(), self));
    EXPECT_FALSE(selector.IsModuleLoadedInProcess(0xFFFFFFF0u, self));

    // A privilege the token holds can be switched; an unknown one cannot.
    tw::KernelHandle token;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.Put()));
    EXPECT_FALSE(UlipSelector::SetPrivilege(token.Get(), "SeNoSuchPrivilege", true));
}

TEST_F(UlipCopyBackTest, WithoutAReaderNothingIsParsed) {
    ASSERT_TRUE(WriteTextFile(country + "KillProcesses.xml", OffCycleManifest(Item("P", "tww.exe"))));
    Manifest(Item("F", "plain.dat"));
    // A thread already in the multithreaded apartment gets no reader.
    HRESULT result = S_OK;
    size_t names = 99;
    std::thread worker([&] {
        HRESULT init = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        {
            UlipSelector mta;
            mta.SetLogger(octest::RecordLine);
            mta.LoadProcessList((country + "KillProcesses.xml").c_str());
            names = mta.ProcessNames().size();
            result = mta.CopyOriginalFiles(install.c_str(), country.c_str(), "r5", (dir.Path() + "\\common\\").c_str());
        }
        if (SUCCEEDED(init)) ::CoUninitialize();
    });
    worker.join();
    EXPECT_EQ(0u, names);
    EXPECT_EQ(E_FAIL, result);
    EXPECT_EQ(1u, CountLines("Patch: Failed while loading manifest file  :  " + country + "r5.xml"));
}

TEST_F(UlipCopyBackTest, ThirtyTwoBitCommonItemsGoOnlyToTheThirtyTwoBitFolder) {
    // The 32-bit item names the 32-bit common program folder, where nothing is installed: it
    // is not created there, nor anywhere relative to the current folder.
    UlipIni("[ULIPApplicability]\nEnableFolderSupport=R5\n");
    Place(country + "x32\\lib32.dll", "ulipv33_4005", "BACKUP");
    Place(commonFolder + "\\lib32.dll", "ulipv33_4005", "INSTALLED");  // the 64-bit folder is not used
    Manifest(Item("F", sub + "\\lib32.dll", "CommonAppDataFolder32Bit"));
    char current[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, current);
    ASSERT_EQ(S_OK, Run());
    EXPECT_EQ(1u, CountLines("Trying backup file: " + country + "x32\\lib32.dll"));
    EXPECT_EQ(1u, CountLines("Couldn't read the file version(s), continuing with the next file"));
    EXPECT_TRUE(EndsWith(commonFolder + "\\lib32.dll", "INSTALLED"));
    EXPECT_FALSE(FileExists(std::string(current) + "\\" + sub + "\\lib32.dll"));
    EXPECT_TRUE(FileExists(country + "x32\\lib32.dll"));
}

}  // namespace

namespace {

TEST_F(UlipCopyBackTest, OnlyFilesUnpackedThisRunAreCopied) {
    Place(install + "\\a.dll", "ulipv33_4005", "INSTALLED");
    Place(install + "\\b.dll", "ulipv33_4005", "INSTALLED");
    Place(country + "a.dll", "ulipv33_4005", "RELEASE");
    Manifest(Item("A", "a.dll") + Item("B", "b.dll"));
    selector.HoldAsUnpacked(country);
    // Dropped into the folder after the unpacking: never held, so no backup at all.
    Place(country + "b.dll", "ulipv33_4005", "DROPPED");
    ASSERT_EQ(S_OK, Run(false));
    EXPECT_TRUE(EndsWith(install + "\\a.dll", "RELEASE"));
    EXPECT_TRUE(EndsWith(install + "\\b.dll", "INSTALLED"));
    EXPECT_EQ(1u, CountLines("Backup file (after removing slipstream): " + country + "b"));
    EXPECT_EQ(0u, CountLines("CopyAndDelete: " + country + "b.dll"));
    EXPECT_TRUE(FileExists(country + "b.dll"));
}

TEST_F(UlipCopyBackTest, EmptyPiecesOfTheReleaseValueAreNoCommonFiles) {
    for (const char* value : {"", "a.dll,", ",a.dll", "a.dll,,b.dll"}) {
        UlipIni(std::string("[ULIPApplicability]\nR5=") + value + "\n");
        octest::Lines().clear();
        std::set<std::string> common;
        selector.ReadULIPIni((install + "\\TWW.EXE").c_str(), target.c_str(), common);
        EXPECT_EQ(0u, common.count("")) << value;
        EXPECT_EQ(0u, CountLines("Found Common file() from ULIP.ini file.")) << value;
    }
}

// Files of the install folder left by a whole-file replacement: "twu….tmp" and "….old".
std::vector<std::string> Leftovers(const std::string& folder) {
    std::vector<std::string> left;
    for (const auto& name : octest::ListFolder(folder))
        if (name.compare(0, 3, "twu") == 0) left.push_back(name);
    return left;
}

TEST_F(UlipCopyBackTest, ReplacingALoadedLibraryKeepsOrDefersItsPreviousImage) {
    octest::PendingRenamesGuard renames;
    ASSERT_TRUE(MakeDirs(install + "\\bin"));
    const std::string library = install + "\\bin\\loaded.dll";
    ASSERT_TRUE(
        ::CopyFileA(twtest::BinaryPath("tests\\fixtures\\versionexes\\ulipheld.dll").c_str(), library.c_str(), FALSE));
    const std::string before = ReadBinaryFile(library);
    Place(country + "loaded.dll", "ulipv33_4005", "RELEASE");
    twtest::StandIn standIn;
    ASSERT_TRUE(standIn.Start(twtest::StandInExe(), "/load " + library));
    const bool copied = selector.CopyAndDelete((country + "loaded.dll").c_str(), library.c_str());
    if (copied) {
        EXPECT_TRUE(EndsWith(library, "RELEASE"));
    } else {
        EXPECT_EQ(before, ReadBinaryFile(library));
    }
    // A previous image that is still mapped stays only as registered for deletion at restart.
    const std::string pending = octest::PendingRenamesGuard::Current();
    std::printf("[ measured ] loaded library replaced: %d, previous images left: %u\n", copied ? 1 : 0,
                static_cast<unsigned>(Leftovers(install + "\\bin").size()));
    for (const auto& name : Leftovers(install + "\\bin")) {
        EXPECT_EQ(".old", name.substr(name.size() - 4)) << name;
        EXPECT_NE(std::string::npos, pending.find(name)) << name << " in " << pending;
        EXPECT_EQ(1u, CountLines("In COffCycleFileSelector::CopyAndDelete, " + install + "\\bin\\" + name +
                                 " could not be deleted"))
            << name;
    }
}

TEST_F(UlipCopyBackTest, FailedReplacementLeavesTheInstalledFileOrNamesItsCopy) {
    const std::string installed = install + "\\locked.dat";
    ASSERT_TRUE(WriteTextFile(installed, "INSTALLED"));
    ASSERT_TRUE(WriteTextFile(country + "locked.dat", "NEW"));
    {
        // Open without delete sharing: it can be neither renamed nor replaced.
        tw::FileHandle held(::CreateFileA(installed.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        DWORD error = 0;
        EXPECT_FALSE(selector.ReplaceWhole((country + "locked.dat").c_str(), installed.c_str(), error));
        EXPECT_NE(0u, error);
    }
    EXPECT_EQ("INSTALLED", twtest::ReadTextFile(installed));
    EXPECT_TRUE(Leftovers(install).empty());
}

TEST(UlipReplaceRecovery, TheInstalledFileIsNeverDeleted) {
    using tw::CCopyBackPlan;
    struct Case {
        bool destinationExists, previousExists;
        CCopyBackPlan::Recovery recovery;
    } cases[] = {
        {true, false, CCopyBackPlan::Recovery::Nothing},
        {false, false, CCopyBackPlan::Recovery::Nothing},
        // ERROR_UNABLE_TO_MOVE_REPLACEMENT_2: the installed file is only under the set-aside name.
        {false, true, CCopyBackPlan::Recovery::MoveBack},
        {true, true, CCopyBackPlan::Recovery::KeepPrevious},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.recovery, CCopyBackPlan::AfterFailedReplace(c.destinationExists, c.previousExists))
            << c.destinationExists << c.previousExists;
}

// The copy-back plan, decided from facts alone.
TEST(UlipCopyBackPlanTest, EachItemGetsItsActionAndLines) {
    using tw::CCopyBackPlan;
    using Action = CCopyBackPlan::Action;
    const std::string backups = "C:\\stage\\in\\";
    const std::set<std::string> verified = {backups + "a.dll", backups + "c.dll",   backups + "x32\\d.dll",
                                            backups + "e.dll", backups + "sub.dll", backups + "CON.dll"};
    const std::map<std::string, DWORD> thirds = {{backups + "c.dll", 4005},
                                                 {"C:\\common\\c.dll", 4005},
                                                 {backups + "x32\\d.dll", 4005},
                                                 {"C:\\common32\\d.dll", 4006}};
    CCopyBackPlan::Facts facts;
    facts.isVerifiedBackup = [&](const std::string& path) { return verified.count(path) != 0; };
    facts.version = [&](const std::string& path) {
        CCopyBackPlan::Version version;
        auto found = thirds.find(path);
        if (found == thirds.end()) {
            version.failure.push_back({true, "Patch: Failed while reading GetFileVersionInfoSize TWW32.exe :  2"});
            return version;
        }
        version.read = true;
        version.first = 33;
        version.third = found->second;
        return version;
    };
    struct Row {
        const wchar_t* file;
        const wchar_t* base;
        Action action;
        std::string backup, destination;
        std::vector<std::string> lines;  // each line begins with its text
    } rows[] = {
        {L"a.dll",
         L"INSTALLDIR",
         Action::Copy,
         backups + "a.dll",
         "C:\\install\\a.dll",
         {"Processing: a.dll", "Trying backup file: " + backups + "a.dll"}},
        // Not brought by the verified cabinet (a file dropped there is not in the set).
        {L"b.dll",
         L"INSTALLDIR",
         Action::NoBackup,
         backups + "b",
         "",
         {"Processing: b.dll", "Trying backup file: ", "File doesn't exist in backup folder.",
          "Backup file (after removing slipstream): " + backups + "b"}},
        {L"bin\\sub.dll.r5",
         L"INSTALLDIR",
         Action::Copy,
         backups + "sub.dll",
         "C:\\install\\bin\\sub.dll",
         {"Processing: bin\\sub.dll.r5", "Trying backup file: " + backups + "sub.dll.r5",
          "File doesn't exist in backup folder.", "Backup file (after removing slipstream): " + backups + "sub.dll"}},
        {L"c.dll",
         L"CommonAppDataFolder",
         Action::Copy,
         backups + "c.dll",
         "C:\\common\\c.dll",
         {"Processing: c.dll", "Trying backup file: ", "ULIP logic for common files...",
          "pathSourceDLL:" + backups + "c.dll, pathDestDLL:C:\\common\\c.dll",
          "dwFileMajorverSource:33, dwFileMinorverSource:4005, dwFileMajorverDest:33, dwFileMinorverDest:4005"}},
        {L"d.dll",
         L"CommonAppDataFolder32Bit",
         Action::KeepInstalled,
         backups + "x32\\d.dll",
         "C:\\common32\\d.dll",
         {"Processing: d.dll", "Trying backup file: " + backups + "x32\\d.dll", "ULIP logic for common files...",
          "pathSourceDLL:",
          "dwFileMajorverSource:33, dwFileMinorverSource:4005, dwFileMajorverDest:33, "
          "dwFileMinorverDest:4006"}},
        {L"e.dll",
         L"CommonAppDataFolder",
         Action::Skip,
         backups + "e.dll",
         "C:\\common\\e.dll",
         {"Processing: e.dll", "Trying backup file: ", "ULIP logic for common files...",
          "Patch: Failed while reading GetFileVersionInfoSize TWW32.exe :  2",
          "Couldn't read the file version(s), continuing with the next file"}},
        {L"..\\a.dll",
         L"INSTALLDIR",
         Action::Skip,
         "",
         "",
         {"Processing: ..\\a.dll", "In COffCycleFileSelector::CopyOriginalFiles, ..\\a.dll does not name a file"}},
        {L"f.dll", L"OtherBase", Action::Skip, "", "", {}},
    };
    for (const Row& row : rows) {
        tw::Manifest::ManifestTable manifest;
        std::unique_ptr<tw::Manifest::ManifestItem> item(new tw::Manifest::ManifestItem());
        item->file = row.file;
        item->base = row.base;
        manifest.items.emplace(L"F", std::move(item));
        CCopyBackPlan::Inputs inputs;
        inputs.manifest = &manifest;
        inputs.backupFolder = backups;
        inputs.installDir = "C:\\install";
        inputs.commonFolder = "C:\\common\\";
        inputs.commonFolder32 = "C:\\common32\\";
        inputs.folderSupport = true;
        const std::set<std::string> common;
        inputs.commonFiles = &common;
        const auto plan = CCopyBackPlan::Make(inputs, facts);
        ASSERT_EQ(1u, plan.size());
        const auto& step = plan[0];
        SCOPED_TRACE(std::string(row.file, row.file + wcslen(row.file)));
        EXPECT_EQ(row.action, step.action);
        EXPECT_EQ(row.backup, step.backup);
        if (row.action != Action::Skip && row.action != Action::NoBackup) {
            EXPECT_EQ(row.destination, step.destination);
        }
        ASSERT_EQ(row.lines.size(), step.lines.size());
        for (size_t i = 0; i < row.lines.size(); ++i)
            EXPECT_EQ(0u, step.lines[i].text.compare(0, row.lines[i].size(), row.lines[i])) << step.lines[i].text;
    }
}

}  // namespace
