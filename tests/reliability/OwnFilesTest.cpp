// The settings file as the user may name it: a device, a pipe, a folder, a huge or a missing
// file is an error naming it, told at once, never a wait and never a run on the defaults.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "reliability/ChildProcess.h"
#include "support/TempDir.h"

namespace quillon::testing {
namespace {

namespace fs = std::filesystem;

TEST(OwnFiles, ASettingsFileNamedThatCannotBeReadIsAnError) {
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
    std::string why;  // empty: read, and the run made a.log
  } cases[] = {
      {"/dev/zero", "File access denied"},
      {temp / "zero.ini", "File access denied"},
      {temp / "pipe.ini", "File access denied"},
      {temp / "folder.ini", "it is a folder"},
      {temp / "huge.ini", "it is larger than 1 MiB"},
      {temp / "missing.ini", "File not found"},
      {temp / "link.ini", ""},  // a link to a settings file is read through
  };
  const std::string source = temp.Write("names.txt", "a\n");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    TempDir destination;
    ChildLimits limits;
    limits.seconds = 30;
    const BatchResult result =
        RunBatch({"--settings", c.file, source, destination.path()}, temp.path(), limits);
    if (c.why.empty()) {
      EXPECT_EQ(result.exit_status, 0) << result.err;
      EXPECT_EQ(result.err, "");
      EXPECT_EQ(TreeOf(destination.path()), std::vector<std::string>{"a.log"});
    } else {
      EXPECT_EQ(result.exit_status, 2);
      EXPECT_EQ(result.err,
                "Error: Unable to read the settings file " + c.file + ": " + c.why + ".\n");
      EXPECT_EQ(result.out, "");
      EXPECT_TRUE(TreeOf(destination.path()).empty());
    }
  }
  EXPECT_EQ(fs::status(temp / "pipe.ini").type(), fs::file_type::fifo);
}

}  // namespace
}  // namespace quillon::testing
