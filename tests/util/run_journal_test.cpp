// The journal's file: what a writer puts in, a reader gets back, as far as whole lines go.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/TempDir.h"
#include "util/IoError.h"
#include "util/RunJournal.h"
#include "util/UniqueFd.h"

namespace quillon {
namespace {

using testing::ReadBytes;
using testing::TempDir;

class RunJournalTest : public ::testing::Test {
 protected:
  // A journal of one destination and the files, each made in the temporary folder.
  std::string WriteJournal(const std::vector<std::string>& names) {
    JournalWriter writer(journal);
    writer.Begin(dir.path() + "/odd\tname%\n", FileIdentity{1, 2, 3, 4, 5}, true);
    for (const std::string& name : names) {
      writer.RecordFile(name, OpenForRewriting(dir / "made").get());
    }
    writer.Close();
    return ReadBytes(journal);
  }

  // The names in the temporary folder.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  void Record(JournalWriter& writer, const std::string& name) {
    writer.RecordFile(name, OpenForRewriting(dir / "made").get());
  }

  TempDir dir;
  std::string journal = dir / "journal";
};

TEST_F(RunJournalTest, ReadsBackWhatWasWrittenWhateverBytesTheNamesHold) {
  WriteJournal({"a.txt", "sub/100% b\x7f.txt"});
  const std::optional<RunJournal> read = ReadRunJournal(journal);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->destination, dir.path() + "/odd\tname%\n");
  EXPECT_EQ(read->destination_identity, (FileIdentity{1, 2, 3, 4, 5}));
  EXPECT_TRUE(read->destination_created);
  ASSERT_EQ(read->files.size(), 2u);
  EXPECT_EQ(read->files[1].path, "sub/100% b\x7f.txt");
  EXPECT_NE(read->files[0].identity.inode, 0u);
}

TEST_F(RunJournalTest, ALastLineCutShortIsLeftOut) {
  const std::string whole = WriteJournal({"a.txt", "b.txt"});
  dir.Write("journal", whole.substr(0, whole.size() - 3));
  const std::optional<RunJournal> read = ReadRunJournal(journal);
  ASSERT_TRUE(read);
  ASSERT_EQ(read->files.size(), 1u);
  EXPECT_EQ(read->files[0].path, "a.txt");
  // A killed run leaves the room it had taken for more as zero bytes.
  dir.Write("journal", whole.substr(0, whole.size() - 3) + std::string(4096, '\0'));
  ASSERT_TRUE(ReadRunJournal(journal));
  EXPECT_EQ(ReadRunJournal(journal)->files.size(), 1u);
}

TEST_F(RunJournalTest, AJournalClosedHoldsItsRecordsAndNothingMore) {
  std::vector<std::string> names;
  for (int i = 0; i < 5000; ++i) names.push_back("file number " + std::to_string(i) + ".txt");
  const std::string whole = WriteJournal(names);
  EXPECT_EQ(whole.find('\0'), std::string::npos);
  EXPECT_EQ(whole.back(), '\n');
  ASSERT_TRUE(ReadRunJournal(journal));
  EXPECT_EQ(ReadRunJournal(journal)->files.size(), 5000u);
  EXPECT_EQ(ReadRunJournal(journal)->files[4999].path, "file number 4999.txt");
}

TEST_F(RunJournalTest, AJournalTakesItsPathOnceItsRunBeginsAndNeverSharesAFile) {
  dir.Write("journal", "the journal before");
  {
    // A run ended before its lines leaves the path as it was and nothing beside it.
    const JournalWriter refused(journal);
    EXPECT_EQ(Names().size(), 2u);
  }
  EXPECT_EQ(ReadBytes(journal), "the journal before");
  EXPECT_EQ(Names(), std::vector<std::string>{"journal"});

  JournalWriter first(journal);
  JournalWriter second(journal);
  second.Begin(dir.path(), FileIdentity{}, false);
  Record(second, "second.txt");
  second.Close();
  first.Begin(dir.path(), FileIdentity{}, false);
  Record(first, "first.txt");
  Record(first, "first again.txt");
  first.Close();
  const std::optional<RunJournal> read = ReadRunJournal(journal);
  ASSERT_TRUE(read);
  ASSERT_EQ(read->files.size(), 2u);
  EXPECT_EQ(read->files[1].path, "first again.txt");
  EXPECT_EQ(Names(), (std::vector<std::string>{"journal", "made"}));
}

TEST_F(RunJournalTest, AFailureEndsTheRunOrLeavesItUnjournaledNamingThePath) {
  std::filesystem::create_directory(journal);
  const std::string missing = dir / "missing/journal";
  struct Case {
    std::string path;
    std::string failure;  // how the reason starts
  };
  for (const Case& c :
       {Case{journal, "rename the journal to " + journal + ": a folder has its name"},
        // The host's reason follows.
        Case{missing, "create the journal " + missing + ": "}}) {
    try {
      JournalWriter writer(c.path);
      writer.Begin(dir.path(), FileIdentity{}, false);
      ADD_FAILURE() << "no failure: " << c.path;
    } catch (const IoError& error) {
      EXPECT_EQ(std::string(error.what()).rfind("Unable to " + c.failure, 0), 0u) << error.what();
    }
    JournalWriter unjournaled(c.path, JournalWriter::Failures::LeaveTheRunUnjournaled);
    unjournaled.Begin(dir.path(), FileIdentity{}, false);
    Record(unjournaled, "a.txt");
    unjournaled.Close();
    EXPECT_EQ(unjournaled.Failure().rfind("unable to " + c.failure, 0), 0u)
        << unjournaled.Failure();
    EXPECT_EQ(Names(), (std::vector<std::string>{"journal", "made"}));
  }
}

TEST_F(RunJournalTest, AnythingElseIsNoJournal) {
  const std::string whole = WriteJournal({"a.txt"});
  for (const std::string& bad : {std::string("names\r\n"), std::string(), whole.substr(1),
                                 whole + "file\t1\t2\tthree\t4\t5\tb.txt\n", whole + "unknown\n",
                                 whole + "file\t1\t2\t3\t4\t5\tbad%4\n"}) {
    dir.Write("journal", bad);
    EXPECT_FALSE(ReadRunJournal(journal)) << bad;
  }
  EXPECT_FALSE(ReadRunJournal(dir / "missing"));
  // A run refused at its checks leaves a journal of nothing.
  dir.Write("journal", "quillon journal 1\n");
  ASSERT_TRUE(ReadRunJournal(journal));
  EXPECT_TRUE(ReadRunJournal(journal)->destination.empty());
}

}  // namespace
}  // namespace quillon
