// A run writes only new files beneath its destination, whatever the names and the links there.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "engine/ConversionRun.h"
#include "reliability/ChildProcess.h"
#include "support/RecordingRunHost.h"
#include "support/TempDir.h"

namespace quillon::testing {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

class Containment : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(destination);
    fs::create_directories(outside);
  }

  BatchResult Run(const std::string& names, const std::string& settings = "") {
    return RunBatch({"--settings", temp.Write("settings.ini", settings), "--yes",
                     temp.Write("names.txt", names), destination},
                    temp.path());
  }

  TempDir temp;
  const std::string destination = temp / "dest";
  const std::string outside = temp / "outside";
};

TEST_F(Containment, SubfolderThatIsALinkLeadsNowhere) {
  fs::create_directory_symlink("../outside", destination + "/sub");
  fs::create_directories(destination + "/real");
  const BatchResult result = Run("sub/x\nsub\\y\nsub/../z\nreal/../w\nreal\\v\n");
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(result.out,
            "Started...\nUnable to create: sub/x\nUnable to create: sub\\y\n"
            "Unable to create: sub/../z\nFinished!\nCreated files: 2/5\nExisting files: 0/5\n"
            "Success ratio: 2/5 or 40%\n");
  EXPECT_EQ(TreeOf(outside), Lines{});
  EXPECT_TRUE(fs::is_symlink(destination + "/sub"));
  EXPECT_TRUE(fs::is_regular_file(destination + "/real/v.txt"));
  EXPECT_TRUE(fs::is_regular_file(destination + "/w.txt"));
}

TEST_F(Containment, DestinationThatIsALinkIsTheUsersChoice) {
  fs::create_directory_symlink("dest", temp / "chosen");
  const BatchResult result = RunBatch({"--settings", temp.Write("settings.ini", ""),
                                       temp.Write("names.txt", "a\n"), temp / "chosen"},
                                      temp.path());
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(TreeOf(destination), Lines{"a.txt"});
}

TEST_F(Containment, NamesAreHandedOverAsWindowsWouldStoreThem) {
  temp.Write("dest/com2.", "there before");
  fs::create_directory(destination + "/dir");
  // An empty extension: each file is named exactly by its line.
  const BatchResult result =
      Run("alpha\nbeta.\ngamma \nCON\nnul.txt\nLpt1\ncom2\n...\ndir. \\delta\n",
          "[Output extension]\nExtension=\n");
  EXPECT_EQ(result.exit_status, 0) << result.err;
  // Report lines show the names as the run built them.
  EXPECT_EQ(result.out,
            "Started...\nUnable to create: CON\nUnable to create: nul.txt\n"
            "Unable to create: Lpt1\nExists already: com2\nUnable to create: ...\nFinished!\n"
            "Created files: 4/9\nExisting files: 1/9\nSuccess ratio: 5/9 or 56%\n");
  EXPECT_EQ(TreeOf(destination), (Lines{"alpha", "beta", "com2.", "dir/", "dir/delta", "gamma"}));
  EXPECT_EQ(ReadBytes(destination + "/com2."), "there before");
}

TEST_F(Containment, TheLimitCountsTheNameAsBuiltNotAsStored) {
  // Built, the path is 128 characters; stored without its trailing dots it would fit.
  const std::string name = std::string(122 - destination.size(), 'n') + "....";
  const BatchResult result = Run(name + "\n", "[Output extension]\nExtension=\n");
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(result.out,
            "Started...\nWarning: file to be made longer than 127 characters. Forbidden. "
            "Possibly bad text-file given!\nFinished!\nCreated files: 0/1\n"
            "Existing files: 0/1\nSuccess ratio: 0/1 or 0%\n");
  EXPECT_EQ(TreeOf(destination), Lines{});
}

TEST_F(Containment, SubfolderSwappedForALinkDuringARunLeavesNothingOutside) {
  const std::string sub = destination + "/sub";
  const std::string aside = destination + "/aside";
  fs::create_directory(sub);
  std::string names;
  constexpr int kLines = 5000;
  for (int i = 0; i < kLines; ++i) names += "sub/n" + std::to_string(i) + "\n";
  const std::string source = temp.Write("names.txt", names);

  std::atomic<bool> stop{false};
  std::thread swapper([&] {
    while (!stop) {
      std::rename(sub.c_str(), aside.c_str());
      // A link that cannot be made this time leaves the folder away for one turn.
      [[maybe_unused]] const int linked = symlink("../outside", sub.c_str());
      std::this_thread::sleep_for(std::chrono::microseconds(20));
      unlink(sub.c_str());
      std::rename(aside.c_str(), sub.c_str());
      std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
  });
  RecordingRunHost host;
  host.answers = {true};
  const RunSettings settings;
  ConversionRun run(host, settings);
  const RunResult result = run.Run(source, destination);
  stop = true;
  swapper.join();

  EXPECT_EQ(result, RunResult::Finished);
  EXPECT_EQ(TreeOf(outside), Lines{});
  const int created = run.counts().CreatedCount;
  const Lines tree = TreeOf(destination);
  EXPECT_EQ(tree.size(), static_cast<std::size_t>(created) + 1);  // the files and "sub/"
  const auto refused = std::count_if(host.report.begin(), host.report.end(), [](const auto& line) {
    return line.starts_with("Unable to create: sub/n");
  });
  EXPECT_EQ(created + refused, kLines);
}

}  // namespace
}  // namespace quillon::testing
