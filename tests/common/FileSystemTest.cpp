#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "common/FileSystem.h"

namespace {

// What each question answers for one kind of path inside a scratch folder holding the file
// "file.txt" and the folder "sub".
struct ExistsCase {
    const char* name;
    const char* relative;  // null: the null path; "": the empty path
    bool file;
    bool folder;
    bool entry;
};

const ExistsCase kExistsCases[] = {
    {"File", "file.txt", true, false, true},
    {"Folder", "sub", false, true, true},
    {"FolderWithClosingBackslash", "sub\\", false, true, true},
    {"Missing", "absent.txt", false, false, false},
    {"UnderMissingFolder", "absent\\file.txt", false, false, false},
    {"Empty", "", false, false, false},
    {"Null", nullptr, false, false, false},
};

class FileSystemTest : public ::testing::TestWithParam<ExistsCase> {};

TEST_P(FileSystemTest, AnswersByKindOfEntry) {
    twtest::TempDir dir("fsexists");
    ASSERT_TRUE(twtest::WriteTextFile(dir / "file.txt", "x"));
    ASSERT_TRUE(twtest::MakeDirs(dir / "sub"));
    const ExistsCase& c = GetParam();
    const std::string path = c.relative && *c.relative ? dir / c.relative : std::string();
    const char* text = c.relative ? path.c_str() : nullptr;

    EXPECT_EQ(c.file, tw::FileExists(text));
    EXPECT_EQ(c.folder, tw::FolderExists(text));
    EXPECT_EQ(c.entry, tw::EntryExists(text));
    if (text) {
        EXPECT_EQ(c.file, tw::FileExists(path));
        EXPECT_EQ(c.folder, tw::FolderExists(path));
        EXPECT_EQ(c.entry, tw::EntryExists(path));
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, FileSystemTest, ::testing::ValuesIn(kExistsCases),
                         [](const ::testing::TestParamInfo<ExistsCase>& row) { return row.param.name; });

}  // namespace
