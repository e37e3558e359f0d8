#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "common/Handles.h"
#include "common/LinkSafeFile.h"
#include "common/TestSupport.h"
#include "common/UnixHost.h"
#include "common/UpdateLogFolderGuard.h"
#include "logging/PatchStatusRecord.h"
#include "logging/StatusLogMgr.h"
#include "logging/TWPatchLogUtil.h"

using tw::CLinkSafeFile;
using tw::StatusLogMgr;
using twtest::FileExists;
using twtest::MakeUnixLink;
using twtest::ReadTextFile;
using twtest::TempDir;
using twtest::WriteTextFile;

namespace {

// The logs lie where a standard user can put links; what a link points at must stay as it is.
class LogLinkTest : public ::testing::Test {
protected:
    bool Link(const std::string& target, const std::string& link, bool hard) {
        return MakeUnixLink(target, link, hard);
    }
    static unsigned long Links(const std::string& path) {
        tw::FileHandle file(::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
        BY_HANDLE_FILE_INFORMATION info{};
        return file && ::GetFileInformationByHandle(file.Get(), &info) ? info.nNumberOfLinks : 0;
    }

    twtest::SeamGuard guard;
    TempDir dir{"loglinks"};
    TempDir elsewhere{"victim"};
    const std::string victimText = "a file the user may not change\n";
};

TEST_F(LogLinkTest, TheCheckOnTheOpenHandle) {
    const std::string plain = dir / "plain.txt";
    const std::string victim = elsewhere / "victim.txt";
    const std::string hardVictim = elsewhere / "hard-victim.txt";
    ASSERT_TRUE(WriteTextFile(plain, "x"));
    ASSERT_TRUE(WriteTextFile(victim, victimText));
    ASSERT_TRUE(WriteTextFile(hardVictim, victimText));
    ASSERT_TRUE(Link(victim, dir / "symbolic.txt", false));
    ASSERT_TRUE(Link(hardVictim, dir / "hard.txt", true));
    struct Case {
        std::string path;
        bool plain;
        const char* why;
    } cases[] = {
        {plain, true, ""},
        {dir / "symbolic.txt", false, "it leads to "},
        {dir / "hard.txt", false, "2 hard links"},
        {hardVictim, false, "2 hard links"},
        {dir.Path(), false, "folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        tw::FileHandle file(::CreateFileA(c.path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING,
                                          FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        ASSERT_TRUE(file);
        std::string why;
        EXPECT_EQ(c.plain, CLinkSafeFile::IsPlainFileAt(file.Get(), c.path, &why));
        EXPECT_NE(std::string::npos, why.find(c.why)) << why;
    }
    // Replacing a link replaces the link, not the file it points at; a plain file stays.
    EXPECT_TRUE(CLinkSafeFile::ReplaceIfLink(dir / "symbolic.txt"));
    EXPECT_TRUE(CLinkSafeFile::ReplaceIfLink(dir / "hard.txt"));
    EXPECT_TRUE(CLinkSafeFile::ReplaceIfLink(plain));
    EXPECT_TRUE(CLinkSafeFile::ReplaceIfLink(dir / "absent.txt"));
    EXPECT_EQ("", ReadTextFile(dir / "symbolic.txt"));
    EXPECT_EQ("", ReadTextFile(dir / "hard.txt"));
    EXPECT_EQ(1u, Links(dir / "hard.txt"));
    EXPECT_EQ("x", ReadTextFile(plain));
    EXPECT_FALSE(FileExists(dir / "absent.txt"));
    EXPECT_EQ(victimText, ReadTextFile(victim));
    EXPECT_EQ(victimText, ReadTextFile(hardVictim));
    EXPECT_EQ(1u, Links(hardVictim));
    tw::FileHandle check(::CreateFileA((dir / "symbolic.txt").c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(CLinkSafeFile::IsPlainFileAt(check.Get(), dir / "symbolic.txt"));
}

// Each line is still opened, appended and closed; a link found at the log's name is replaced
// and the line goes into a new file of the log's own.
TEST_F(LogLinkTest, ALogLineIsNeverWrittenThroughALink) {
    for (bool hard : {false, true}) {
        SCOPED_TRACE(hard ? "hard link" : "symbolic link");
        StatusLogMgr::ResetState();
        const std::string victim = elsewhere / "victim.txt";
        ASSERT_TRUE(WriteTextFile(victim, victimText));
        ASSERT_TRUE(Link(victim, dir / "Patchlog.txt", hard));
        // The rotation finds a link: it replaces it by an empty log, which is not rotated.
        EXPECT_TRUE(StatusLogMgr::RenameLogFile(dir.Path().c_str()));
        EXPECT_EQ("", ReadTextFile(dir / "Patchlog.txt"));
        EXPECT_EQ(victimText, ReadTextFile(victim));
        ASSERT_TRUE(Link(victim, dir / "Patchlog.txt", hard));
        StatusLogMgr::LogStatus("first line");
        StatusLogMgr::LogStatus("second line");
        EXPECT_EQ(victimText, ReadTextFile(victim));
        EXPECT_EQ(1u, Links(victim));
        const std::string log = ReadTextFile(dir / "Patchlog.txt");
        // Written as fopen writes it: in text mode, each line ending in CR LF.
        EXPECT_NE(std::string::npos, log.find("first line\r\n"));
        EXPECT_NE(std::string::npos, log.find("second line\r\n"));
        EXPECT_EQ(1u, Links(dir / "Patchlog.txt"));
        ASSERT_TRUE(::DeleteFileA((dir / "Patchlog.txt").c_str()));
    }
}

TEST_F(LogLinkTest, RotationNeitherCopiesFromNorOntoALink) {
    const std::string victim = elsewhere / "victim.txt";
    const std::string big(StatusLogMgr::kRotateAboveBytes + 10, 'v');
    const std::string oversized(StatusLogMgr::kRotateAboveBytes + 1, 'l');
    struct Case {
        const char* what;
        bool logIsLink;
        bool hard;
    } cases[] = {{"previous log a hard link", false, true},
                 {"previous log a symbolic link", false, false},
                 {"log a symbolic link to a large file", true, false},
                 {"log a hard link to a large file", true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StatusLogMgr::ResetState();
        ASSERT_TRUE(WriteTextFile(victim, c.logIsLink ? big : victimText));
        if (c.logIsLink) {
            ASSERT_TRUE(Link(victim, dir / "Patchlog.txt", c.hard));
        } else {
            ASSERT_TRUE(WriteTextFile(dir / "Patchlog.txt", oversized));
            ASSERT_TRUE(Link(victim, dir / "PreviousPatchlog.txt", c.hard));
        }
        EXPECT_TRUE(StatusLogMgr::RenameLogFile(dir.Path().c_str()));
        EXPECT_EQ(c.logIsLink ? big : victimText, ReadTextFile(victim));
        EXPECT_EQ(1u, Links(victim));
        if (c.logIsLink) {
            // The link became an empty log of its own; nothing of the large file was copied.
            EXPECT_FALSE(FileExists(dir / "PreviousPatchlog.txt"));
            EXPECT_EQ("", ReadTextFile(dir / "Patchlog.txt"));
        } else {
            EXPECT_EQ(oversized, ReadTextFile(dir / "PreviousPatchlog.txt"));
            EXPECT_EQ(1u, Links(dir / "PreviousPatchlog.txt"));
            EXPECT_FALSE(FileExists(dir / "Patchlog.txt"));
        }
        ::DeleteFileA((dir / "PreviousPatchlog.txt").c_str());
        ::DeleteFileA((dir / "Patchlog.txt").c_str());
    }
}

TEST_F(LogLinkTest, StatusRecordsAreNeverWrittenThroughALink) {
    twtest::UpdateLogFolderGuard logFolder;
    const std::string patchVictim = elsewhere / "patch-victim.txt";
    const std::string tempVictim = elsewhere / "temp-victim.txt";
    ASSERT_TRUE(WriteTextFile(patchVictim, victimText));
    ASSERT_TRUE(WriteTextFile(tempVictim, victimText));
    ASSERT_TRUE(twtest::MakeDirs(logFolder.folder));
    ::DeleteFileA((logFolder.folder + "\\Patch.log").c_str());
    ::DeleteFileA((logFolder.folder + "\\Temp.log").c_str());
    ASSERT_TRUE(Link(patchVictim, logFolder.folder + "\\Patch.log", false));
    ASSERT_TRUE(Link(tempVictim, logFolder.folder + "\\Temp.log", true));

    tw::TWPatchLogUtil util;
    std::unique_ptr<tw::PatchStatusRecord> record = util.CreateStatusRecord(true);
    util.FinishStatusRecord(*record, 0);
    EXPECT_EQ(victimText, ReadTextFile(patchVictim));
    EXPECT_EQ(victimText, ReadTextFile(tempVictim));
    EXPECT_EQ(1u, Links(tempVictim));
    EXPECT_EQ(0u, ReadTextFile(logFolder.folder + "\\Patch.log").find("(date-"));
    EXPECT_EQ(0u, ReadTextFile(logFolder.folder + "\\Temp.log").find("(date-"));
}

}  // namespace
