#include <gtest/gtest.h>

#include <windows.h>

#include <list>
#include <thread>
#include <string>
#include <vector>

#include "OffCycleTestSupport.h"
#include "common/TestSupport.h"
#include "offcycle/OffCycleFileSelector.h"

using octest::CountLines;
using octest::Item;
using octest::OffCycleManifest;
using tw::COffCycleFileSelector;
using twtest::MakeDirs;
using twtest::TempDir;
using twtest::WriteTextFile;

namespace {

// Opens the internal operations to the tests.
class TestSelector : public COffCycleFileSelector {
public:
    using COffCycleFileSelector::InitializeReader;
    using COffCycleFileSelector::LoadManifestFile;
    size_t SelectedCount() const { return m_selection.items.size(); }
};

const char kLoaded[] = "In COffCycleFileSelector::LoadAllManifests, loaded manifest file \"";
const char kNotLoaded[] = "In COffCycleFileSelector::LoadAllManifests, could not load manifest file \"";

class SelectorTest : public ::testing::Test {
protected:
    void SetUp() override {
        octest::Lines().clear();
        selector.SetLogger(octest::RecordLine);
    }

    std::list<std::string> Files(const char* feature) {
        std::list<std::string> files;
        EXPECT_EQ(S_OK, selector.GetFilesForFeature(feature, files, "C:\\Install", "C:\\Common"));
        return files;
    }

    // Position of the "loaded" line of a manifest in the log (load order).
    static size_t LoadPosition(const std::string& name) {
        const auto& lines = octest::Lines();
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i] == kLoaded + name + "\"") return i;
        return std::string::npos;
    }

    TestSelector selector;
    TempDir dir{"selector"};
};

TEST_F(SelectorTest, LoadsOnlyVersionOneOffCycleManifests) {
    struct Case {
        const char* name;
        std::string text;
        bool loaded;
    } cases[] = {
        {"good.xml", OffCycleManifest(Item("Core", "bin\\core.dll") + Item("Reports", "rep\\r.dll")), true},
        {"patch.xml", OffCycleManifest(Item("Core", "bin\\patch.dll"), "patch"), false},
        {"v2.xml", OffCycleManifest(Item("Core", "bin\\v2.dll"), "offcycle", 2), false},
        {"v0.xml", "<manifest><identity><type>offcycle</type></identity>" + Item("Core", "v0.dll") + "</manifest>",
         false},
        {"badtype.xml", OffCycleManifest(Item("Core", "x.dll"), "Offcycle"), false},
        {"broken.xml", "<manifest><identity>", false},
        {"otherroot.xml", "<list>" + Item("Core", "y.dll") + "</list>", false},
    };
    for (const auto& c : cases) ASSERT_TRUE(WriteTextFile(dir / c.name, c.text));
    ASSERT_TRUE(WriteTextFile(dir / "notes.txt", OffCycleManifest(Item("Core", "txt.dll"))));
    ASSERT_TRUE(MakeDirs(dir / "folder.xml"));

    EXPECT_EQ(S_OK, selector.LoadAllManifests(dir.Path().c_str(), "C:\\Install", "C:\\Common"));
    EXPECT_EQ(1u, CountLines("In COffCycleFileSelector::LoadAllManifests, looking for manifest files: " + dir.Path() +
                             "\\*.xml"));
    for (const auto& c : cases) {
        EXPECT_EQ(c.loaded ? 1u : 0u, CountLines(kLoaded + std::string(c.name) + "\"")) << c.name;
        EXPECT_EQ(c.loaded ? 0u : 1u, CountLines(kNotLoaded + std::string(c.name) + "\", ")) << c.name;
    }
    // Every failure here is E_FAIL (the reader's own result for broken XML too under this
    // platform): the low 16 bits are logged.
    EXPECT_EQ(6u, CountLines("[16389]"));
    EXPECT_EQ(0u, CountLines("folder.xml"));
    EXPECT_EQ(2u, CountLines("Error loading manifest"));  // broken.xml and badtype.xml
    EXPECT_EQ((std::list<std::string>{"C:\\Install\\bin\\core.dll"}), Files("Core"));
    EXPECT_EQ(2u, selector.SelectedCount());
}

TEST_F(SelectorTest, BasesAndFeatureNames) {
    std::string items = Item("Core", "bin\\a.dll") + Item("Core", "data\\b.dat", "CommonAppDataFolder") +
                        Item("Core", "c.dll", "ProgramFilesFolder") + Item("Other", "o.dll", "installdir") +
                        Item("", "nofeature.dll") + "<item><feature>Bare</feature></item>";
    ASSERT_TRUE(WriteTextFile(dir / "m.xml", OffCycleManifest(items)));
    ASSERT_EQ(S_OK, selector.LoadAllManifests(dir.Path().c_str(), "C:\\Install", "C:\\Common"));

    EXPECT_EQ((std::list<std::string>{"C:\\Install\\bin\\a.dll", "C:\\Common\\data\\b.dat", "c.dll"}), Files("Core"));
    EXPECT_EQ((std::list<std::string>{"o.dll"}), Files("Other"));  // base names are exact
    EXPECT_TRUE(Files("core").empty());                            // feature names are exact
    EXPECT_TRUE(Files("Missing").empty());
    // "all" in any letter case, or no name: every item that names a feature and a file, in
    // map order.
    const std::list<std::string> all = {"C:\\Install\\bin\\a.dll", "C:\\Common\\data\\b.dat", "c.dll", "o.dll"};
    for (const char* name : {"all", "ALL", "All", ""}) EXPECT_EQ(all, Files(name)) << name;
    EXPECT_EQ(4u, CountLines("In COffCycleFileSelector::GetFilesForFeature, an item of feature Bare names no file, "
                             "skipped"));
    // The lists are appended to.
    std::list<std::string> files = {"kept"};
    selector.GetFilesForFeature("Other", files, "C:\\Install", "C:\\Common");
    EXPECT_EQ((std::list<std::string>{"kept", "o.dll"}), files);
}

TEST_F(SelectorTest, NamesAreConvertedExactlyIntoTheAnsiCodePage) {
    if (GetACP() != 1252) GTEST_SKIP() << "the cases are written for code page 1252, this is " << GetACP();
    const char kSkipped[] = "In COffCycleFileSelector::GetFilesForFeature, ";
    struct Case {
        const char* file;      // manifest text
        const char* expected;  // path, or null: skipped
        const char* logged;    // the skip line names the item so
    } cases[] = {
        {"a&#x2013;b.dll",
         "I\\a\x96"
         "b.dll",
         nullptr},  // the en dash has a form in 1252
        {"caf&#xE9;\\r&amp;d.dat", "I\\caf\xE9\\r&d.dat", nullptr},
        {"x&#x4E2D;y.dll", nullptr, "file x?y.dll of feature F has no name in the ANSI code page, skipped"},
        {"&#x4E2D;", nullptr, "file ? of feature F has no name in the ANSI code page, skipped"},
        // Best fit would turn it into "Ab.dll", another file.
        {"&#x100;b.dll", nullptr, "file ?b.dll of feature F has no name in the ANSI code page, skipped"},
        {"", nullptr, "an item of feature F names no file, skipped"},
    };
    for (const auto& c : cases) {
        octest::Lines().clear();
        TestSelector one;
        one.SetLogger(octest::RecordLine);
        ASSERT_TRUE(WriteTextFile(dir / "m.xml", OffCycleManifest(Item("F", c.file))));
        ASSERT_EQ(S_OK, one.LoadAllManifests(dir.Path().c_str(), "I", "C"));
        ASSERT_EQ(1u, one.SelectedCount()) << c.file;
        std::list<std::string> files;
        EXPECT_EQ(S_OK, one.GetFilesForFeature("F", files, "I", "C"));
        if (c.expected) {
            EXPECT_EQ(std::list<std::string>{c.expected}, files) << c.file;
            EXPECT_EQ(0u, CountLines(kSkipped)) << c.file;
        } else {
            EXPECT_TRUE(files.empty()) << c.file << " gave " << (files.empty() ? "" : files.front());
            EXPECT_EQ(1u, CountLines(kSkipped + std::string(c.logged))) << c.file;
        }
    }
}

TEST_F(SelectorTest, ItemsWithoutAFileOrAKnownFolderAreSkipped) {
    std::string items = "<item><feature>Core</feature></item>" + Item("Core", "bin\\a.dll") +
                        Item("Core", "data\\b.dat", "CommonAppDataFolder") + Item("Core", "rel.dll", "SystemFolder");
    ASSERT_TRUE(WriteTextFile(dir / "m.xml", OffCycleManifest(items)));
    ASSERT_EQ(S_OK, selector.LoadAllManifests(dir.Path().c_str(), "I", "C"));
    struct Case {
        const char* installDir;
        const char* commonDir;
        std::list<std::string> files;
        size_t unknownFolders;
    } cases[] = {
        {"I", "C", {"I\\bin\\a.dll", "C\\data\\b.dat", "rel.dll"}, 0},
        // An unknown folder would put the file at the root of the current drive.
        {"I", "", {"I\\bin\\a.dll", "rel.dll"}, 1},
        {"", nullptr, {"rel.dll"}, 2},
    };
    for (const auto& c : cases) {
        octest::Lines().clear();
        std::list<std::string> files;
        selector.GetFilesForFeature("Core", files, c.installDir, c.commonDir);
        EXPECT_EQ(c.files, files);
        EXPECT_EQ(1u, CountLines("In COffCycleFileSelector::GetFilesForFeature, an item of feature Core names no file, "
                                 "skipped"));
        EXPECT_EQ(c.unknownFolders, CountLines("is not known, skipped"));
    }
    EXPECT_EQ(1u, CountLines("file data\\b.dat of feature Core: the folder of base CommonAppDataFolder is not known, "
                             "skipped"));
}

// Listed files are moved aside and back as administrator: a text that leaves its base
// folder would move a file of somebody else.
TEST_F(SelectorTest, FilesOutsideTheirBaseFolderAreSkipped) {
    const char* hostile[] = {"..\\outside.dll", "bin\\..\\..\\outside.dll", "C:\\Windows\\win.ini",
                             "\\rooted.dll", "bin/a.dll", "bin\\CON", "NUL.txt", "x:y.dll"};
    std::string items = Item("Core", "bin\\ok.dll");
    for (const char* text : hostile) items += Item("Core", text) + Item("Core", text, "CommonAppDataFolder");
    ASSERT_TRUE(WriteTextFile(dir / "m.xml", OffCycleManifest(items)));
    ASSERT_EQ(S_OK, selector.LoadAllManifests(dir.Path().c_str(), "C:\\Install", "C:\\Common"));
    octest::Lines().clear();
    EXPECT_EQ(std::list<std::string>({"C:\\Install\\bin\\ok.dll"}), Files("Core"));
    EXPECT_EQ(2 * (sizeof(hostile) / sizeof(hostile[0])), CountLines("does not name a file inside its folder, skipped"));
}

TEST_F(SelectorTest, FeatureNamesAreReadInTheAnsiCodePage) {
    if (GetACP() != 1252) GTEST_SKIP() << "the case is written for code page 1252, this is " << GetACP();
    ASSERT_TRUE(
        WriteTextFile(dir / "m.xml", OffCycleManifest(Item("R&#x2013;D", "rd.dll") + Item("Caf\xE9", "c.dll"))));
    ASSERT_EQ(S_OK, selector.LoadAllManifests(dir.Path().c_str(), "I", "C"));
    EXPECT_EQ((std::list<std::string>{"C:\\Install\\rd.dll"}), Files("R\x96"
                                                                     "D"));
    EXPECT_EQ((std::list<std::string>{"C:\\Install\\c.dll"}), Files("Caf\xE9"));
}

TEST_F(SelectorTest, SameFeatureInTwoManifestsYieldsBothInLoadOrder) {
    ASSERT_TRUE(WriteTextFile(dir / "one.xml", OffCycleManifest(Item("Shared", "one.dll"))));
    ASSERT_TRUE(
        WriteTextFile(dir / "two.xml", OffCycleManifest(Item("Shared", "two.dll") + Item("Shared", "three.dll"))));
    ASSERT_EQ(S_OK, selector.LoadAllManifests(dir.Path().c_str(), "I", "C"));
    size_t one = LoadPosition("one.xml"), two = LoadPosition("two.xml");
    ASSERT_NE(std::string::npos, one);
    ASSERT_NE(std::string::npos, two);
    std::list<std::string> expected = one < two ? std::list<std::string>{"I\\one.dll", "I\\two.dll", "I\\three.dll"}
                                                : std::list<std::string>{"I\\two.dll", "I\\three.dll", "I\\one.dll"};
    std::list<std::string> files;
    selector.GetFilesForFeature("Shared", files, "I", "C");
    EXPECT_EQ(expected, files);

    // Loading the folder again adds its items once more.
    ASSERT_EQ(S_OK, selector.LoadAllManifests(dir.Path().c_str(), "I", "C"));
    EXPECT_EQ(6u, selector.SelectedCount());
}

TEST_F(SelectorTest, UlipTriggerStartsTheRestoreInsteadOfALoad) {
    ASSERT_TRUE(WriteTextFile(dir / "ulip0_2024.xml", "not even xml"));
    ASSERT_TRUE(WriteTextFile(dir / "ULIP0X.xml", OffCycleManifest(Item("Core", "u.dll"))));
    ASSERT_TRUE(WriteTextFile(dir / "ulip1.xml", "not xml"));
    // A trailing backslash gives a doubled one between folder and name.
    std::string folder = dir.Path() + "\\";
    ASSERT_EQ(S_OK, selector.LoadAllManifests(folder.c_str(), "C:\\Install", "C:\\Common"));
    EXPECT_EQ(1u, CountLines("looking for manifest files: " + folder + "*.xml"));
    // One restore per trigger; without a product executable in the install folder each ends
    // at the version step.
    EXPECT_EQ(2u, CountLines("Restoring ULIP files..."));
    EXPECT_EQ(2u, CountLines("Patch: Failed to read TW major minor version with GetLastError : "));
    EXPECT_EQ(2u, CountLines("ULIP logic completed."));
    EXPECT_EQ(1u, CountLines(kLoaded + std::string("ulip0_2024.xml\"")));
    EXPECT_EQ(1u, CountLines(kLoaded + std::string("ULIP0X.xml\"")));
    EXPECT_EQ(1u, CountLines(kNotLoaded + std::string("ulip1.xml\"")));
    EXPECT_EQ(0u, selector.SelectedCount());  // a trigger file is not read
}

TEST_F(SelectorTest, FolderWithoutManifestsIsNoError) {
    for (std::string folder : {dir.Path(), dir / "missing"}) {
        octest::Lines().clear();
        EXPECT_EQ(S_OK, selector.LoadAllManifests(folder.c_str(), "I", "C")) << folder;
        EXPECT_EQ(1u, CountLines("In COffCycleFileSelector::LoadAllManifests, no matching manifest files")) << folder;
    }
    EXPECT_EQ(0u, selector.SelectedCount());
}

TEST_F(SelectorTest, ReaderIsCreatedOnceAndMissingFileFails) {
    EXPECT_EQ(S_OK, selector.InitializeReader());
    EXPECT_EQ(S_OK, selector.InitializeReader());
    EXPECT_EQ(static_cast<HRESULT>(0x80070002), selector.LoadManifestFile((dir / "absent.xml").c_str()));
    EXPECT_EQ(1u, CountLines("Error loading manifest"));
}

TEST_F(SelectorTest, ReaderFailureFailsEveryManifestButVisitsAll) {
    ASSERT_TRUE(WriteTextFile(dir / "a.xml", OffCycleManifest(Item("F", "f.dll"))));
    ASSERT_TRUE(WriteTextFile(dir / "b.xml", OffCycleManifest(Item("G", "g.dll"))));
    // A thread already in the multithreaded apartment cannot be initialised as single-threaded.
    HRESULT result = E_UNEXPECTED;
    size_t selected = 99;
    std::thread worker([&] {
        HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        {
            TestSelector mta;
            mta.SetLogger(octest::RecordLine);
            result = mta.LoadAllManifests(dir.Path().c_str(), "I", "C");
            selected = mta.SelectedCount();
        }
        if (SUCCEEDED(init)) CoUninitialize();
    });
    worker.join();
    EXPECT_EQ(S_OK, result);
    EXPECT_EQ(0u, selected);
    EXPECT_EQ(2u, CountLines("Error initializing COM"));
    EXPECT_EQ(2u, CountLines(kNotLoaded));
}

TEST_F(SelectorTest, NoLoggerDropsLines) {
    TestSelector quiet;
    ASSERT_TRUE(WriteTextFile(dir / "a.xml", OffCycleManifest(Item("F", "f.dll"))));
    EXPECT_EQ(S_OK, quiet.LoadAllManifests(dir.Path().c_str(), "I", "C"));
    EXPECT_EQ(1u, quiet.SelectedCount());
    EXPECT_TRUE(octest::Lines().empty());
}

TEST_F(SelectorTest, LongNamesAndTextsAreHandled) {
    // Long file texts and a long manifest name: lines are cut at the buffer, paths are whole.
    std::string longFile = std::string(3000, 'q') + ".dll";
    std::string name = std::string(200, 'm') + ".xml";
    ASSERT_TRUE(WriteTextFile(dir / name, OffCycleManifest(Item("Long", longFile))));
    std::string longInstall(2500, 'i');
    ASSERT_EQ(S_OK, selector.LoadAllManifests(dir.Path().c_str(), longInstall.c_str(), "C"));
    std::list<std::string> files;
    selector.GetFilesForFeature("Long", files, longInstall.c_str(), "C");
    ASSERT_EQ(1u, files.size());
    EXPECT_EQ(longInstall + "\\" + longFile, files.front());
    for (const auto& line : octest::Lines()) EXPECT_LE(line.size(), 2047u);
}

}  // namespace
