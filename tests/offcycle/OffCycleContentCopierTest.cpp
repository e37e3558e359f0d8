#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "OffCycleTestSupport.h"
#include "common/Handles.h"
#include "common/TestSupport.h"
#include "logging/StatusLogMgr.h"
#include "offcycle/OffCycleContentCopier.h"

using octest::CountLines;
using octest::ListFolder;
using octest::PendingRenamesGuard;
using octest::ReadBinaryFile;
using octest::WriteBinaryFile;
using tw::COffCycleContentCopier;
using twtest::FileExists;
using twtest::MakeDirs;
using twtest::TempDir;

namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

class CopierTest : public ::testing::Test {
protected:
    void SetUp() override {
        octest::Lines().clear();
        tw::StatusLogMgr::RenameLogFile(logDir.Path().c_str());
    }

    std::unique_ptr<COffCycleContentCopier> MakeCopier(bool copyMode) {
        std::unique_ptr<COffCycleContentCopier> copier(new COffCycleContentCopier(copyMode));
        copier->SetLogger(octest::RecordLine);
        return copier;
    }

    // The temporary path of the last "File saved" line.
    static std::string LastTempName() {
        const std::string marker = ", temp name ";
        for (auto it = octest::Lines().rbegin(); it != octest::Lines().rend(); ++it) {
            size_t at = it->find(marker);
            if (at == std::string::npos) continue;
            std::string temp = it->substr(at + marker.size());
            while (!temp.empty() && temp.back() == ' ') temp.pop_back();
            return temp;
        }
        return "";
    }

    // Saves path and free (the temporary copy of path into temp), then overwrites both as
    // the patch would.
    static void SaveTwoFilesThenPatch(COffCycleContentCopier& copier, const std::string& path, const std::string& free,
                                      std::string& temp) {
        ASSERT_TRUE(WriteBinaryFile(path, "off-cycle version"));
        ASSERT_TRUE(WriteBinaryFile(free, "other off-cycle"));
        ASSERT_EQ(S_OK, copier.SaveFile(path.c_str()));
        temp = LastTempName();
        ASSERT_EQ(S_OK, copier.SaveFile(free.c_str()));
        ASSERT_TRUE(WriteBinaryFile(path, "patched"));
        ASSERT_TRUE(WriteBinaryFile(free, "patched"));
    }

    twtest::SeamGuard guard;
    TempDir dir{"copier"};
    TempDir logDir{"copierlog"};
};

// Binary content with every byte value, different per file.
std::string Content(int seed, size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + seed * 7) & 0xFF);
    return bytes;
}

TEST_F(CopierTest, SavedTreeIsRestoredByteForByte) {
    const std::vector<std::string> files = {"a.dll",     "sub\\b.dat", "sub\\deeper\\c", "sub\\deeper\\d.tar.gz",
                                            "empty.txt", "big.bin"};
    ASSERT_TRUE(MakeDirs(dir / "sub\\deeper"));
    for (size_t i = 0; i < files.size(); ++i) {
        size_t size = files[i] == "empty.txt" ? 0 : files[i] == "big.bin" ? 3 * 1024 * 1024 + 5 : 1000 + i * 17;
        ASSERT_TRUE(WriteBinaryFile(dir / files[i], Content(static_cast<int>(i), size)));
    }

    auto copier = MakeCopier(true);
    for (const auto& file : files) EXPECT_EQ(S_OK, copier->SaveFile((dir / file).c_str()));
    EXPECT_EQ(files.size(), static_cast<size_t>(CountLines("In COffCycleContentCopier::SaveFile, File saved  file ")));

    // The patch replaces or deletes the files.
    for (size_t i = 0; i < files.size(); ++i) {
        if (i % 2)
            DeleteFileA((dir / files[i]).c_str());
        else
            WriteBinaryFile(dir / files[i], "patched");
    }

    bool restart = false;
    EXPECT_EQ(0, copier->RestoreAllFiles(restart));
    EXPECT_FALSE(restart);
    for (size_t i = 0; i < files.size(); ++i) {
        size_t size = files[i] == "empty.txt" ? 0 : files[i] == "big.bin" ? 3 * 1024 * 1024 + 5 : 1000 + i * 17;
        EXPECT_EQ(Content(static_cast<int>(i), size), ReadBinaryFile(dir / files[i])) << files[i];
    }
    EXPECT_EQ(files.size(), CountLines("In COffCycleContentCopier::RestoreAllFiles, Error 0 .   file "));
    EXPECT_EQ(1u,
              CountLines("In COffCycleContentCopier::RestoreAllFiles, The # of files that failed restoration:: 0 "));
    // Nothing of the copies is left.
    for (const char* folder : {"", "sub", "sub\\deeper"})
        for (const auto& name : ListFolder(dir / folder)) EXPECT_EQ(std::string::npos, name.find("._OC")) << name;

    octest::Lines().clear();
    copier.reset();  // the map is empty: cleanup writes nothing
    EXPECT_TRUE(octest::Lines().empty());
}

TEST_F(CopierTest, TemporaryNamesCarryMarkerRandomPartAndExtension) {
    struct Case {
        const char* file;
        const char* stem;
        const char* ext;
    } cases[] = {{"report.dll", "report._OC", ".dll"}, {"noext", "noext._OC", ""}, {"a.b.c", "a.b._OC", ".c"}};
    auto copier = MakeCopier(true);
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteBinaryFile(dir / c.file, "x"));
        ASSERT_EQ(S_OK, copier->SaveFile((dir / c.file).c_str()));
        std::string temp = LastTempName();
        std::string prefix = dir / c.stem;
        ASSERT_EQ(prefix.size() + 6 + strlen(c.ext), temp.size()) << temp;
        EXPECT_EQ(prefix, temp.substr(0, prefix.size()));
        EXPECT_EQ(c.ext, temp.substr(prefix.size() + 6));
        for (char ch : temp.substr(prefix.size(), 6)) EXPECT_TRUE(std::islower(ch) || std::isdigit(ch)) << temp;
        EXPECT_EQ("x", ReadBinaryFile(temp));
    }
}

TEST_F(CopierTest, ManySavesOfTheSameNameGetDistinctTemporaryFiles) {
    auto copier = MakeCopier(true);
    std::vector<std::string> temps;
    for (int i = 0; i < 30; ++i) {
        std::string sub = dir / ("d" + std::to_string(i % 3));
        MakeDirs(sub);
        std::string file = sub + "\\same" + std::to_string(i) + ".txt";
        ASSERT_TRUE(WriteBinaryFile(file, std::to_string(i)));
        ASSERT_EQ(S_OK, copier->SaveFile(file.c_str()));
        temps.push_back(LastTempName());
    }
    std::sort(temps.begin(), temps.end());
    EXPECT_EQ(temps.end(), std::unique(temps.begin(), temps.end()));
}

TEST_F(CopierTest, MissingFileIsSkippedWithSuccess) {
    auto copier = MakeCopier(true);
    EXPECT_EQ(S_OK, copier->SaveFile((dir / "absent.dll").c_str()));
    EXPECT_EQ(S_OK, copier->SaveFile((dir / "nofolder\\absent.dll").c_str()));
    EXPECT_EQ(2u, CountLines("In COffCycleContentCopier::SaveFile, File Not saved, file or path not found.   file "));
    bool restart = false;
    EXPECT_EQ(0, copier->RestoreAllFiles(restart));
    EXPECT_EQ(0u, CountLines("RestoreAllFiles, Error"));
}

TEST_F(CopierTest, DuplicateInOtherLetterCaseIsReportedOnce) {
    ASSERT_TRUE(WriteBinaryFile(dir / "Dup.dll", "original"));
    auto copier = MakeCopier(true);
    std::string path = dir / "Dup.dll";
    EXPECT_EQ(S_OK, copier->SaveFile(path.c_str()));
    std::string upper = path;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(S_OK, copier->SaveFile(upper.c_str()));
    EXPECT_EQ(1u, CountLines("In COffCycleContentCopier::SaveFile, Duplicate file, not saved  file " + upper + "  "));
    EXPECT_EQ(1u, CountLines("File saved"));
    size_t copies = 0;
    for (const auto& name : ListFolder(dir.Path())) copies += name.find("._OC") != std::string::npos;
    EXPECT_EQ(1u, copies);
}

TEST_F(CopierTest, CopyErrorOtherThanNotFoundFails) {
    std::string path = dir / "locked.dll";
    ASSERT_TRUE(WriteBinaryFile(path, "locked"));
    tw::FileHandle lock(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock.IsValid());
    auto copier = MakeCopier(true);
    EXPECT_EQ(E_FAIL, copier->SaveFile(path.c_str()));
    EXPECT_EQ(1u, CountLines("In COffCycleContentCopier::SaveFile, File Not saved, Error 0x80004005 .   file " + path +
                             " , temp name "));
    bool restart = false;
    EXPECT_EQ(0, copier->RestoreAllFiles(restart));
}

TEST_F(CopierTest, EmptyRestoreLogsOnlyTheCount) {
    auto copier = MakeCopier(false);
    bool restart = false;
    EXPECT_EQ(0, copier->RestoreAllFiles(restart));
    ASSERT_EQ(1u, octest::Lines().size());
    EXPECT_EQ("In COffCycleContentCopier::RestoreAllFiles, The # of files that failed restoration:: 0 ",
              octest::Lines()[0]);
}

TEST_F(CopierTest, LockedFileIsReplacedAtNextRestart) {
    PendingRenamesGuard pending;
    std::string path = dir / "inuse.dll", free = dir / "free.dll", temp;
    auto copier = MakeCopier(true);
    ASSERT_NO_FATAL_FAILURE(SaveTwoFilesThenPatch(*copier, path, free, temp));

    std::string patchLog;
    {
        // The product holds the file open without sharing while the restore runs.
        tw::FileHandle lock(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(lock.IsValid());
        bool restart = false;
        EXPECT_EQ(0, copier->RestoreAllFiles(restart));
        EXPECT_TRUE(restart);
    }
    EXPECT_EQ(1u, CountLines("In COffCycleContentCopier::RestoreAllFiles, Error -2147024891 .   file " + path +
                             " , temp name " + temp + " "));
    EXPECT_EQ("other off-cycle", ReadBinaryFile(free));
    // The copy waits for the restart; the move is registered.
    EXPECT_EQ("off-cycle version", ReadBinaryFile(temp));
    std::string list = Lower(PendingRenamesGuard::Current());
    EXPECT_NE(std::string::npos, list.find(Lower(temp))) << list;
    EXPECT_NE(std::string::npos, list.find(Lower(path))) << list;
    // The system's text of the error went to the patch log.
    EXPECT_FALSE(twtest::ReadTextFile(logDir / "Patchlog.txt").empty());
}

TEST_F(CopierTest, RestoreFailureIsCountedAndTheCopyKept) {
    std::string path = dir / "gone\\f.dll";
    ASSERT_TRUE(MakeDirs(dir / "gone"));
    ASSERT_TRUE(WriteBinaryFile(path, "keep me"));
    auto copier = MakeCopier(true);
    ASSERT_EQ(S_OK, copier->SaveFile(path.c_str()));
    std::string temp = LastTempName();
    // The copy is moved somewhere the restore cannot find it.
    std::string moved = dir / "moved.tmp";
    ASSERT_TRUE(MoveFileA(temp.c_str(), moved.c_str()));
    bool restart = false;
    EXPECT_EQ(1, copier->RestoreAllFiles(restart));
    EXPECT_FALSE(restart);
    EXPECT_EQ(1u, CountLines("The # of files that failed restoration:: 1 "));
    EXPECT_EQ("keep me", ReadBinaryFile(path));
}

TEST_F(CopierTest, CleanupKeepsOrDeletesCopiesByCopyMode) {
    for (bool copyMode : {false, true}) {
        octest::Lines().clear();
        std::string a = dir / (std::string(copyMode ? "t" : "f") + "a.dll");
        std::string b = dir / (std::string(copyMode ? "t" : "f") + "b");
        ASSERT_TRUE(WriteBinaryFile(a, "A"));
        ASSERT_TRUE(WriteBinaryFile(b, "B"));
        auto copier = MakeCopier(!copyMode);
        EXPECT_EQ(copyMode, copier->SetCopyMode(copyMode));
        ASSERT_EQ(S_OK, copier->SaveFile(a.c_str()));
        std::string tempA = LastTempName();
        ASSERT_EQ(S_OK, copier->SaveFile(b.c_str()));
        std::string tempB = LastTempName();
        SetFileAttributesA(tempB.c_str(), FILE_ATTRIBUTE_READONLY);  // deleted all the same
        copier.reset();
        EXPECT_EQ(!copyMode, FileExists(tempA)) << copyMode;
        EXPECT_EQ(!copyMode, FileExists(tempB)) << copyMode;
        EXPECT_EQ(1u,
                  CountLines("In COffCycleContentCopier::Cleanup, Error 0 .   file " + a + " , temp name " + tempA));
        EXPECT_EQ(1u,
                  CountLines("In COffCycleContentCopier::Cleanup, Error 0 .   file " + b + " , temp name " + tempB));
        EXPECT_TRUE(FileExists(a));
        EXPECT_TRUE(FileExists(b));
        if (!copyMode) {
            SetFileAttributesA(tempB.c_str(), FILE_ATTRIBUTE_NORMAL);
            EXPECT_EQ("A", ReadBinaryFile(tempA));
        }
    }
}

TEST_F(CopierTest, PathsNearTheLimitNeverCrashAndLoseNothing) {
    // Folders so deep that the sources are just under 260 characters.
    std::string folder = dir.Path();
    while (folder.size() < 230) folder += "\\" + std::string(std::min<size_t>(40, 232 - folder.size()), 'p');
    ASSERT_TRUE(MakeDirs(folder));
    struct Case {
        size_t length;
        bool installed;
        HRESULT result;  // a copy's name is 10 characters longer than its source's
    } cases[] = {{245, true, S_OK},
                 {249, true, S_OK},
                 {250, true, E_FAIL},
                 {259, true, E_FAIL},
                 // A file that is not installed is no error, whatever the length of its path.
                 {252, false, S_OK},
                 {259, false, S_OK},
                 {300, false, S_OK},
                 {1300, false, S_OK}};
    std::vector<std::string> sources;
    for (const auto& c : cases) {
        std::string file = folder + "\\";
        file += std::string(c.length - file.size() - 4, c.installed ? 'n' : 'a') + ".dll";
        ASSERT_EQ(c.length, file.size());
        if (c.installed) {
            ASSERT_TRUE(WriteBinaryFile(file, "near " + std::to_string(c.length)));
        }
        sources.push_back(file);
    }

    auto copier = MakeCopier(true);
    for (size_t i = 0; i < sources.size(); ++i)
        EXPECT_EQ(cases[i].result, copier->SaveFile(sources[i].c_str())) << sources[i].size();
    EXPECT_EQ(4u, CountLines("In COffCycleContentCopier::SaveFile, File Not saved, file or path not found."));
    EXPECT_EQ(2u, CountLines("In COffCycleContentCopier::SaveFile, File Not saved, Error 0x80004005 ."));
    for (size_t i = 0; i < sources.size(); ++i)
        if (cases[i].installed) WriteBinaryFile(sources[i], "patched");
    bool restart = false;
    EXPECT_EQ(0, copier->RestoreAllFiles(restart));
    // Every saved file is back; the others were never touched and no copy of them is left.
    for (size_t i = 0; i < sources.size(); ++i) {
        if (cases[i].installed) {
            EXPECT_EQ(cases[i].result == S_OK ? "near " + std::to_string(cases[i].length) : "patched",
                      ReadBinaryFile(sources[i]));
        }
    }
    for (const auto& name : ListFolder(folder)) EXPECT_EQ(std::string::npos, name.find("._OC")) << name;
}

TEST_F(CopierTest, UnregisteredRestartMoveIsAFailure) {
    PendingRenamesGuard pending;
    std::string path = dir / "inuse.dll", free = dir / "free.dll", temp;
    auto copier = MakeCopier(true);
    ASSERT_NO_FATAL_FAILURE(SaveTwoFilesThenPatch(*copier, path, free, temp));

    // A rename list that is not a string list cannot take another entry: the registration
    // of a move for the next restart fails.
    {
        tw::RegKey key;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0,
                                KEY_SET_VALUE, key.Put()));
        const BYTE junk[4] = {1, 2, 3, 4};
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.Get(), "PendingFileRenameOperations", 0, REG_BINARY, junk, 4));
    }
    {
        std::string probe = dir / "probe.tmp";
        ASSERT_TRUE(WriteBinaryFile(probe, "p"));
        if (MoveFileExA(probe.c_str(), (dir / "probe2.tmp").c_str(), MOVEFILE_DELAY_UNTIL_REBOOT))
            GTEST_SKIP() << "this system registers restart moves over a broken rename list";
    }

    bool restart = false;
    {
        tw::FileHandle lock(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(lock.IsValid());
        EXPECT_EQ(1, copier->RestoreAllFiles(restart));
    }
    EXPECT_FALSE(restart);  // nothing waits for a restart
    EXPECT_EQ(1u, CountLines("In COffCycleContentCopier::RestoreAllFiles, the move could not be registered for the "
                             "next restart either.   file " +
                             path + " , temp name " + temp + " "));
    EXPECT_EQ(1u, CountLines("The # of files that failed restoration:: 1 "));
    EXPECT_EQ("other off-cycle", ReadBinaryFile(free));
    // The off-cycle version is not lost: its copy stays.
    EXPECT_EQ("off-cycle version", ReadBinaryFile(temp));
}

}  // namespace
