#include <gtest/gtest.h>

#include <string>

#include "common/TestSupport.h"
#include "logging/StatusLogMgr.h"

using tw::StatusLogMgr;
using twtest::FileExists;
using twtest::ReadTextFile;
using twtest::TempDir;
using twtest::WriteTextFile;

namespace {

class StatusLogMgrTest : public ::testing::Test {
protected:
    static size_t CountOf(const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) ++n;
        return n;
    }

    // Lines of the asctime form "Thu Dec 10 11:31:49 2026".
    static size_t CountHeaderLines(const std::string& text) {
        size_t n = 0, start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(start, end - start);
            if (line.size() == 24 && line[13] == ':' && line[16] == ':') ++n;
            start = end + 1;
        }
        return n;
    }

    // The log is written in text mode: lines end in CR LF on disk.
    std::string ReadLog() const {
        std::string raw = ReadTextFile(dir / "Patchlog.txt"), out;
        for (char c : raw)
            if (c != '\r') out += c;
        return out;
    }

    twtest::SeamGuard guard;
    TempDir dir{"patchlog"};
};

TEST_F(StatusLogMgrTest, FirstLineOfProcessWritesHeaderThenLines) {
    ASSERT_FALSE(StatusLogMgr::RenameLogFile(dir.Path().c_str()));  // no log yet
    StatusLogMgr::LogStatus("first");
    StatusLogMgr::LogStatus("second");

    std::string log = ReadLog();
    // "\n" + asctime text (24 characters and its own newline) + "\n", then the lines.
    ASSERT_GE(log.size(), 27u);
    EXPECT_EQ('\n', log[0]);
    EXPECT_EQ("\n\n", log.substr(25, 2));
    EXPECT_EQ("first\nsecond\n", log.substr(27));
}

TEST_F(StatusLogMgrTest, TwoRunsGiveTwoHeadersEachBetweenEmptyLines) {
    StatusLogMgr::RenameLogFile(dir.Path().c_str());
    StatusLogMgr::LogStatus("run one");
    StatusLogMgr::ResetState();  // a second process
    StatusLogMgr::RenameLogFile(dir.Path().c_str());
    StatusLogMgr::LogStatus("run two");

    std::string log = ReadLog();
    // Empty line, header, empty line; then the second run's empty line right after "run one".
    EXPECT_EQ(3u, CountOf(log, "\n\n"));
    EXPECT_EQ(2u, CountHeaderLines(log));
    size_t second = log.find("run one\n") + 8;
    EXPECT_EQ('\n', log[second]);
    EXPECT_EQ("\n\nrun two\n", log.substr(second + 25));
}

TEST_F(StatusLogMgrTest, NullLineWritesNothingNotEvenTheHeader) {
    StatusLogMgr::RenameLogFile(dir.Path().c_str());
    StatusLogMgr::LogStatus(nullptr);
    EXPECT_TRUE(FileExists(dir / "Patchlog.txt"));  // opened and closed
    EXPECT_EQ("", ReadLog());
    StatusLogMgr::LogStatus("line");
    EXPECT_EQ(1u, CountOf(ReadLog(), "line"));
    EXPECT_EQ('\n', ReadLog()[0]);
}

TEST_F(StatusLogMgrTest, FolderWithTrailingBackslashGetsNoSecondOne) {
    std::string withSlash = dir.Path() + "\\";
    StatusLogMgr::RenameLogFile(withSlash.c_str());
    char path[600];
    StatusLogMgr::GetLogPath(path, sizeof(path));
    EXPECT_EQ(dir / "Patchlog.txt", std::string(path));
}

struct RotationCase {
    size_t size;
    bool readOnly;
    bool rotated;
};

class StatusLogRotationTest : public StatusLogMgrTest, public ::testing::WithParamInterface<RotationCase> {};

TEST_P(StatusLogRotationTest, RotatesOnlyAboveTheThreshold) {
    const RotationCase& c = GetParam();
    std::string content(c.size, 'x');
    ASSERT_TRUE(WriteTextFile(dir / "Patchlog.txt", content));
    if (c.readOnly) SetFileAttributesA((dir / "Patchlog.txt").c_str(), FILE_ATTRIBUTE_READONLY);

    EXPECT_TRUE(StatusLogMgr::RenameLogFile(dir.Path().c_str()));
    EXPECT_EQ(c.rotated, FileExists(dir / "PreviousPatchlog.txt"));
    EXPECT_EQ(!c.rotated, FileExists(dir / "Patchlog.txt"));
    if (c.rotated) {
        EXPECT_EQ(content, ReadTextFile(dir / "PreviousPatchlog.txt"));
        StatusLogMgr::LogStatus("after rotation");
        std::string fresh = ReadLog();
        EXPECT_EQ('\n', fresh[0]);  // starts with the header
        EXPECT_NE(std::string::npos, fresh.find("after rotation\n"));
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, StatusLogRotationTest,
                         ::testing::Values(RotationCase{100000, false, false}, RotationCase{100001, false, true},
                                           RotationCase{100001, true, true}, RotationCase{10, true, false}));

TEST_F(StatusLogMgrTest, RotationReplacesThePreviousGeneration) {
    WriteTextFile(dir / "PreviousPatchlog.txt", "old generation");
    WriteTextFile(dir / "Patchlog.txt", std::string(150000, 'n'));
    EXPECT_TRUE(StatusLogMgr::RenameLogFile(dir.Path().c_str()));
    EXPECT_EQ(150000u, ReadTextFile(dir / "PreviousPatchlog.txt").size());
}

TEST_F(StatusLogMgrTest, FailedCopyKeepsTheOversizedLog) {
    std::string content(100001, 'k');
    WriteTextFile(dir / "Patchlog.txt", content);
    // A folder in the way of the previous log makes the copy fail.
    CreateDirectoryA((dir / "PreviousPatchlog.txt").c_str(), nullptr);
    EXPECT_FALSE(StatusLogMgr::RenameLogFile(dir.Path().c_str()));
    EXPECT_EQ(content, ReadLog());
}

TEST_F(StatusLogMgrTest, FolderTooLongForTheBufferIsRefused) {
    std::string longFolder = dir.Path() + "\\" + std::string(600, 'a');
    EXPECT_FALSE(StatusLogMgr::RenameLogFile(longFolder.c_str()));
    char path[600];
    StatusLogMgr::GetLogPath(path, sizeof(path));
    EXPECT_STREQ("Patchlog.txt", path);
}

TEST_F(StatusLogMgrTest, LinesBeforeTheFolderIsSetGoToTheCurrentDirectory) {
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    SetCurrentDirectoryA(dir.Path().c_str());
    StatusLogMgr::LogStatus("early line");
    SetCurrentDirectoryA(previous);
    EXPECT_NE(std::string::npos, ReadLog().find("early line\n"));
}

TEST_F(StatusLogMgrTest, UnopenableLogLosesTheLineSilently) {
    std::string missing = dir / "no\\such\\folder";
    StatusLogMgr::RenameLogFile(missing.c_str());
    StatusLogMgr::LogStatus("lost");  // must not crash
    EXPECT_FALSE(FileExists(missing + "\\Patchlog.txt"));
}

}  // namespace
