#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "common/Handles.h"
#include "common/HeldFolder.h"
#include "common/TestSupport.h"
#include "common/UnixHost.h"

using tw::CHeldFolder;
using twtest::FileExists;
using twtest::MakeUnixLink;
using twtest::ReadTextFile;
using twtest::TempDir;
using twtest::WriteTextFile;

namespace {

constexpr DWORD kAppend = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | GENERIC_READ;
constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

bool Append(HANDLE file, const std::string& text) {
    DWORD written = 0;
    return ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
}

unsigned long Links(const std::string& path) {
    tw::FileHandle file(::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, kShare, nullptr, OPEN_EXISTING, 0, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    return file && ::GetFileInformationByHandle(file.Get(), &info) ? info.nNumberOfLinks : 0;
}

// A Unix symbolic link whose target need not exist (a link to a file not made yet). Wine
// shows such a link neither as a file nor in a listing, so the shell leaves a marker after it.
bool MakeDanglingLink(const std::string& target, const std::string& link) {
    const std::string marker = link + ".made";
    const std::string unixTarget = twtest::UnixPathOf(target);
    const std::string unixLink = twtest::UnixPathOf(link);
    const std::string unixMarker = twtest::UnixPathOf(marker);
    if (unixTarget.empty() || unixLink.empty() || unixMarker.empty()) return false;
    const bool made =
        twtest::RunUnix("/bin/sh -c \"ln -sfn '" + unixTarget + "' '" + unixLink + "' && touch '" + unixMarker + "'\"",
                        [&] { return FileExists(marker); });
    ::DeleteFileA(marker.c_str());
    return made;
}

// The prefix's folder of drive letters (dosdevices), as a Unix path with a closing slash.
std::string DriveLetterFolder() {
    const std::string drive = twtest::UnixPathOf("C:\\");
    const size_t at = drive.find("/dosdevices/");
    if (at != std::string::npos) return drive.substr(0, at) + "/dosdevices/";
    const size_t driveC = drive.find("/drive_c");
    return driveC == std::string::npos ? std::string() : drive.substr(0, driveC) + "/dosdevices/";
}

// What lies in the folder where the elevated run opens a file by name, and what it must find.
class HeldFolderTest : public ::testing::Test {
protected:
    twtest::SeamGuard guard;
    TempDir dir{"held"};
    TempDir elsewhere{"victim"};
    const std::string victimText = "a file the user may not change\n";
};

TEST_F(HeldFolderTest, ALinkAtTheNameIsReplacedNeverFollowed) {
    struct Case {
        const char* what;
        int kind;  // 0 nothing, 1 plain file, 2 symbolic link, 3 hard link, 4 link to nothing
        std::string before;
    } cases[] = {
        {"nothing there", 0, ""},
        {"a plain file", 1, "kept\n"},
        {"a symbolic link to a file elsewhere", 2, ""},
        {"a hard link of a file elsewhere", 3, ""},
        {"a symbolic link to a file that does not exist", 4, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = std::string("log-") + std::to_string(c.kind) + ".txt";
        const std::string victim = elsewhere / ("victim-" + std::to_string(c.kind) + ".txt");
        switch (c.kind) {
            case 1:
                ASSERT_TRUE(WriteTextFile(dir / name, c.before));
                break;
            case 2:
            case 3:
                ASSERT_TRUE(WriteTextFile(victim, victimText));
                ASSERT_TRUE(MakeUnixLink(victim, dir / name, c.kind == 3));
                break;
            case 4:
                ASSERT_TRUE(MakeDanglingLink(victim, dir / name));
                break;
            default:
                break;
        }
        CHeldFolder folder;
        ASSERT_TRUE(folder.Open(dir.Path()));
        std::string why;
        tw::FileHandle file = folder.OpenFile(name, kAppend, kShare, CHeldFolder::Disposition::ExistingOrNew, &why);
        ASSERT_TRUE(file) << why;
        ASSERT_TRUE(Append(file.Get(), "line\n"));
        file.Reset();
        EXPECT_EQ(c.before + "line\n", ReadTextFile(dir / name));
        EXPECT_EQ(1u, Links(dir / name));
        if (c.kind == 2 || c.kind == 3) {
            EXPECT_EQ(victimText, ReadTextFile(victim));
            EXPECT_EQ(1u, Links(victim));
        }
        if (c.kind == 4) {
            EXPECT_FALSE(FileExists(victim)) << "created through the link";
        }
    }
}

TEST_F(HeldFolderTest, OpenKindsAndTheCheckAfterAChange) {
    CHeldFolder folder;
    ASSERT_TRUE(folder.Open(dir.Path()));
    const std::string victim = elsewhere / "victim.txt";
    ASSERT_TRUE(WriteTextFile(victim, victimText));

    // Existing: nothing is made; New: a taken name, a link to nothing included, is refused.
    EXPECT_FALSE(folder.OpenFile("absent.txt", kAppend, kShare, CHeldFolder::Disposition::Existing));
    EXPECT_FALSE(FileExists(dir / "absent.txt"));
    ASSERT_TRUE(WriteTextFile(dir / "taken.txt", "x"));
    EXPECT_FALSE(folder.OpenFile("taken.txt", kAppend, kShare, CHeldFolder::Disposition::New));
    ASSERT_TRUE(MakeDanglingLink(elsewhere / "never.txt", dir / "dangling.txt"));
    EXPECT_FALSE(folder.OpenFile("dangling.txt", kAppend, kShare, CHeldFolder::Disposition::New));
    EXPECT_FALSE(FileExists(elsewhere / "never.txt"));
    EXPECT_TRUE(folder.OpenFile("fresh.txt", kAppend, kShare, CHeldFolder::Disposition::New));

    // Names are one component of this folder.
    for (const char* name : {"", ".", "..", "..\\x.txt", "sub\\x.txt", "C:x.txt", "x.txt:stream", "*.txt"}) {
        EXPECT_FALSE(folder.OpenFile(name, kAppend, kShare, CHeldFolder::Disposition::ExistingOrNew)) << name;
    }

    // A file verified once and then swapped for a link is checked in full again.
    {
        tw::FileHandle log = folder.OpenFile("log.txt", kAppend, kShare, CHeldFolder::Disposition::ExistingOrNew);
        ASSERT_TRUE(log);
        ASSERT_TRUE(Append(log.Get(), "one\n"));
    }
    ASSERT_TRUE(::DeleteFileA((dir / "log.txt").c_str()));
    ASSERT_TRUE(MakeUnixLink(victim, dir / "log.txt", false));
    tw::FileHandle existing = folder.OpenFile("log.txt", kAppend, kShare, CHeldFolder::Disposition::Existing);
    EXPECT_FALSE(existing) << "an existing-only open never replaces, and never uses a link";
    tw::FileHandle log = folder.OpenFile("log.txt", kAppend, kShare, CHeldFolder::Disposition::ExistingOrNew);
    ASSERT_TRUE(log);
    ASSERT_TRUE(Append(log.Get(), "two\n"));
    log.Reset();
    EXPECT_EQ("two\n", ReadTextFile(dir / "log.txt"));
    EXPECT_EQ(victimText, ReadTextFile(victim));
}

TEST_F(HeldFolderTest, RenameAndDeleteThroughTheHandle) {
    CHeldFolder folder;
    ASSERT_TRUE(folder.Open(dir.Path()));
    ASSERT_TRUE(WriteTextFile(dir / "old.txt", "content"));
    ASSERT_TRUE(WriteTextFile(dir / "target.txt", "replaced"));
    {
        tw::FileHandle file = folder.OpenFile("old.txt", GENERIC_READ | DELETE, kShare | FILE_SHARE_DELETE,
                                              CHeldFolder::Disposition::Existing);
        ASSERT_TRUE(file);
        EXPECT_FALSE(folder.RenameTo(file.Get(), "target.txt", false));
        ASSERT_TRUE(folder.RenameTo(file.Get(), "target.txt", true));
    }
    EXPECT_FALSE(FileExists(dir / "old.txt"));
    EXPECT_EQ("content", ReadTextFile(dir / "target.txt"));
    {
        tw::FileHandle file = folder.OpenFile("target.txt", GENERIC_READ | DELETE, kShare | FILE_SHARE_DELETE,
                                              CHeldFolder::Disposition::Existing);
        ASSERT_TRUE(file);
        ASSERT_TRUE(CHeldFolder::DeleteOnClose(file.Get()));
    }
    EXPECT_FALSE(FileExists(dir / "target.txt"));
}

TEST_F(HeldFolderTest, ChildFoldersAreHeldAndLinksRefused) {
    CHeldFolder parent;
    ASSERT_TRUE(parent.Open(dir.Path()));
    CHeldFolder child;
    ASSERT_TRUE(child.OpenChild(parent, "made", true));
    EXPECT_EQ(dir / "made", child.Path());
    EXPECT_TRUE(child.OpenFile("in.txt", kAppend, kShare, CHeldFolder::Disposition::New));
    EXPECT_TRUE(FileExists((dir / "made") + "\\in.txt"));
    // Held without delete sharing: it cannot be renamed away meanwhile.
    EXPECT_FALSE(::MoveFileA((dir / "made").c_str(), (dir / "moved").c_str()));

    CHeldFolder missing;
    EXPECT_FALSE(missing.OpenChild(parent, "absent", false));
    ASSERT_TRUE(MakeUnixLink(elsewhere.Path(), dir / "linked", false));
    CHeldFolder linked;
    EXPECT_FALSE(linked.OpenChild(parent, "linked", true));
}

// A folder that the system names otherwise than the path it was opened by (here a second
// drive letter for it, as a mapped or substituted drive is on Windows) still holds plain
// files: the file is compared with the folder the system names, not with the path given.
TEST_F(HeldFolderTest, AFolderWithASecondDriveLetterKeepsItsFiles) {
    const std::string dosdevices = DriveLetterFolder();
    ASSERT_FALSE(dosdevices.empty());
    std::string letter;
    for (char c = 'q'; c <= 'y' && letter.empty(); ++c) {
        const std::string root = std::string(1, c) + ":\\";
        if (::GetDriveTypeA(root.c_str()) == DRIVE_NO_ROOT_DIR) letter = std::string(1, c);
    }
    ASSERT_FALSE(letter.empty());
    const std::string drive = dosdevices + letter + ":";
    ASSERT_TRUE(twtest::RunUnix("/bin/ln -sfn \"" + twtest::UnixPathOf(dir.Path()) + "\" \"" + drive + "\"",
                                [&] { return ::GetDriveTypeA((letter + ":\\").c_str()) != DRIVE_NO_ROOT_DIR; }));
    for (const std::string& path : {dir.Path(), letter + ":\\"}) {
        SCOPED_TRACE(path);
        CHeldFolder folder;
        ASSERT_TRUE(folder.Open(path));
        ASSERT_TRUE(WriteTextFile(dir / "Patchlog.txt", "earlier lines\n"));
        tw::FileHandle log = folder.OpenFile("Patchlog.txt", kAppend, kShare, CHeldFolder::Disposition::ExistingOrNew);
        ASSERT_TRUE(log);
        ASSERT_TRUE(Append(log.Get(), "more\n"));
        log.Reset();
        EXPECT_EQ("earlier lines\nmore\n", ReadTextFile(dir / "Patchlog.txt"));
    }
    twtest::RunUnix("/bin/rm -f \"" + drive + "\"",
                    [&] { return ::GetDriveTypeA((letter + ":\\").c_str()) == DRIVE_NO_ROOT_DIR; });
}

}  // namespace
