// Sources that are not ordinary text: the run neither crashes nor creates anything outside the
// destination, and its report and counts stay consistent.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "engine/ConversionRun.h"
#include "reliability/ChildProcess.h"
#include "reliability/HookedRunHost.h"
#include "support/TempDir.h"

namespace quillon::testing {
namespace {

namespace fs = std::filesystem;

using Lines = std::vector<std::string>;

class SourceShape : public ::testing::Test {
 protected:
  void SetUp() override {
    // Nested, so a name that climbed one or two levels would show up in the tree below.
    destination = temp / "a/b/dest";
    fs::create_directories(destination);
  }

  BatchResult Run(const std::string& source_bytes, const std::string& settings = "") {
    const std::string source = temp.Write("a/b/names.txt", source_bytes);
    const std::string settings_file = temp.Write("a/b/settings.ini", settings);
    return RunBatch({"--settings", settings_file, "--yes", source, destination}, temp.path());
  }

  // Everything in the temporary folder beyond the source and settings is inside dest.
  void ExpectNothingOutsideTheDestination() const {
    for (const std::string& entry : TreeOf(temp.path())) {
      if (entry == "a/" || entry == "a/b/" || entry == "a/b/names.txt" ||
          entry == "a/b/settings.ini" || entry.starts_with("a/b/dest/")) {
        continue;
      }
      ADD_FAILURE() << "created outside the destination: " << entry;
    }
  }

  TempDir temp;
  std::string destination;
};

std::string SummaryOf(int created, int existing, int total) {
  const std::string over = "/" + std::to_string(total);
  const int succeeded = created + existing;
  const int percent = total == 0 ? 100 : (succeeded * 200 + total) / (2 * total);
  return "Created files: " + std::to_string(created) + over +
         "\nExisting files: " + std::to_string(existing) + over +
         "\nSuccess ratio: " + std::to_string(succeeded) + over + " or " + std::to_string(percent) +
         "%\n";
}

TEST_F(SourceShape, RandomBinaryBytesStayInsideTheDestination) {
  // Short lines of bytes 32 to 255, and every tenth line of any byte but Ctrl-Z, which would
  // end the text.
  std::mt19937 random(20240611);
  std::string bytes;
  for (int line = 0; line < 2000; ++line) {
    const bool any_byte = line % 10 == 0;
    for (int length = static_cast<int>(random() % 40); length > 0; --length) {
      const int c =
          any_byte ? static_cast<int>(random() % 256) : 32 + static_cast<int>(random() % 224);
      bytes += static_cast<char>(c == 26 ? 27 : c);
    }
    bytes += line % 3 == 0 ? "\r" : "\n";
  }
  for (const std::string settings :
       {"", "[Invalid characters]\nInvalid replace=1\nInvalid replacer=\n",
        "[Fill]\nKind=var\nSeparator=0\n"}) {
    SCOPED_TRACE(settings);
    fs::remove_all(destination);
    fs::create_directory(destination);
    const BatchResult result = Run(bytes, settings);
    EXPECT_EQ(result.exit_status, 0) << result.err;
    const Lines report = SplitLines(result.out);
    ASSERT_GE(report.size(), 4u);
    EXPECT_EQ(report.front(), "Started...");
    EXPECT_EQ(std::count(report.begin(), report.end(), "Finished!"), 1);
    // Every file the report counts as created is one entry of the destination.
    const std::string created_line = report[report.size() - 3];
    const std::size_t count_end = created_line.find('/');
    ASSERT_TRUE(created_line.starts_with("Created files: ")) << created_line;
    const std::size_t created = std::stoul(created_line.substr(15, count_end - 15));
    std::size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(destination)) {
      files += entry.is_regular_file() ? 1 : 0;
    }
    EXPECT_EQ(files, created);
    EXPECT_GT(created, 0u);
    ExpectNothingOutsideTheDestination();
  }
}

TEST_F(SourceShape, NamesWithNulBytesAreRefusedWhole) {
  const std::string nul(1, '\0');
  const BatchResult result = Run("a" + nul + "b\nc" + nul + "\n" + nul + "\nplain\n");
  EXPECT_EQ(result.exit_status, 0);
  // A name cut at its NUL would have created a.txt or c.txt.
  EXPECT_EQ(result.out, "Started...\nUnable to create: a" + nul + "b\nUnable to create: c" + nul +
                            "\nUnable to create: " + nul + "\nFinished!\n" + SummaryOf(1, 0, 4));
  EXPECT_EQ(TreeOf(destination), (Lines{"plain.txt"}));
}

TEST_F(SourceShape, TwentyMegabyteLineIsRefusedAsTooLong) {
  const BatchResult result = Run(std::string(20'000'000, 'x'));
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.out,
            "Started...\nWarning: file to be made longer than 127 characters. Forbidden. "
            "Possibly bad text-file given!\nFinished!\n" +
                SummaryOf(0, 0, 1));
  EXPECT_TRUE(TreeOf(destination).empty());
}

TEST_F(SourceShape, MillionBlankLinesCreateNothing) {
  const BatchResult result = Run(std::string(1'000'000, '\n'));
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.err, "Warning: 1000000 files to be created. Really proceed??\n");
  EXPECT_EQ(result.out,
            "Started...\nBlank line met... all blanks will be ignored.\nFinished!\n"
            "Blank lines met: 1000000\n" +
                SummaryOf(0, 0, 0));
  EXPECT_TRUE(TreeOf(destination).empty());
}

TEST_F(SourceShape, LineOfHundredThousandSeparatorsIsRefusedAsTooLong) {
  const std::string warning =
      "Warning: file to be made longer than 127 characters. Forbidden. Possibly bad "
      "text-file given!\n";
  for (const std::string settings : {"", "[Fill]\nKind=var\n", "[Fill]\nKind=fixifnovar\n"}) {
    SCOPED_TRACE(settings);
    const BatchResult result = Run(std::string(100'000, '|') + "\n", settings);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.out, "Started...\n" + warning + "Finished!\n" + SummaryOf(0, 0, 1));
    EXPECT_TRUE(TreeOf(destination).empty());
  }
}

TEST_F(SourceShape, CarriageReturnOnlyAndLineFeedOnlyFilesGiveTheSameFiles) {
  for (const std::string source : {"a\rb\rc", "a\rb\rc\r", "a\nb\nc", "a\nb\nc\n", "a\r\nb\nc\r"}) {
    fs::remove_all(destination);
    fs::create_directory(destination);
    const BatchResult result = Run(source);
    EXPECT_EQ(result.out, "Started...\nFinished!\n" + SummaryOf(3, 0, 3));
    EXPECT_EQ(TreeOf(destination), (Lines{"a.txt", "b.txt", "c.txt"}));
  }
  // A line feed before a carriage return ends one line, the carriage return an empty one.
  fs::remove_all(destination);
  fs::create_directory(destination);
  EXPECT_EQ(Run("a\n\rb").out,
            "Started...\nBlank line met... all blanks will be ignored.\n"
            "Finished!\nBlank lines met: 1\n" +
                SummaryOf(2, 0, 2));
}

TEST_F(SourceShape, PipeOrDeviceAsSourceIsRefusedWithoutWaitingOrReadingForever) {
  const std::string pipe = temp / "a/b/pipe";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  for (const std::string& source : {pipe, std::string("/dev/zero")}) {
    SCOPED_TRACE(source);
    ChildLimits limits;
    limits.seconds = 30;
    const BatchResult result = RunBatch(
        {"--settings", temp.Write("a/b/none.ini", ""), source, destination}, temp.path(), limits);
    EXPECT_EQ(result.exit_status, 3);
    EXPECT_EQ(result.err, "Error: Can not read " + source + "\nQuillon: File access denied.\n");
    EXPECT_EQ(result.out, "Started...\n");
    EXPECT_TRUE(TreeOf(destination).empty());
  }
}

TEST_F(SourceShape, LongLineRunsUnderAMemoryLimitFarBelowItsLength) {
  if (kSanitized) GTEST_SKIP() << "the sanitizers reserve more address space than the limit";
  const std::string source = temp.Write("a/b/names.txt", std::string(100'000'000, 'x'));
  ChildLimits limits;
  limits.address_space = rlim_t{256} << 20;
  const BatchResult result = RunBatch(
      {"--settings", temp.Write("a/b/none.ini", ""), source, destination}, temp.path(), limits);
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out,
            "Started...\nWarning: file to be made longer than 127 characters. Forbidden. "
            "Possibly bad text-file given!\nFinished!\n" +
                SummaryOf(0, 0, 1));
  EXPECT_TRUE(TreeOf(destination).empty());
}

TEST_F(SourceShape, SourceGrowingDuringTheRunIsReadUpToTheCountedLines) {
  const std::string source = temp.Write("a/b/names.txt", "a\nb\nc\n");
  // Appended to after the first line, as by a program still writing it.
  HookedRunHost host;
  host.after_line = [&](int line) {
    if (line == 1) std::ofstream(source, std::ios::app | std::ios::binary) << "d\ne\n";
  };
  const RunSettings settings;
  ConversionRun run(host, settings);
  EXPECT_EQ(run.Run(source, destination), RunResult::Finished);
  // The user agreed to the lines counted; what was added meanwhile waits for the next run.
  EXPECT_EQ(host.report, (Lines{"Started...", "Finished!", "Created files: 3/3",
                                "Existing files: 0/3", "Success ratio: 3/3 or 100%"}));
  EXPECT_EQ(TreeOf(destination), (Lines{"a.txt", "b.txt", "c.txt"}));
}

}  // namespace
}  // namespace quillon::testing
