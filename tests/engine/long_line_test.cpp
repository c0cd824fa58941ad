// Lines longer than the run keeps: what the report says of them and what their files hold.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/ConversionRun.h"
#include "engine/Naming.h"
#ifndef _WIN32
#include "support/FileSizeLimit.h"
#endif
#include "support/RecordingRunHost.h"
#include "support/TempDir.h"
#include "support/TextForms.h"

namespace quillon {
namespace {

using testing::ReadBytes;
using testing::RecordingRunHost;
using testing::TempDir;
using Lines = std::vector<std::string>;

constexpr std::size_t kKept = LineParts::kMaxKept;
const std::string kTooLong =
    "Warning: file to be made longer than 127 characters. Forbidden. Possibly bad text-file given!";

class LongLine : public ::testing::Test {
 protected:
  Lines Run(const std::string& source_bytes) {
    host.answers = {true};
    ConversionRun run(host, settings);
    run.Run(dir.Write("source.txt", source_bytes), out.path());
    // The lines of the loop: after "Started...", before the summary.
    return Lines(host.report.begin() + 1, host.report.end() - 4);
  }

  TempDir dir;
  TempDir out;
  RunSettings settings;
  RecordingRunHost host;
};

TEST(LineParts, KeepTheFirstBytesOfEachPartAndSayWhenMoreFollowed) {
  const std::string name(kKept, 'n');
  LineParts parts = SplitSourceLine(name + "|" + std::string(kKept, '7'), "var", 124);
  EXPECT_EQ(parts.Name, name);
  EXPECT_FALSE(parts.NameCut);
  EXPECT_FALSE(parts.SizeTextCut);
  EXPECT_EQ(parts.SeparatorPos, kKept + 1);
  EXPECT_TRUE(parts.RawLineCut);
  EXPECT_EQ(parts.RawLine, name);

  parts = SplitSourceLine(
      name + "x|1" + std::string(kKept, ' ') + "|" + std::string(kKept + 1, '7'), "var", 124);
  EXPECT_TRUE(parts.NameCut);  // the name runs to the last separator
  EXPECT_TRUE(parts.SizeTextCut);
  EXPECT_EQ(parts.SeparatorPos, 2 * kKept + 4);
  EXPECT_EQ(parts.SizeText.size(), kKept);

  // Tabs take no room: the name after them is kept whole.
  parts = SplitSourceLine(std::string(3 * kKept, '\t') + "short", "none", 124);
  EXPECT_EQ(parts.Name, "short");
  EXPECT_FALSE(parts.NameCut);
  EXPECT_FALSE(parts.Blank);
  EXPECT_TRUE(SplitSourceLine(std::string(3 * kKept, '\t'), "none", 124).Blank);
}

TEST_F(LongLine, SizeReportQuotesTheFirstBytesOfALongLine) {
  settings.FillKind = "var";
  const std::string name(kKept + 10, 'a');
  EXPECT_EQ(
      Run(name + "|x\r\n" + name.substr(0, 40) + "|" + std::string(kKept + 1, '0') + "\r\n"),
      (Lines{std::string(kKept, 'a') + "...: Unable to find valid size. Size set to 0. ", kTooLong,
             // A size text longer than is kept is no valid size, even of zeros.
             name.substr(0, 40) + "|" + std::string(kKept - 41, '0') +
                 "...: Unable to find valid size. Size set to 0. "}));
  EXPECT_EQ(std::filesystem::is_empty(out / (name.substr(0, 40) + ".txt")), true);
}

TEST_F(LongLine, NameTooLongToKeepIsOverTheLimitWithoutItsReplacements) {
  settings.ReplaceInvalid = true;
  settings.InvalidReplacer = "";
  EXPECT_EQ(Run(std::string(kKept + 1, '?') + "\r\n"), Lines{kTooLong});
  EXPECT_TRUE(std::filesystem::is_empty(out.path()));
}

TEST_F(LongLine, SourceLineTooLongToKeepGoesIntoItsFileWhole) {
  settings.FillKind = "single";
  settings.FillSource = true;
  const std::string line = std::string(3 * kKept, '\t') + "tabbed";
  EXPECT_EQ(Run(line + "\r\nnext\r\n"), Lines{});
  EXPECT_EQ(ReadBytes(out / "tabbed.txt"), line + "\r\n");
  EXPECT_EQ(ReadBytes(out / "next.txt"), "next\r\n");
}

TEST_F(LongLine, Utf16LineTooLongToKeepGoesIntoItsFileConvertedAgain) {
  settings.FillKind = "single";
  settings.FillSource = true;
  // Read again in chunks of 64 KiB, the line's pair of surrogates falls across two of them.
  const std::u16string tabs(32767, u'\t');
  const std::string smiley = "\xF0\x9F\x98\x80";
  const Lines report = Run(testing::Utf16File(tabs + u"\U0001F600x\r\n"));
  if (!kHostTextIsUtf8) {
    EXPECT_EQ(report, Lines{"Unable to create: ?x"});
    return;
  }
  EXPECT_EQ(report, Lines{});
  EXPECT_EQ(ReadBytes(out / (smiley + "x.txt")), std::string(32767, '\t') + smiley + "x\r\n");
}

// Presses Cancel at the first handling of events once armed: from the start, or once the
// lines are counted (the source then goes into the history).
class CancellingHost : public RecordingRunHost {
 public:
  void RecordSource(const std::string& path) override {
    RecordingRunHost::RecordSource(path);
    armed = true;
  }
  void HandlePendingEvents() override {
    RecordingRunHost::HandlePendingEvents();
    if (armed) cancelled = true;
  }
  bool armed = false;
};

TEST(LongLineCancel, CancelActsWithinALineHoweverLong) {
  struct Case {
    std::uintmax_t sparse_size;  // a file of that many NUL bytes, read from disk in no time
    std::string bytes;
    bool armed;
    std::string total;
  };
  const Case cases[] = {
      // Counting a line of 16 GiB: without a stop it would be read whole, twice.
      {std::uintmax_t{16} << 30, "", true, "1"},
      // Reading the first line, once counted.
      {0, std::string(1 << 20, 'x') + "\r\nb\r\n", false, "2"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    TempDir out;
    std::string source = dir.Write("source.txt", c.bytes);
    if (c.sparse_size > 0) std::filesystem::resize_file(source, c.sparse_size);
    CancellingHost host;
    host.armed = c.armed;
    RunSettings settings;
    ConversionRun run(host, settings);
    EXPECT_EQ(run.Run(source, out.path()), RunResult::Cancelled);
    // The line cut short by Cancel is not decided, and nothing is asked.
    EXPECT_EQ(host.report,
              (Lines{"Started...", "Cancelled! Not all created.", "Created files: 0/" + c.total,
                     "Existing files: 0/" + c.total, "Success ratio: 0/" + c.total + " or 0%"}));
    EXPECT_TRUE(host.decided.empty());
    EXPECT_TRUE(host.boxes.empty());
  }
}

// Takes a file away once the checks have passed, as another program might.
class TakingHost : public RecordingRunHost {
 public:
  std::string taken;
  void RecordSource(const std::string& source) override {
    std::filesystem::remove(taken);
    RecordingRunHost::RecordSource(source);
  }
};

TEST_F(LongLine, FileFilledWithItselfTakesItsEarlierTextOnce) {
  // More than one chunk of 64 KiB is in the file before its own text is appended to it.
  settings.FillKind = "single";
  settings.FillSource = true;
  settings.FillText = true;
  settings.FillTextFile = out.Write("self.txt", "");
  const std::string line = std::string(70'000, '\t') + "self";
#ifndef _WIN32
  const testing::FileSizeLimit limit(8 << 20);  // should it feed on itself
#endif
  // The fill text file is there for the checks, and the run makes it anew.
  TakingHost taking;
  taking.taken = settings.FillTextFile;
  ConversionRun run(taking, settings);
  run.Run(dir.Write("source.txt", line + "\r\n"), out.path());
  EXPECT_EQ(Lines(taking.report.begin() + 1, taking.report.end() - 4), Lines{});
  EXPECT_EQ(ReadBytes(out / "self.txt"), line + "\r\n" + line + "\r\n\r\n");
}

}  // namespace
}  // namespace quillon
