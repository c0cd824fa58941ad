// A plan predicts the run: the same report on an unchanged disk, every line's outcome and its
// reason, and nothing created, filled or changed while planning.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/ConversionRun.h"
#include "support/HostFiles.h"
#include "support/RecordingRunHost.h"
#include "support/TempDir.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using testing::RecordingRunHost;
using testing::TempDir;
using Lines = std::vector<std::string>;

Lines Listing(const std::string& folder) {
  Lines entries;
  if (!fs::exists(folder)) return entries;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    entries.push_back(entry.path().string() + " " + std::to_string(entry.is_symlink()) + " " +
                      (entry.is_regular_file() && !entry.is_symlink()
                           ? std::to_string(entry.file_size())
                           : std::string("-")));
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

class PlanTest : public ::testing::Test {
 protected:
  // A destination with a subfolder, a folder of a file's name, a link and a file.
  void MakeDestination() {
    fs::create_directories(out + "/sub");
    fs::create_directory(out + "/folder.txt");
    ASSERT_TRUE(testing::MakeFolderLink(out + "/link", dir / "elsewhere"));
    dir.Write("out/old.txt", "kept");
  }

  void SetUp() override {
    fs::create_directory(dir / "elsewhere");
    MakeDestination();
    dir.Write("fill.txt", "one\r\ntwo");
    settings.FillTextFile = dir / "fill.txt";
    const std::string long_name(140, 'n');
    source = dir.Write("source.txt",
                       "a\r\n"           // created
                       "\r\n"            // blank
                       "b|12\r\n"        // a size under the variable kinds
                       "a\r\n"           // repeated: the first line makes it
                       "old\r\n"         // there before the run
                       "bad:name\r\n"    // invalid character
                       "CON\r\n"         // device name
                       "..\\up\r\n"      // climbs above
                       "missing\\x\r\n"  // no such subfolder
                       "link\\x\r\n"     // subfolder that is a link
                       "folder\r\n"      // a folder of that name
                       "sub\\c\r\n"      // created in a subfolder
                       "a.txt\\y\r\n"    // an earlier line's file where a folder should be
                       "sub\\..\\a\r\n"  // the first line's file again
                       "x|abc\r\n"       // an invalid size
                       "\t\r\n" +        // blank once its tab is gone
                           long_name +
                           "\r\n" +  // over the path limit
                           "last");
  }

  // The link goes as itself, never through to what it leads to.
  void TearDown() override { testing::RemoveFolderLink(out + "/link"); }

  // Plans, then runs, each with its own host; the disk must not change while planning.
  void PlanThenRun() {
    const Lines before = Listing(destination);
    ConversionRun plan(planned, settings);
    plan_result = plan.Plan(source, destination);
    EXPECT_EQ(Listing(destination), before) << "planning changed the destination";
    ConversionRun run(ran, settings);
    ran.answers = {true, true};
    run_result = run.Run(source, destination);
  }

  TempDir dir;
  std::string out = dir / "out";
  std::string destination = out;
  std::string source;
  RunSettings settings;
  RecordingRunHost planned, ran;
  RunResult plan_result{}, run_result{};
};

TEST_F(PlanTest, PredictsTheReportOfEveryFillKindOverEveryOutcome) {
  for (const char* kind : {"none", "fix", "var", "fixifnovar", "single"}) {
    SCOPED_TRACE(kind);
    settings.FillKind = kind;
    settings.FillSize = 5;
    settings.FillSource = settings.FillText = true;
    planned = {};
    ran = {};
    PlanThenRun();
    EXPECT_EQ(plan_result, run_result);
    EXPECT_EQ(planned.report, ran.report);
    EXPECT_EQ(planned.refusals, ran.refusals);
    EXPECT_TRUE(planned.folders.empty() && planned.files.empty()) << "a plan feeds no history";
    // Each line's outcome is the same, only the reason of a repeated name knows more.
    ASSERT_EQ(planned.decided.size(), ran.decided.size());
    for (std::size_t i = 0; i < ran.decided.size(); ++i) {
      if (planned.decided[i].find("creates it") != std::string::npos) continue;
      EXPECT_EQ(planned.decided[i], ran.decided[i]);
    }
    // The run's files cleared away for the next kind.
    ASSERT_TRUE(testing::RemoveFolderLink(out + "/link"));
    fs::remove_all(out);
    MakeDestination();
  }
}

TEST_F(PlanTest, GivesEachLineItsOutcomeAndReason) {
  settings.FillKind = "var";
  PlanThenRun();
  EXPECT_EQ(
      planned.decided,
      (Lines{
          "1 a.txt 0 created ", "2 .txt 0 blank ", "3 b.txt 12 created ",
          "4 a.txt 0 exists line 1 creates it", "5 old.txt 0 exists a file of that name is there",
          "6 bad:name.txt 0 unable invalid character \":\"",
          "7 CON.txt 0 unable reserved device name \"CON.txt\"",
          "8 ..\\up.txt 0 unable climbs above the destination",
          "9 missing\\x.txt 0 unable missing subfolder \"missing\"",
          "10 link\\x.txt 0 unable subfolder \"link\" is a link",
          "11 folder.txt 0 unable a folder of that name is there", "12 sub\\c.txt 0 created ",
          "13 a.txt\\y.txt 0 unable \"a.txt\" is a file, not a subfolder",
          "14 sub\\..\\a.txt 0 exists line 1 creates it", "15 x.txt 0 created ", "16 .txt 0 blank ",
          "17 " + std::string(140, 'n') + ".txt 0 too long path of " +
              std::to_string(out.size() + 145) + " characters, over 127",
          "18 last.txt 0 created "}));
  EXPECT_EQ(planned.report, ran.report);
  EXPECT_EQ(Lines(planned.refusals.begin(), planned.refusals.begin() + 2),
            (Lines{"Unable to create: bad:name  [invalid character \":\"]",
                   "Unable to create: CON  [reserved device name \"CON.txt\"]"}));
  // The run knows the same reasons for what it refuses.
  EXPECT_EQ(planned.refusals, ran.refusals);
}

TEST_F(PlanTest, NamesDifferingInLetterCaseAreOneFileOnWindowsOnly) {
  source = dir.Write("cases.txt", "Name\r\nNAME\r\nsub\\Deep\r\nSUB\\deep\r\n");
  PlanThenRun();
  EXPECT_EQ(planned.report, ran.report);
  EXPECT_EQ(planned.refusals, ran.refusals);
  const Lines windows{"1 Name.txt 0 created ", "2 NAME.txt 0 exists line 1 creates it",
                      "3 sub\\Deep.txt 0 created ", "4 SUB\\deep.txt 0 exists line 3 creates it"};
  const Lines posix{"1 Name.txt 0 created ", "2 NAME.txt 0 created ", "3 sub\\Deep.txt 0 created ",
                    "4 SUB\\deep.txt 0 unable missing subfolder \"SUB\""};
  EXPECT_EQ(planned.decided, testing::kOnWindows ? windows : posix);
}

TEST_F(PlanTest, PlansAMissingDestinationAsCreatedWithoutAsking) {
  destination = dir / "new/deeper";
  source = dir.Write("short.txt", "a\r\nb\r\na\r\nsub\\c\r\n");
  PlanThenRun();
  EXPECT_TRUE(planned.boxes.empty()) << planned.boxes.front();
  EXPECT_EQ(ran.boxes.size(), 2u);  // the question and the notice of the creation
  EXPECT_EQ(planned.report, ran.report);
  EXPECT_EQ(planned.report[1], "Parent folder does not exist: " + destination);
  EXPECT_EQ(planned.report[2], "Parent folder created: " + destination);
  EXPECT_EQ(planned.refusals, (Lines{"Unable to create: sub\\c  [missing subfolder \"sub\"]"}));
}

TEST_F(PlanTest, PlansADestinationThatCannotBeMadeAsRefused) {
  dir.Write("a-file", "");
  destination = dir / "a-file/below";
  PlanThenRun();
  EXPECT_EQ(plan_result, RunResult::Refused);
  EXPECT_EQ(planned.report, ran.report);
  EXPECT_EQ(planned.report.back(), "Unable to create parent folder: " + destination);
}

TEST_F(PlanTest, TakesALongSourceAsAgreedAndAsksNothing) {
  std::string many;
  for (int i = 0; i < 150; ++i) many += "n" + std::to_string(i) + "\r\n";
  source = dir.Write("many.txt", many);
  ConversionRun plan(planned, settings);
  EXPECT_EQ(plan.Plan(source, destination), RunResult::Finished);
  EXPECT_TRUE(planned.boxes.empty());
  EXPECT_EQ(plan.counts().CreatedCount, 150);
  EXPECT_EQ(Listing(destination).size(), 4u);  // sub, folder.txt, link, old.txt only
}

}  // namespace
}  // namespace quillon
