#include "util/UniqueFd.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/HostFiles.h"
#include "support/TempDir.h"
#include "util/IoError.h"

namespace quillon {
namespace {

using testing::IsOpenFile;
using testing::TempDir;

TEST(UniqueFd, ClosesWhatItHoldsOnceWhereverItWasHandedOn) {
  TempDir dir;
  const std::string file = dir.Write("f", "x");
  int fd = -1;
  {
    UniqueFd first = OpenTextFile(file);
    fd = first.get();
    ASSERT_TRUE(first.valid());
    UniqueFd second(std::move(first));
    EXPECT_FALSE(first.valid());
    UniqueFd third;
    third = std::move(second);
    EXPECT_EQ(third.get(), fd);
    EXPECT_TRUE(IsOpenFile(fd));
  }
  EXPECT_FALSE(IsOpenFile(fd));

  UniqueFd held = OpenTextFile(file);
  const int released = held.release();
  EXPECT_FALSE(held.valid());
  EXPECT_TRUE(IsOpenFile(released));
  held.reset(released);
  held.reset();
  EXPECT_FALSE(IsOpenFile(released));
}

TEST(UniqueFd, CloseTellsAFailedClose) {
  TempDir dir;
  UniqueFd fd = OpenTextFile(dir.Write("f", "x"));
  const int number = fd.get();
  EXPECT_NO_THROW(fd.Close());
  EXPECT_FALSE(fd.valid());
  EXPECT_NO_THROW(fd.Close());  // nothing held: nothing to close
  // A file closed behind the owner's back cannot be closed again.
  UniqueFd stale(number);
  EXPECT_THROW(stale.Close(), IoError);
}

TEST(OpenFiles, ReadAtAnyOffsetWithoutMovingAnother) {
  TempDir dir;
  UniqueFd fd = OpenTextFile(dir.Write("f", "0123456789"));
  EXPECT_EQ(SizeOfOpenFile(fd.get()), 10u);
  char buffer[8];
  EXPECT_EQ(ReadAt(fd.get(), 6, buffer, sizeof buffer), 4u);
  EXPECT_EQ(std::string(buffer, 4), "6789");
  EXPECT_EQ(ReadAt(fd.get(), 2, buffer, 3), 3u);
  EXPECT_EQ(std::string(buffer, 3), "234");
  EXPECT_EQ(ReadAt(fd.get(), 10, buffer, sizeof buffer), 0u);
}

TEST(OpenFiles, AppendingWritesAtTheEndAndRewritingEmptiesFirst) {
  TempDir dir;
  const std::string file = dir.Write("f", "old");
  {
    UniqueFd appending = OpenForAppending(file);
    WriteAllTo(appending.get(), "+new");
    appending.Close();
  }
  EXPECT_EQ(testing::ReadBytes(file), "old+new");
  {
    UniqueFd rewriting = OpenForRewriting(file);
    WriteAllTo(rewriting.get(), "fresh");
    rewriting.Close();
  }
  EXPECT_EQ(testing::ReadBytes(file), "fresh");
  EXPECT_THROW(OpenForAppending(dir / "missing"), IoError);
  UniqueFd made = OpenForRewriting(dir / "made");
  EXPECT_TRUE(made.valid());
}

TEST(OpenFiles, PiecesGoInOrderAndOneFileIsKnownUnderAnyOpen) {
  TempDir dir;
  const std::string file = dir.Write("f", "");
  UniqueFd writing = OpenForAppending(file);
  // More pieces than one call takes, of all sizes, the empty one among them.
  std::vector<std::string> texts;
  std::string expected;
  for (std::size_t i = 0; i < 2 * kMostPiecesPerWrite + 7; ++i) {
    texts.push_back(std::string(i % 5, static_cast<char>('a' + i % 26)));
    expected += texts.back();
  }
  const std::vector<std::string_view> pieces(texts.begin(), texts.end());
  WritePiecesTo(writing.get(), pieces);
  WritePiecesTo(writing.get(), {});
  UniqueFd reading = OpenTextFile(file);
  EXPECT_TRUE(IsSameFile(writing.get(), reading.get()));
  EXPECT_FALSE(IsSameFile(writing.get(), OpenTextFile(dir.Write("g", "")).get()));
  writing.Close();
  EXPECT_EQ(testing::ReadBytes(file), expected);
}

}  // namespace
}  // namespace quillon
