// The journal's file: what a writer puts in, a reader gets back, as far as whole lines go.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <filesystem>

#include "support/HostFiles.h"
#include "support/ResidentMemory.h"

#include "support/TempDir.h"
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
  dir.Write("journal", whole.substr(0, whole.size() - 3) + std::string(256 * 1024, '\0'));
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

TEST_F(RunJournalTest, AnythingElseIsNoJournal) {
  const std::string whole = WriteJournal({"a.txt"});
  for (const std::string& bad : {std::string("names\r\n"), std::string(), whole.substr(1),
                                 std::string(64 * 1024, 'q'), std::string(10, '\0') + whole}) {
    dir.Write("journal", bad);
    std::string refusal;
    EXPECT_FALSE(ReadRunJournal(journal, &refusal)) << bad;
    EXPECT_EQ(refusal, journal + " is not a journal of a run.");
  }
  EXPECT_FALSE(ReadRunJournal(dir / "missing"));
  // A run refused at its checks leaves a journal of nothing.
  dir.Write("journal", "quillon journal 2\n");
  ASSERT_TRUE(ReadRunJournal(journal));
  EXPECT_TRUE(ReadRunJournal(journal)->destination.empty());
}

// A file's record as a writer makes it, with the path given.
std::string FileRecord(const std::string& path) {
  return "file\t1\t2\t3\t4\t5\t7\t6\t7\t8\t9\t10\t" + path + "\n";
}

// Journals no run of this user wrote as they stand: each refused whole, with its reason.
TEST_F(RunJournalTest, AJournalItsUserDidNotWriteAsItStandsIsRefusedWhole) {
  const std::string whole = WriteJournal({"a.txt", "sub/../b.txt"});
  ASSERT_TRUE(ReadRunJournal(journal));
  EXPECT_EQ(ReadRunJournal(journal)->files[1].path, "sub/../b.txt") << "climbs back within";
  const std::string at_end = " is damaged at byte " + std::to_string(whole.size()) + ".";
  const std::size_t first_file = whole.find("\nfile\t") + 1;
  struct Case {
    const char* what;
    std::string bytes;
    std::string refusal;  // after the journal's path
    int mode = 0600;
  };
  const std::vector<Case> cases = {
      {"older version", "quillon journal 1" + whole.substr(whole.find('\n')),
       " is the journal of an older version of Quillon and cannot be undone."},
      {"group may write", whole, " may be written by other users and is not undone.", 0620},
      {"others may write", whole, " may be written by other users and is not undone.", 0602},
      {"absolute path", whole + FileRecord("/etc/passwd"), at_end},
      {"climbs out", whole + FileRecord("../outside.txt"), at_end},
      {"climbs out later", whole + FileRecord("sub/../../outside.txt"), at_end},
      {"names a folder above", whole + FileRecord("sub/.."), at_end},
      {"empty component", whole + FileRecord("sub//a.txt"), at_end},
      {"dot component", whole + FileRecord("./a.txt"), at_end},
      {"drive or stream", whole + FileRecord("c:x"), at_end},
      {"backslash", whole + FileRecord("..\\outside.txt"), at_end},
      {"malformed number", whole + "file\t1\t2\tthree\t4\t5\t7\t6\t7\t8\t9\t10\tb.txt\n", at_end},
      {"missing field", whole + "file\t1\t2\t3\t4\t5\tb.txt\n", at_end},
      {"bad escape", whole + FileRecord("bad%4"), at_end},
      {"unknown record", whole + "unknown\n", at_end},
      {"second destination", whole + whole.substr(whole.find("destination")), at_end},
      {"record over its bound", whole + FileRecord(std::string(2000, 'n')), at_end},
      {"a NUL inside a record",
       whole.substr(0, first_file + 2) + '\0' + whole.substr(first_file + 3),
       " is damaged at byte " + std::to_string(first_file + 2) + "."},
      {"records after zero bytes", whole + std::string(10, '\0') + FileRecord("c.txt"), at_end},
      {"more zero bytes than a writer leaves", whole + std::string(300 * 1024, '\0'), at_end},
  };
  for (const Case& bad : cases) {
    // Windows keeps no permission bits: rights are the file's list of them.
    if (testing::kOnWindows && bad.mode != 0600) continue;
    dir.Write("journal", bad.bytes);
    std::filesystem::permissions(journal, std::filesystem::perms(bad.mode));
    std::string refusal;
    EXPECT_FALSE(ReadRunJournal(journal, &refusal)) << bad.what;
    EXPECT_EQ(refusal, journal + bad.refusal) << bad.what;
  }
}

#ifndef _WIN32
TEST_F(RunJournalTest, AJournalOfAnotherUserIsRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "only the superuser can give a file to another user";
  WriteJournal({"a.txt"});
  ASSERT_EQ(chown(journal.c_str(), 65534, 65534), 0);
  std::string refusal;
  EXPECT_FALSE(ReadRunJournal(journal, &refusal));
  EXPECT_EQ(refusal, journal + " belongs to another user and is not undone.");
}

TEST_F(RunJournalTest, AHugeJournalIsRefusedWithoutBeingHeld) {
  const std::string whole = WriteJournal({"a.txt"});
  const std::int64_t before = testing::ProcessMemory("VmHWM");
  // 4 GiB after its records, all of it a hole; and the same with a header of zero bytes.
  for (const std::size_t start : {std::size_t{0}, whole.size()}) {
    dir.Write("journal", whole.substr(0, start));
    ASSERT_EQ(truncate(journal.c_str(), off_t{1} << 32), 0);
    std::string refusal;
    EXPECT_FALSE(ReadRunJournal(journal, &refusal));
    EXPECT_EQ(refusal,
              journal + (start == 0 ? std::string(" is not a journal of a run.")
                                    : " is damaged at byte " + std::to_string(start) + "."));
  }
  EXPECT_LT(testing::ProcessMemory("VmHWM") - before, 16 << 20) << "the journal was held";
}
#endif

}  // namespace
}  // namespace quillon
