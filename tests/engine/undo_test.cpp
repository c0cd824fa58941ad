// Undo by a journal that names files outside its destination, or through a link: nothing
// outside the destination goes, whatever the journal says.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/RunUndo.h"
#include "support/HostFiles.h"
#include "support/TempDir.h"
#include "util/UniqueFd.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

FileIdentity IdentityOfPath(const std::string& path) {
  return IdentityOf(OpenTextFile(path).get());
}

TEST(UndoRun, RemovesNothingOutsideTheDestinationWhateverTheJournalNames) {
  TempDir dir;
  fs::create_directories(dir / "out/sub");
  const std::string outside = dir.Write("outside.txt", "keep");
  ASSERT_TRUE(testing::MakeFolderLink(dir / "out/up", dir.path()));
  RunJournal journal;
  journal.destination = dir / "out";
  journal.destination_identity = DestinationFolder(journal.destination).Identity();
  // Each names the outside file, with its true identity.
  const FileIdentity identity = IdentityOfPath(outside);
  for (const char* path :
       {"../outside.txt", "sub/../../outside.txt", "up/outside.txt", outside.c_str(), "up"}) {
    journal.files.push_back({path, identity});
  }
  std::vector<std::string> report;
  const UndoCounts counts =
      UndoRun(journal, [&](const std::string& line) { report.push_back(line); });
  EXPECT_EQ(counts.removed, 0);
  EXPECT_EQ(counts.kept, 5);
  EXPECT_TRUE(fs::exists(outside));
  EXPECT_TRUE(fs::exists(dir / "out/up/outside.txt")) << "the link and what it leads to stay";
  EXPECT_TRUE(testing::RemoveFolderLink(dir / "out/up"));
  EXPECT_EQ(report.back(), "Undone: 0 removed, 5 kept.");
}

TEST(UndoRun, AJournalOfNothingUndoesNothing) {
  std::vector<std::string> report;
  UndoRun(RunJournal{}, [&](const std::string& line) { report.push_back(line); });
  EXPECT_EQ(report, std::vector<std::string>{"Undone: 0 removed, 0 kept."});
}

}  // namespace
}  // namespace quillon
