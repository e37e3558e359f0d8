#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "OffCycleTestSupport.h"
#include "common/TestSupport.h"
#include "common/TrackingRecorder.h"
#include "logging/InstallTracker.h"
#include "logging/StatusLogMgr.h"
#include "common/PathRules.h"
#include "offcycle/OffCycleContentCopier.h"
#include "offcycle/OffCycleCopyName.h"
#include "offcycle/OffCycleJournal.h"
#include "offcycle/OffCycleManager.h"

using octest::CountLines;
using octest::ListFolder;
using octest::ReadBinaryFile;
using octest::WriteBinaryFile;
using tw::COffCycleContentCopier;
using tw::COffCycleJournal;
using twtest::FileExists;
using twtest::TempDir;

namespace {

class JournalTest : public ::testing::Test {
protected:
    void SetUp() override {
        octest::Lines().clear();
        tw::StatusLogMgr::RenameLogFile(logDir.Path().c_str());
        octest::LetErrorMessagesThrough();
    }

    // Files of the journal folder whose name begins with "OffCycleJournal".
    std::vector<std::string> JournalFiles() const {
        std::vector<std::string> found;
        for (const std::string& name : ListFolder(journalDir.Path()))
            if (name.rfind("OffCycleJournal", 0) == 0) found.push_back(name);
        return found;
    }

    std::vector<std::string> CopiesIn(const std::string& folder) const {
        std::vector<std::string> found;
        for (const std::string& name : ListFolder(folder))
            if (name.find("._OC") != std::string::npos) found.push_back(name);
        return found;
    }

    // A copier that saves the files into copies and records them in the journal, as a run
    // does up to the moment it is interrupted: by default once Windows Installer was called.
    std::unique_ptr<COffCycleContentCopier> SaveAndInterrupt(const std::vector<std::string>& files,
                                                             bool applyStarted = true) {
        std::unique_ptr<COffCycleContentCopier> copier(new COffCycleContentCopier(false));
        copier->SetLogger(octest::RecordLine);
        copier->SetJournalFolder(journalDir.Path());
        copier->PlanSave(files);
        for (const std::string& file : files) EXPECT_EQ(S_OK, copier->SaveFile(file.c_str()));
        if (applyStarted) copier->MarkApplyStarting();
        return copier;
    }

    // The manager of the next run: the same journal folder, the product folder trusted.
    void PrepareNextRun(tw::COffCycleManager& manager) const {
        manager.SetLogger(octest::RecordLine);
        manager.SetJournalFolder(journalDir.Path());
        manager.SetJournalTrustedFolders({productDir.Path()});
    }

    // The copy the journal names for a source.
    std::string CopyOf(const std::string& source) const {
        std::vector<COffCycleJournal::Entry> entries;
        COffCycleJournal journal(journalDir.Path());
        EXPECT_EQ(COffCycleJournal::ReadResult::kRead, journal.Read(entries, nullptr));
        for (const auto& entry : entries)
            if (entry.source == source) return entry.copy;
        return std::string();
    }

    twtest::SeamGuard seams;
    TempDir logDir{"log"};
    TempDir journalDir{"journal"};
    TempDir productDir{"product"};
    twtest::TrackingRecorder sender;
};

TEST_F(JournalTest, HashesAreSha256OfTheContent) {
    EXPECT_EQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", COffCycleJournal::HashBytes("", 0));
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
              COffCycleJournal::HashBytes("abc", 3));
    // A file larger than one read block hashes as its bytes do.
    std::string big(200000, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
    ASSERT_TRUE(WriteBinaryFile(productDir / "big.bin", big));
    uint64_t size = 0;
    std::string hash;
    ASSERT_TRUE(COffCycleJournal::HashFile(productDir / "big.bin", &size, &hash, nullptr));
    EXPECT_EQ(big.size(), size);
    EXPECT_EQ(COffCycleJournal::HashBytes(big.data(), big.size()), hash);
    DWORD error = 0;
    EXPECT_FALSE(COffCycleJournal::HashFile(productDir / "none.bin", &size, &hash, &error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), error);
}

TEST_F(JournalTest, TextRoundTripsAndAnyDamageMakesItUnreadable) {
    const std::string hash(64, 'a');
    std::vector<COffCycleJournal::Entry> entries = {
        {"C:\\TW\\Rates\\taxrates.dat", "C:\\TW\\Rates\\taxrates._OCab12cd.dat", 42, hash},
        {"C:\\TW\\Rates\\README", "C:\\TW\\Rates\\README._OCzz0099", 0, std::string(64, '0')},
    };
    const std::string text = COffCycleJournal::Format(entries);
    std::vector<COffCycleJournal::Entry> read;
    std::string error;
    ASSERT_TRUE(COffCycleJournal::Parse(text, read, &error)) << error;
    ASSERT_EQ(2u, read.size());
    EXPECT_EQ(entries[0].source, read[0].source);
    EXPECT_EQ(entries[0].copy, read[0].copy);
    EXPECT_EQ(42u, read[0].size);
    EXPECT_EQ(hash, read[0].hash);
    EXPECT_EQ(entries[1].copy, read[1].copy);

    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string changed = text;
        changed.replace(changed.find(from), from.size(), to);
        return changed;
    };
    struct Case {
        const char* what;
        std::string text;
    };
    const Case cases[] = {
        {"empty", ""},
        {"cut in the middle", text.substr(0, text.size() / 2)},
        {"without its end line", text.substr(0, text.find("end\t"))},
        {"a size changed", replaced("\t42\t", "\t43\t")},
        {"a path changed", replaced("taxrates.dat\t", "taxrate5.dat\t")},
        {"another header", replaced("journal 1", "journal 2")},
        {"a copy in another folder", replaced("C:\\TW\\Rates\\taxrates._OC", "C:\\TW\\Other\\taxrates._OC")},
        {"text after the end", text + "file\t1\t" + hash + "\tC:\\a.txt\tC:\\a._OCaaaaaa.txt\r\n"},
    };
    for (const Case& c : cases) {
        std::vector<COffCycleJournal::Entry> none;
        EXPECT_FALSE(COffCycleJournal::Parse(c.text, none, &error)) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
        EXPECT_TRUE(none.empty()) << c.what;
    }
}

TEST_F(JournalTest, OnlyTheCopierNamesCountAsCopies) {
    struct Case {
        const char* source;
        const char* copy;
        bool isCopy;
    };
    const Case cases[] = {
        {"C:\\TW\\taxrates.dat", "C:\\TW\\taxrates._OCab12cd.dat", true},
        {"C:\\TW\\TaxRates.DAT", "c:\\tw\\taxrates._OCab12cd.dat", true},
        {"C:\\TW\\README", "C:\\TW\\README._OC000000", true},
        {"C:\\TW\\a.b.c", "C:\\TW\\a.b._OCqqqqqq.c", true},
        {"C:\\TW\\taxrates.dat", "C:\\TW\\taxrates._OCab12c.dat", false},
        {"C:\\TW\\taxrates.dat", "C:\\TW\\taxrates._OCAB12CD.dat", false},
        {"C:\\TW\\taxrates.dat", "C:\\TW\\taxrates._OCab12cd.exe", false},
        {"C:\\TW\\taxrates.dat", "C:\\TW\\sub\\taxrates._OCab12cd.dat", false},
        {"C:\\TW\\taxrates.dat", "C:\\Windows\\system32\\kernel32.dll", false},
        {"C:\\TW\\taxrates.dat", "C:\\TW\\..\\taxrates._OCab12cd.dat", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.isCopy, COffCycleJournal::IsCopyNameOf(c.source, c.copy)) << c.source << " / " << c.copy;
}

TEST_F(JournalTest, SaveWritesTheJournalFirstAndACompleteRestoreRemovesIt) {
    const std::string rates = productDir / "taxrates.dat";
    const std::string local = productDir / "localrates.dat";
    ASSERT_TRUE(WriteBinaryFile(rates, "rates off-cycle"));
    ASSERT_TRUE(WriteBinaryFile(local, "local off-cycle"));

    COffCycleContentCopier copier(false);
    copier.SetLogger(octest::RecordLine);
    copier.SetJournalFolder(journalDir.Path());
    copier.PlanSave({rates, local, productDir / "absent.dat"});
    // Written before any copy exists, naming the copies that will be made.
    ASSERT_EQ(std::vector<std::string>{"OffCycleJournal.txt"}, JournalFiles());
    EXPECT_TRUE(CopiesIn(productDir.Path()).empty());
    std::vector<COffCycleJournal::Entry> entries;
    ASSERT_EQ(COffCycleJournal::ReadResult::kRead, COffCycleJournal(journalDir.Path()).Read(entries, nullptr));
    ASSERT_EQ(2u, entries.size());  // the absent file is not installed and not named
    std::set<std::string> sources = {entries[0].source, entries[1].source};
    EXPECT_EQ((std::set<std::string>{rates, local}), sources);
    for (const auto& entry : entries) {
        EXPECT_EQ(15u, entry.size);
        EXPECT_EQ(COffCycleJournal::HashBytes(ReadBinaryFile(entry.source).data(), 15), entry.hash);
    }

    EXPECT_EQ(S_OK, copier.SaveFile(rates.c_str()));
    EXPECT_EQ(S_OK, copier.SaveFile(local.c_str()));
    EXPECT_EQ(S_OK, copier.SaveFile((productDir / "absent.dat").c_str()));
    // The copies made are the ones the journal names.
    EXPECT_TRUE(FileExists(CopyOf(rates)));
    EXPECT_TRUE(FileExists(CopyOf(local)));

    ASSERT_TRUE(WriteBinaryFile(rates, "patched"));
    bool restart = false;
    EXPECT_EQ(0, copier.RestoreAllFiles(restart));
    EXPECT_EQ("rates off-cycle", ReadBinaryFile(rates));
    EXPECT_TRUE(JournalFiles().empty());
    EXPECT_TRUE(CopiesIn(productDir.Path()).empty());
}

TEST_F(JournalTest, ARestoreThatLeavesAFileBehindKeepsTheJournal) {
    const std::string rates = productDir / "taxrates.dat";
    ASSERT_TRUE(WriteBinaryFile(rates, "rates off-cycle"));
    auto copier = SaveAndInterrupt({rates});
    // The source is now a folder: the copy cannot be moved over it.
    ASSERT_TRUE(::DeleteFileA(rates.c_str()));
    ASSERT_TRUE(::CreateDirectoryA(rates.c_str(), nullptr));
    octest::PendingRenamesGuard renames;
    bool restart = false;
    const int failed = copier->RestoreAllFiles(restart);
    // Not back now: a failure, or a move left to the next restart.
    EXPECT_TRUE(failed == 1 || restart) << failed;
    EXPECT_EQ(std::vector<std::string>{"OffCycleJournal.txt"}, JournalFiles());
    EXPECT_EQ(1u, CountLines("kept for the next run"));
    ASSERT_TRUE(::RemoveDirectoryA(rates.c_str()));
}

TEST_F(JournalTest, ReplayPutsBackIntactCopiesAndLeavesDamagedOnesAlone) {
    struct File {
        const char* name;
        const char* content;
    };
    const File files[] = {{"taxrates.dat", "rates off-cycle"},
                          {"localrates.dat", "local off-cycle"},
                          {"banks.dat", "banks off-cycle"},
                          {"forms.dat", "forms off-cycle"}};
    std::vector<std::string> paths;
    for (const File& f : files) {
        paths.push_back(productDir / f.name);
        ASSERT_TRUE(WriteBinaryFile(paths.back(), f.content));
    }
    const std::string unpatched = productDir / "unpatched.dat";
    ASSERT_TRUE(WriteBinaryFile(unpatched, "kept off-cycle"));
    paths.push_back(unpatched);
    auto copier = SaveAndInterrupt(paths);
    copier.reset();  // a run killed here leaves copies and journal behind (copy mode false)
    ASSERT_EQ(5u, CopiesIn(productDir.Path()).size());
    // The copy of a file the patch did not reach was cut short by the interruption.
    const std::string cutCopy = CopyOf(unpatched);
    ASSERT_TRUE(WriteBinaryFile(cutCopy, "kept"));
    paths.pop_back();

    // What the patch and the interruption left: every file overwritten; one copy altered,
    // one copy gone while its file is as saved (it was put back before the end).
    for (const std::string& path : paths) ASSERT_TRUE(WriteBinaryFile(path, "patched"));
    ASSERT_TRUE(WriteBinaryFile(CopyOf(paths[2]), "banks off-cyclX"));
    ASSERT_TRUE(::MoveFileExA(CopyOf(paths[3]).c_str(), paths[3].c_str(), MOVEFILE_REPLACE_EXISTING));
    const std::string banksCopy = CopyOf(paths[2]);

    tw::COffCycleManager manager(false);
    PrepareNextRun(manager);
    const COffCycleJournal::ReplayOutcome outcome = manager.ReplayJournal();
    EXPECT_TRUE(outcome.found);
    EXPECT_FALSE(outcome.unreadable);
    EXPECT_EQ(2, outcome.restored);
    EXPECT_EQ(2, outcome.alreadyInPlace);
    EXPECT_EQ(1, outcome.leftAlone);
    EXPECT_EQ("kept off-cycle", ReadBinaryFile(unpatched));
    EXPECT_FALSE(FileExists(cutCopy));

    EXPECT_EQ("rates off-cycle", ReadBinaryFile(paths[0]));
    EXPECT_EQ("local off-cycle", ReadBinaryFile(paths[1]));
    EXPECT_EQ("forms off-cycle", ReadBinaryFile(paths[3]));
    // The altered copy is neither used nor removed, and the file keeps what it has.
    EXPECT_EQ("patched", ReadBinaryFile(paths[2]));
    EXPECT_EQ("banks off-cyclX", ReadBinaryFile(banksCopy));
    EXPECT_EQ(1u, CountLines("is not what was saved of " + paths[2]));

    // The journal is set aside, never read again; a new run finds none.
    ASSERT_EQ(1u, JournalFiles().size());
    EXPECT_EQ(0u, JournalFiles()[0].find("OffCycleJournal-kept-"));
    EXPECT_FALSE(manager.ReplayJournal().found);

    ASSERT_EQ(1u, sender.messages.size());
    EXPECT_TRUE(sender.messages[0].isError);
    EXPECT_NE(std::string::npos, sender.messages[0].text.find("2 restored, 2 already in place, 1 left alone"));
}

TEST_F(JournalTest, ReplayOfACompleteRecoveryRemovesTheJournal) {
    const std::string rates = productDir / "taxrates.dat";
    ASSERT_TRUE(WriteBinaryFile(rates, "rates off-cycle"));
    SaveAndInterrupt({rates}).reset();
    ASSERT_TRUE(WriteBinaryFile(rates, "patched"));

    tw::COffCycleManager manager(false);
    PrepareNextRun(manager);
    const auto outcome = manager.ReplayJournal();
    EXPECT_EQ(1, outcome.restored);
    EXPECT_EQ("rates off-cycle", ReadBinaryFile(rates));
    EXPECT_TRUE(JournalFiles().empty());
    EXPECT_TRUE(CopiesIn(productDir.Path()).empty());
    EXPECT_EQ(1u, sender.messages.size());
    // Nothing left: the next run has nothing to do and says nothing.
    EXPECT_FALSE(manager.ReplayJournal().found);
    EXPECT_EQ(1u, sender.messages.size());
}

TEST_F(JournalTest, AnUnreadableJournalIsSetAsideAndNeverActedOn) {
    const std::string rates = productDir / "taxrates.dat";
    ASSERT_TRUE(WriteBinaryFile(rates, "rates off-cycle"));
    SaveAndInterrupt({rates}).reset();
    const std::string copy = CopyOf(rates);
    ASSERT_TRUE(WriteBinaryFile(rates, "patched"));
    // One byte of the journal changed.
    const std::string journalPath = journalDir / "OffCycleJournal.txt";
    std::string text = ReadBinaryFile(journalPath);
    text[text.find("taxrates")] = 'T';
    ASSERT_TRUE(WriteBinaryFile(journalPath, text));

    tw::COffCycleManager manager(false);
    PrepareNextRun(manager);
    const auto outcome = manager.ReplayJournal();
    EXPECT_TRUE(outcome.found);
    EXPECT_TRUE(outcome.unreadable);
    EXPECT_EQ(0, outcome.restored);
    EXPECT_EQ("patched", ReadBinaryFile(rates));
    EXPECT_TRUE(FileExists(copy));
    ASSERT_EQ(1u, JournalFiles().size());
    EXPECT_EQ(0u, JournalFiles()[0].find("OffCycleJournal-unreadable-"));
    EXPECT_EQ(text, ReadBinaryFile(journalDir / JournalFiles()[0]));
    ASSERT_EQ(1u, sender.messages.size());
    EXPECT_TRUE(sender.messages[0].isError);
    EXPECT_NE(std::string::npos, sender.messages[0].text.find("cannot be read"));
    ASSERT_TRUE(::DeleteFileA(copy.c_str()));
}

TEST_F(JournalTest, WithoutAWritableJournalFolderFilesAreStillSavedAndRestored) {
    const std::string rates = productDir / "taxrates.dat";
    ASSERT_TRUE(WriteBinaryFile(rates, "rates off-cycle"));
    COffCycleContentCopier copier(false);
    copier.SetLogger(octest::RecordLine);
    copier.SetJournalFolder(journalDir / "no such folder");
    copier.PlanSave({rates});
    EXPECT_EQ(1u, CountLines("could not be written, files are saved without it"));
    EXPECT_EQ(S_OK, copier.SaveFile(rates.c_str()));
    ASSERT_TRUE(WriteBinaryFile(rates, "patched"));
    bool restart = false;
    EXPECT_EQ(0, copier.RestoreAllFiles(restart));
    EXPECT_EQ("rates off-cycle", ReadBinaryFile(rates));
    EXPECT_TRUE(CopiesIn(productDir.Path()).empty());
}

TEST_F(JournalTest, AFileThatCannotBeReadIsNeitherJournaledNorCopied) {
    const std::string rates = productDir / "taxrates.dat";
    const std::string local = productDir / "localrates.dat";
    ASSERT_TRUE(WriteBinaryFile(rates, "rates off-cycle"));
    ASSERT_TRUE(WriteBinaryFile(local, "local off-cycle"));
    tw::FileHandle lock(
        ::CreateFileA(rates.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(lock.IsValid());
    COffCycleContentCopier copier(false);
    copier.SetLogger(octest::RecordLine);
    copier.SetJournalFolder(journalDir.Path());
    copier.PlanSave({rates, local});
    EXPECT_EQ(E_FAIL, copier.SaveFile(rates.c_str()));
    EXPECT_EQ(S_OK, copier.SaveFile(local.c_str()));
    std::vector<COffCycleJournal::Entry> entries;
    ASSERT_EQ(COffCycleJournal::ReadResult::kRead, COffCycleJournal(journalDir.Path()).Read(entries, nullptr));
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ(local, entries[0].source);
    EXPECT_EQ(1u, CopiesIn(productDir.Path()).size());
    lock.Reset();
    bool restart = false;
    EXPECT_EQ(0, copier.RestoreAllFiles(restart));
    EXPECT_TRUE(JournalFiles().empty());
}

// The replay decides first, as data: the table of what is found for an entry and what is
// done with it (the table in docs/interruptions.md).
TEST(JournalReplayPlan, EachEntryGetsTheActionOfItsRow) {
    using Action = COffCycleJournal::Action;
    struct Row {
        const char* what;
        bool applyStarted;
        bool copyExists, copyReadable, copyAsSaved, sourceAsSaved;
        Action action;
        const char* line;
    } rows[] = {
        {"copy intact, patch started", true, true, true, true, false, Action::kRestore, "restored C:\\P\\a.dat from"},
        {"copy intact, file as saved too", true, true, true, true, true, Action::kRestore, "restored"},
        {"copy intact, patch never started", false, true, true, true, false, Action::kDeleteUnusedCopy,
         "ended before the patch was applied: C:\\P\\a.dat is left as it is, its copy"},
        {"copy intact, never started, file as saved", false, true, true, true, true, Action::kDeleteUnusedCopy,
         "before the patch was applied"},
        {"copy cut short, file as saved", true, true, true, false, true, Action::kDeleteIncompleteCopy,
         "is as it was saved, its incomplete copy"},
        {"copy cut short, never started, file as saved", false, true, true, false, true, Action::kDeleteIncompleteCopy,
         "its incomplete copy"},
        {"copy cut short, file changed", true, true, true, false, false, Action::kLeaveAlone,
         "is not what was saved of C:\\P\\a.dat (5 bytes"},
        {"copy unreadable", true, true, false, false, true, Action::kLeaveAlone, "cannot read the copy"},
        {"copy missing, file as saved", true, false, false, false, true, Action::kNothing, "no copy to restore"},
        {"copy missing, file changed", true, false, false, false, false, Action::kLeaveAlone,
         "is missing and the file is not what was saved"},
        {"copy missing, never started, file changed", false, false, false, false, false, Action::kLeaveAlone,
         "is missing"},
    };
    const COffCycleJournal::Entry entry{"C:\\P\\a.dat", "C:\\P\\a._OCabc123.dat", 5, std::string(64, 'b')};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        COffCycleJournal::Observation seen;
        seen.copyExists = row.copyExists;
        seen.copyReadable = row.copyReadable;
        seen.copyError = row.copyReadable ? NO_ERROR : ERROR_SHARING_VIOLATION;
        seen.copyAsSaved = row.copyAsSaved;
        seen.sourceAsSaved = row.sourceAsSaved;
        const auto plan = COffCycleJournal::PlanReplay({entry}, {seen}, row.applyStarted);
        ASSERT_EQ(1u, plan.size());
        EXPECT_EQ(row.action, plan[0].action);
        EXPECT_EQ(entry.source, plan[0].entry.source);
        EXPECT_EQ(0u, plan[0].logLine.find("In COffCycleJournal::Replay, ")) << plan[0].logLine;
        EXPECT_NE(std::string::npos, plan[0].logLine.find(row.line)) << plan[0].logLine;
    }
}

TEST_F(JournalTest, TheApplyingLineIsPartOfTheCheckedText) {
    const std::vector<COffCycleJournal::Entry> entries = {
        {"C:\\TW\\taxrates.dat", "C:\\TW\\taxrates._OCab12cd.dat", 42, std::string(64, 'a')}};
    for (bool applying : {false, true}) {
        std::vector<COffCycleJournal::Entry> read;
        bool started = !applying;
        ASSERT_TRUE(COffCycleJournal::Parse(COffCycleJournal::Format(entries, applying), read, nullptr, &started));
        EXPECT_EQ(applying, started);
    }
    // Added by hand, it breaks the checksum; a file line after it is refused.
    std::string text = COffCycleJournal::Format(entries, false);
    text.insert(text.find("end\t"), "state\tapplying\r\n");
    std::vector<COffCycleJournal::Entry> read;
    EXPECT_FALSE(COffCycleJournal::Parse(text, read, nullptr));
    text = COffCycleJournal::Format(entries, true);
    text.insert(text.find("end\t"),
                "file\t1\t" + std::string(64, 'a') + "\tC:\\TW\\b.dat\tC:\\TW\\b._OCaaaaaa.dat\r\n");
    EXPECT_FALSE(COffCycleJournal::Parse(text, read, nullptr));
}

// A run that died before Windows Installer was called changed no file of the product: its
// copies are deleted, and whatever changed the file since stays.
TEST_F(JournalTest, CopiesOfASaveThatNoPatchFollowedAreDeletedNotPutBack) {
    const std::string rates = productDir / "taxrates.dat";
    ASSERT_TRUE(WriteBinaryFile(rates, "rates off-cycle"));
    SaveAndInterrupt({rates}, false).reset();
    const std::string copy = CopyOf(rates);
    ASSERT_TRUE(FileExists(copy));
    ASSERT_TRUE(WriteBinaryFile(rates, "changed by the product since"));

    tw::COffCycleManager manager(false);
    PrepareNextRun(manager);
    const auto outcome = manager.ReplayJournal();
    EXPECT_TRUE(outcome.found);
    EXPECT_EQ(0, outcome.restored);
    EXPECT_EQ(1, outcome.unusedCopiesDeleted);
    EXPECT_EQ(0, outcome.leftAlone);
    EXPECT_EQ("changed by the product since", ReadBinaryFile(rates));
    EXPECT_FALSE(FileExists(copy));
    EXPECT_TRUE(JournalFiles().empty());
    EXPECT_EQ(1u, CountLines("ended before the patch was applied: " + rates));
    ASSERT_EQ(1u, sender.messages.size());
    EXPECT_NE(std::string::npos, sender.messages[0].text.find("1 deleted (the patch had not been applied)"));
}

// A journal is trusted only for files of the product: one written by hand that names any
// other file, with a copy and checksum that match, is set aside and nothing is moved.
TEST_F(JournalTest, AJournalNamingAFileOutsideTheProductIsNeverActedOn) {
    TempDir elsewhere{"victim"};
    const std::string sibling = productDir.Path() + "X";
    ASSERT_TRUE(twtest::MakeDirs(sibling));
    struct Case {
        const char* what;
        std::string source;
    } cases[] = {
        {"another folder", elsewhere / "victim.dat"},
        {"climbing out of the product folder",
         productDir.Path() + "\\..\\" + elsewhere.Path().substr(elsewhere.Path().rfind('\\') + 1) + "\\victim.dat"},
        {"a folder whose name begins like the product's", sibling + "\\victim.dat"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sender.messages.clear();
        const std::string victim = tw::CPathRules::Normalise(c.source);
        ASSERT_TRUE(WriteBinaryFile(victim, "the victim's own content"));
        const std::string planted = "planted content";
        const std::string copy = tw::COffCycleCopyName::Compose(c.source, "ab12cd");
        ASSERT_TRUE(WriteBinaryFile(copy, planted));
        COffCycleJournal::Entry entry{c.source, copy, planted.size(),
                                      COffCycleJournal::HashBytes(planted.data(), planted.size())};
        ASSERT_TRUE(COffCycleJournal(journalDir.Path()).Write({entry}, nullptr, true));

        tw::COffCycleManager manager(false);
        PrepareNextRun(manager);
        const auto outcome = manager.ReplayJournal();
        EXPECT_TRUE(outcome.unreadable);
        EXPECT_EQ(0, outcome.restored);
        EXPECT_EQ("the victim's own content", ReadBinaryFile(victim));
        EXPECT_EQ(planted, ReadBinaryFile(copy));
        ASSERT_EQ(1u, JournalFiles().size());
        EXPECT_EQ(0u, JournalFiles()[0].find("OffCycleJournal-unreadable-"));
        ASSERT_EQ(1u, sender.messages.size());
        EXPECT_NE(std::string::npos, sender.messages[0].text.find("outside the product's folders"));
        ::DeleteFileA(copy.c_str());
        ::DeleteFileA(victim.c_str());
        for (const std::string& name : JournalFiles()) ::DeleteFileA((journalDir / name).c_str());
    }
    // Without trusted folders nothing is trusted.
    const std::string rates = productDir / "taxrates.dat";
    ASSERT_TRUE(WriteBinaryFile(rates, "rates off-cycle"));
    SaveAndInterrupt({rates}).reset();
    ASSERT_TRUE(WriteBinaryFile(rates, "patched"));
    tw::COffCycleManager manager(false);
    manager.SetJournalFolder(journalDir.Path());
    EXPECT_TRUE(manager.ReplayJournal().unreadable);
    EXPECT_EQ("patched", ReadBinaryFile(rates));
    twtest::RemoveTree(sibling);
}

// Where earlier versions kept the journal standard users can add files: a journal found
// there is set aside unread, whatever it names.
TEST_F(JournalTest, AJournalInTheUpdateLogFolderIsSetAsideUnread) {
    TempDir oldFolder{"oldlog"};
    const std::string rates = productDir / "taxrates.dat";
    ASSERT_TRUE(WriteBinaryFile(rates, "patched"));
    const std::string planted = "planted content";
    const std::string copy = tw::COffCycleCopyName::Compose(rates, "zz9999");
    ASSERT_TRUE(WriteBinaryFile(copy, planted));
    COffCycleJournal::Entry entry{rates, copy, planted.size(),
                                  COffCycleJournal::HashBytes(planted.data(), planted.size())};
    ASSERT_TRUE(COffCycleJournal(oldFolder.Path()).Write({entry}, nullptr, true));

    const std::string keptAs = COffCycleJournal::SetAsideUntrusted(oldFolder.Path(), octest::RecordLine);
    EXPECT_NE(std::string::npos, keptAs.find("OffCycleJournal-untrusted-"));
    EXPECT_FALSE(FileExists(oldFolder / "OffCycleJournal.txt"));
    EXPECT_EQ("patched", ReadBinaryFile(rates));
    EXPECT_EQ(planted, ReadBinaryFile(copy));
    EXPECT_EQ(1u, CountLines("lies in a folder that standard users can change"));
    ASSERT_EQ(1u, sender.messages.size());
    // Nothing there: nothing said.
    EXPECT_TRUE(COffCycleJournal::SetAsideUntrusted(oldFolder.Path(), octest::RecordLine).empty());
    EXPECT_EQ(1u, sender.messages.size());
    ::DeleteFileA(copy.c_str());
}

}  // namespace
