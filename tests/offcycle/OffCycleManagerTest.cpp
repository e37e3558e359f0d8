#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <set>
#include <utility>
#include <string>
#include <vector>

#include "OffCycleTestSupport.h"
#include "common/Handles.h"
#include "common/TestSupport.h"
#include "logging/StatusLogMgr.h"
#include "offcycle/OffCycleManager.h"

using octest::CountLines;
using octest::Item;
using octest::ListFolder;
using octest::OffCycleManifest;
using octest::ReadBinaryFile;
using octest::WriteBinaryFile;
using tw::COffCycleManager;
using twtest::FileExists;
using twtest::MakeDirs;
using twtest::TempDir;
using twtest::WriteTextFile;

namespace {

const char kSaving[] = "In COffCycleManager::SaveOffCycleFiles, Saving file ";

class ManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        octest::Lines().clear();
        tw::StatusLogMgr::RenameLogFile(logDir.Path().c_str());
        manager.SetLogger(octest::RecordLine);
        manifests = product.Path() + "\\Components\\Manifest\\OffCycle";
        ASSERT_TRUE(MakeDirs(manifests));
        ASSERT_TRUE(MakeDirs(product / "bin"));
        ASSERT_TRUE(MakeDirs(common / "data"));
        for (const auto& f : installFiles) ASSERT_TRUE(WriteBinaryFile(product / f, "off-cycle " + f));
        ASSERT_TRUE(WriteBinaryFile(common / "data\\c.dat", "off-cycle common"));
        std::string items = Item("Core", "bin\\a.dll") + Item("Core", "bin\\b.dll") + Item("Reports", "report.dll") +
                            Item("Reports", "bin\\a.dll") + Item("Data", "data\\c.dat", "CommonAppDataFolder") +
                            Item("Core", "bin\\notinstalled.dll") + Item("", "bin\\nofeature.dll");
        ASSERT_TRUE(WriteTextFile(manifests + "\\offcycle.xml", OffCycleManifest(items)));
    }

    HRESULT Save(const std::set<std::string>& features) {
        return manager.SaveOffCycleFiles(features, manifests.c_str(), product.Path().c_str(), common.Path().c_str());
    }

    void Patch() {
        for (const auto& f : installFiles) WriteBinaryFile(product / f, "patched");
        WriteBinaryFile(common / "data\\c.dat", "patched");
        WriteBinaryFile(product / "bin\\nofeature.dll", "patched");
    }

    const std::vector<std::string> installFiles = {"bin\\a.dll", "bin\\b.dll", "report.dll", "bin\\nofeature.dll"};
    COffCycleManager manager{false};
    twtest::SeamGuard guard;
    TempDir product{"product"};
    TempDir common{"common"};
    TempDir logDir{"managerlog"};
    std::string manifests;
};

TEST_F(ManagerTest, SavesAndRestoresTheFilesOfTheFeatures) {
    ASSERT_EQ(S_OK, Save({"Reports", "Core", "Data", "Nobody"}));
    EXPECT_EQ(1u, CountLines("In COffCycleManager::SaveOffCycleFiles, successfully opened manifest files in "
                             "directory: " +
                             manifests));
    // bin\a.dll is listed under two features: saved once, the second time a duplicate.
    EXPECT_EQ(1u, CountLines("Duplicate file, not saved  file " + (product / "bin\\a.dll")));
    EXPECT_EQ(1u, CountLines("file or path not found.   file " + (product / "bin\\notinstalled.dll")));
    EXPECT_EQ(6u, CountLines(kSaving));
    EXPECT_EQ(1u, CountLines(std::string(kSaving) + (product / "report.dll") + " for feature Reports "));
    EXPECT_EQ(1u, CountLines(std::string(kSaving) + (common / "data\\c.dat") + " for feature Data "));
    EXPECT_EQ(0u, CountLines("nofeature"));

    Patch();
    bool restart = false;
    EXPECT_EQ(0, manager.RestoreAllFiles(&restart));
    EXPECT_FALSE(restart);
    EXPECT_EQ("off-cycle bin\\a.dll", ReadBinaryFile(product / "bin\\a.dll"));
    EXPECT_EQ("off-cycle bin\\b.dll", ReadBinaryFile(product / "bin\\b.dll"));
    EXPECT_EQ("off-cycle report.dll", ReadBinaryFile(product / "report.dll"));
    EXPECT_EQ("off-cycle common", ReadBinaryFile(common / "data\\c.dat"));
    EXPECT_EQ("patched", ReadBinaryFile(product / "bin\\nofeature.dll"));
    EXPECT_FALSE(FileExists(product / "bin\\notinstalled.dll"));
    for (const auto& name : ListFolder(product / "bin")) EXPECT_EQ(std::string::npos, name.find("._OC"));
}

TEST_F(ManagerTest, AllSavesEveryFileWhoseItemNamesAFeature) {
    ASSERT_EQ(S_OK, Save({"all"}));
    EXPECT_EQ(4u, CountLines("File saved  file "));
    EXPECT_EQ(1u, CountLines("Duplicate file"));
    EXPECT_EQ(0u, CountLines("nofeature"));
}

TEST_F(ManagerTest, FeatureNoManifestNamesSavesNothing) {
    ASSERT_EQ(S_OK, Save({"Unknown"}));
    EXPECT_EQ(0u, CountLines(kSaving));
    bool restart = false;
    EXPECT_EQ(0, manager.RestoreAllFiles(&restart));
    EXPECT_EQ(0, manager.RestoreAllFiles(nullptr));
}

TEST_F(ManagerTest, MissingManifestFolderIsNoFailure) {
    manifests = product / "no\\such\\folder";
    ASSERT_EQ(S_OK, Save({"Core"}));
    EXPECT_EQ(0u, CountLines(kSaving));
    EXPECT_EQ(1u, CountLines("successfully opened manifest files in directory: " + manifests));
}

TEST_F(ManagerTest, ProgramFolderEveryCallManifestFolderOnce) {
    ASSERT_EQ(S_OK, Save({"Core"}));
    ASSERT_EQ(S_OK, Save({"Core"}));
    char programPath[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, programPath, MAX_PATH);
    std::string programFolder(programPath, strrchr(programPath, '\\'));
    EXPECT_EQ(2u, CountLines("looking for manifest files: " + programFolder + "\\*.xml"));
    EXPECT_EQ(1u, CountLines("looking for manifest files: " + manifests + "\\*.xml"));
    EXPECT_EQ(2u, CountLines("successfully opened manifest files in directory: " + manifests));
    // The second call finds the installed files already saved.
    EXPECT_EQ(2u, CountLines("Duplicate file"));
    // Another folder is loaded; its items add to the selection.
    std::string second = product / "second";
    ASSERT_TRUE(MakeDirs(second));
    ASSERT_TRUE(WriteTextFile(second + "\\more.xml", OffCycleManifest(Item("Extra", "report.dll"))));
    manifests = second;
    ASSERT_EQ(S_OK, Save({"Extra"}));
    EXPECT_EQ(1u, CountLines("looking for manifest files: " + second + "\\*.xml"));
    EXPECT_EQ(2u, CountLines("Duplicate file"));
    EXPECT_EQ(1u, CountLines(std::string(kSaving) + (product / "report.dll") + " for feature Extra "));
}

TEST_F(ManagerTest, FailingFileIsReportedAndTheOthersAreStillSaved) {
    // Core lists bin\a.dll, bin\b.dll, ...: b cannot be read when the save runs.
    tw::FileHandle lock(
        CreateFileA((product / "bin\\b.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock.IsValid());
    EXPECT_EQ(E_FAIL, Save({"Core", "Reports"}));
    lock.Reset();
    EXPECT_EQ(1u, CountLines("In COffCycleManager::SaveOffCycleFiles, Failed to save file " + (product / "bin\\b.dll") +
                             " for feature Core "));
    EXPECT_EQ(1u, CountLines(std::string(kSaving) + (product / "bin\\a.dll") + " for feature Core "));
    // The files after the failure are saved all the same.
    EXPECT_EQ(1u, CountLines("file or path not found.   file " + (product / "bin\\notinstalled.dll")));
    EXPECT_EQ(1u, CountLines(std::string(kSaving) + (product / "report.dll") + " for feature Reports "));

    // The installer restores after a failed save: every saved file is back.
    Patch();
    bool restart = false;
    EXPECT_EQ(0, manager.RestoreAllFiles(&restart));
    EXPECT_EQ("off-cycle bin\\a.dll", ReadBinaryFile(product / "bin\\a.dll"));
    EXPECT_EQ("off-cycle report.dll", ReadBinaryFile(product / "report.dll"));
    EXPECT_EQ("patched", ReadBinaryFile(product / "bin\\b.dll"));
}

TEST_F(ManagerTest, PathTooLongForTheFullPathBufferIsSkipped) {
    std::string second = product / "long";
    ASSERT_TRUE(MakeDirs(second));
    std::string longFile = std::string(600, 'l') + ".dll";
    ASSERT_TRUE(WriteTextFile(second + "\\long.xml", OffCycleManifest(Item("A", "report.dll") + Item("B", longFile) +
                                                                      Item("C", "bin\\b.dll"))));
    manifests = second;
    EXPECT_EQ(S_OK, Save({"A", "B", "C"}));
    EXPECT_EQ(1u, CountLines("In COffCycleManager::SaveOffCycleFiles, could not make the path of file " +
                             (product / longFile) + " for feature B absolute, skipped"));
    EXPECT_EQ(1u, CountLines(std::string(kSaving) + (product / "bin\\b.dll") + " for feature C "));
    Patch();
    EXPECT_EQ(0, manager.RestoreAllFiles(nullptr));
    EXPECT_EQ("off-cycle report.dll", ReadBinaryFile(product / "report.dll"));
    EXPECT_EQ("off-cycle bin\\b.dll", ReadBinaryFile(product / "bin\\b.dll"));
}

// Items that cannot name an installed file come first; every normal file after them is
// saved and restored byte for byte, and each skipped item is logged.
TEST_F(ManagerTest, UnusableItemsDoNotCostTheFilesAfterThem) {
    if (GetACP() != 1252) GTEST_SKIP() << "the names are written for code page 1252, this is " << GetACP();
    const std::string folder = product / "skips";
    ASSERT_TRUE(MakeDirs(folder));
    // A long path of a file that is not installed: its copy's name would be 260 or longer.
    std::string deep = product / "deep";
    while (deep.size() < 230) deep += "\\" + std::string(std::min<size_t>(40, 232 - deep.size()), 'd');
    ASSERT_TRUE(MakeDirs(deep));
    const std::string relativeDeep = deep.substr(product.Path().size() + 1);
    const std::string absent = relativeDeep + "\\" + std::string(255 - deep.size() - 5, 'a') + ".dll";
    ASSERT_EQ(255u, (product / absent).size());

    std::vector<std::pair<std::string, std::string>> normal;  // relative name, content
    for (int i = 0; i < 4; ++i) {
        std::string bytes(4096 + i, '\0');
        for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<char>((k * 7 + i) & 0xFF);
        normal.emplace_back("bin\\normal" + std::to_string(i) + ".dll", bytes);
        ASSERT_TRUE(WriteBinaryFile(product / normal.back().first, bytes));
    }
    // The cut and best-fit forms of the unconvertible names exist: neither may be touched.
    ASSERT_TRUE(WriteBinaryFile(product / "bin\\x", "not listed"));
    ASSERT_TRUE(WriteBinaryFile(product / "bin\\Ab.dll", "not listed"));

    std::string items = Item("Core", "bin\\x&#x4E2D;y.dll") + Item("Core", "bin\\&#x100;b.dll") + Item("Core", "") +
                        "<item><feature>Core</feature></item>" + Item("Core", absent);
    for (const auto& file : normal) items += Item("Core", file.first);
    ASSERT_TRUE(WriteTextFile(folder + "\\skips.xml", OffCycleManifest(items)));
    manifests = folder;

    ASSERT_EQ(S_OK, Save({"Core"}));
    EXPECT_EQ(1u, CountLines("file bin\\x?y.dll of feature Core has no name in the ANSI code page, skipped"));
    EXPECT_EQ(1u, CountLines("file bin\\?b.dll of feature Core has no name in the ANSI code page, skipped"));
    EXPECT_EQ(2u, CountLines("an item of feature Core names no file, skipped"));
    EXPECT_EQ(1u, CountLines("File Not saved, file or path not found.   file " + (product / absent)));
    for (const auto& file : normal)
        EXPECT_EQ(1u, CountLines("File saved  file " + (product / file.first) + " , temp name ")) << file.first;
    EXPECT_EQ(normal.size(), CountLines("File saved  file "));
    EXPECT_EQ(0u, CountLines("Failed to save"));
    EXPECT_EQ(0u, CountLines("Saving file " + product.Path() + " for feature"));  // never the folder itself

    for (const auto& file : normal) WriteBinaryFile(product / file.first, "patched");
    bool restart = false;
    EXPECT_EQ(0, manager.RestoreAllFiles(&restart));
    EXPECT_FALSE(restart);
    for (const auto& file : normal) EXPECT_EQ(file.second, ReadBinaryFile(product / file.first)) << file.first;
    EXPECT_EQ("not listed", ReadBinaryFile(product / "bin\\x"));
    EXPECT_EQ("not listed", ReadBinaryFile(product / "bin\\Ab.dll"));
    EXPECT_FALSE(FileExists(product / absent));
    for (const auto& name : ListFolder(product / "bin")) EXPECT_EQ(std::string::npos, name.find("._OC")) << name;
}

TEST_F(ManagerTest, WithoutRestoreTheCopyModeDecidesWhatStays) {
    for (bool copyMode : {false, true}) {
        octest::Lines().clear();
        std::vector<std::string> before = ListFolder(product / "bin");
        {
            COffCycleManager other(!copyMode);
            other.SetLogger(octest::RecordLine);
            EXPECT_EQ(copyMode, other.SetCopyMode(copyMode));
            ASSERT_EQ(S_OK, other.SaveOffCycleFiles({"Core"}, manifests.c_str(), product.Path().c_str(),
                                                    common.Path().c_str()));
        }
        size_t copies = 0;
        for (const auto& name : ListFolder(product / "bin")) copies += name.find("._OC") != std::string::npos;
        EXPECT_EQ(copyMode ? 0u : 2u, copies) << copyMode;
        EXPECT_EQ(2u, CountLines("In COffCycleContentCopier::Cleanup, Error 0 ."));
        // Leave the folder as it was for the next round.
        for (const auto& name : ListFolder(product / "bin"))
            if (name.find("._OC") != std::string::npos) DeleteFileA((product / ("bin\\" + name)).c_str());
    }
}

TEST_F(ManagerTest, LockedFileAtRestoreNeedsRestart) {
    ASSERT_EQ(S_OK, Save({"Reports"}));
    Patch();
    octest::PendingRenamesGuard pending;
    bool restart = false;
    {
        tw::FileHandle lock(
            CreateFileA((product / "report.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(lock.IsValid());
        EXPECT_EQ(0, manager.RestoreAllFiles(&restart));
    }
    EXPECT_TRUE(restart);
    EXPECT_EQ("off-cycle bin\\a.dll", ReadBinaryFile(product / "bin\\a.dll"));
    std::string list = octest::PendingRenamesGuard::Current();
    EXPECT_NE(std::string::npos, list.find("report._OC")) << list;
}

}  // namespace
