// The program's own files as the user may leave them: a settings path that is a device, a pipe,
// a folder or a huge file reads as missing, never blocks and never takes the process down.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "reliability/ChildProcess.h"
#include "support/TempDir.h"

namespace quillon::testing {
namespace {

namespace fs = std::filesystem;

TEST(OwnFiles, SettingsThatAreNoRegularFileOrTooLargeReadAsTheDefaults) {
  TempDir temp;
  const std::string settings = "[Output extension]\r\nExtension=log\r\n";
  const std::string good = temp.Write("good.ini", settings);
  ASSERT_EQ(mkfifo((temp / "pipe.ini").c_str(), 0600), 0);
  fs::create_directory(temp / "folder.ini");
  fs::create_symlink("/dev/zero", temp / "zero.ini");
  fs::create_symlink("good.ini", temp / "link.ini");
  temp.Write("huge.ini", settings + std::string(std::size_t{2} << 20, ';'));
  const struct {
    std::string file;
    const char* created;
  } cases[] = {
      {"/dev/zero", "a.txt"},
      {temp / "zero.ini", "a.txt"},
      {temp / "pipe.ini", "a.txt"},
      {temp / "folder.ini", "a.txt"},
      {temp / "huge.ini", "a.txt"},
      {temp / "link.ini", "a.log"},  // a link to a settings file is read through
  };
  const std::string source = temp.Write("names.txt", "a\n");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    TempDir destination;
    ChildLimits limits;
    limits.seconds = 30;
    const BatchResult result =
        RunBatch({"--settings", c.file, source, destination.path()}, temp.path(), limits);
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(TreeOf(destination.path()), std::vector<std::string>{c.created});
  }
  EXPECT_EQ(fs::status(temp / "pipe.ini").type(), fs::file_type::fifo);
}

}  // namespace
}  // namespace quillon::testing
