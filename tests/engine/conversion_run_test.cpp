#include <gtest/gtest.h>

#include <filesystem>

#include "engine/ConversionRun.h"
#include "support/HostFiles.h"
#include "support/RecordingRunHost.h"
#include "support/TempDir.h"
#include "support/TextForms.h"
#include "util/IoError.h"

namespace quillon {
namespace {

using testing::kOnWindows;
using testing::ReadBytes;
using testing::RecordingRunHost;
using testing::TempDir;
using Lines = std::vector<std::string>;

class ConversionRunTest : public ::testing::Test {
 protected:
  RunResult RunOn(const std::string& source_bytes) {
    source = dir.Write("source.txt", source_bytes);
    return Run();
  }
  RunResult Run() {
    ConversionRun run(host, settings);
    const RunResult result = run.Run(source, destination);
    counts = run.counts();
    return result;
  }
  std::vector<std::string> Created() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(destination)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TempDir dir;
  TempDir out;
  std::string source;
  std::string destination = out.path();
  RunSettings settings;
  RecordingRunHost host;
  RunCounts counts;
};

TEST_F(ConversionRunTest, TheThreeLineExample) {
  EXPECT_EQ(RunOn("a\r\nb\r\na\r\n"), RunResult::Finished);
  EXPECT_EQ(host.report,
            (Lines{"Started...", "Exists already: a", "Finished!", "Created files: 2/3",
                   "Existing files: 1/3", "Success ratio: 3/3 or 100%"}));
  EXPECT_EQ(Created(), (Lines{"a.txt", "b.txt"}));
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_EQ(host.states, (Lines{"running", "idle"}));
  EXPECT_EQ(host.folders, Lines{destination});
  EXPECT_EQ(host.files, Lines{source});
  EXPECT_EQ(host.last_line, 3);
}

TEST_F(ConversionRunTest, AnEmptySourceIsOneBlankLine) {
  RunOn("");
  EXPECT_EQ(host.report, (Lines{"Started...", "Blank line met... all blanks will be ignored.",
                                "Finished!", "Blank lines met: 1", "Created files: 0/0",
                                "Existing files: 0/0", "Success ratio: 0/0 or 100%"}));
  EXPECT_TRUE(Created().empty());
}

TEST_F(ConversionRunTest, BlankLinesAreReportedOnceAndLeaveTheTotal) {
  RunOn("a\r\n\r\n\t\r\nb");
  EXPECT_EQ(host.report, (Lines{"Started...", "Blank line met... all blanks will be ignored.",
                                "Finished!", "Blank lines met: 2", "Created files: 2/2",
                                "Existing files: 0/2", "Success ratio: 2/2 or 100%"}));
  EXPECT_EQ(Created(), (Lines{"a.txt", "b.txt"}));
}

TEST_F(ConversionRunTest, RunningTwiceFindsEveryFile) {
  RunOn("a\r\nb\r\n");
  host.report.clear();
  Run();
  EXPECT_EQ(host.report,
            (Lines{"Started...", "Exists already: a", "Exists already: b", "Finished!",
                   "Created files: 0/2", "Existing files: 2/2", "Success ratio: 2/2 or 100%"}));
}

TEST_F(ConversionRunTest, AnExistingFileIsNeverChanged) {
  out.Write("keep.txt", "precious");
  settings.FillKind = "fix";
  settings.FillSize = 4;
  RunOn("keep\r\nnew\r\n");
  EXPECT_EQ(ReadBytes(out / "keep.txt"), "precious");
  EXPECT_EQ(ReadBytes(out / "new.txt"), "0000");
}

TEST_F(ConversionRunTest, AskesBeforeMoreThanAHundredLines) {
  std::string hundred;
  for (int i = 0; i < 100; ++i) hundred += "n" + std::to_string(i) + "\r\n";
  RunOn(hundred);
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_EQ(counts.CreatedCount, 100);

  TempDir other;
  destination = other.path();
  host = RecordingRunHost();
  EXPECT_EQ(RunOn(hundred + "\r\n"), RunResult::Refused);
  EXPECT_EQ(host.boxes, Lines{"Question: 101 files to be created. Really proceed??"});
  EXPECT_EQ(host.report, (Lines{"Started...", "User decides not to proceed."}));
  EXPECT_EQ(host.states, (Lines{"running", "idle"}));
  EXPECT_TRUE(host.files.empty());
  EXPECT_TRUE(Created().empty());

  host = RecordingRunHost();
  host.answers = {true};
  EXPECT_EQ(RunOn(hundred + "\r\n"), RunResult::Finished);
  EXPECT_EQ(host.report.back(), "Success ratio: 100/100 or 100%");
}

TEST_F(ConversionRunTest, AMissingSourceIsRefusedBeforeTheDestination) {
  source = dir / "missing.txt";
  destination = dir / "nowhere";
  EXPECT_EQ(Run(), RunResult::Refused);
  EXPECT_EQ(host.boxes, Lines{"Error: " + source + " does not exist! Please check complete path."});
  EXPECT_EQ(host.report, (Lines{"Started...", "Does not exist: " + source}));
  EXPECT_EQ(host.folders, Lines{destination});
  EXPECT_TRUE(host.files.empty());
  EXPECT_FALSE(std::filesystem::exists(destination));
  EXPECT_EQ(host.states, (Lines{"running", "idle"}));
}

TEST_F(ConversionRunTest, AFolderAsSourceDoesNotExist) {
  source = dir.path();
  EXPECT_EQ(Run(), RunResult::Refused);
  EXPECT_EQ(host.report.back(), "Does not exist: " + source);
}

// Windows shows a link to nothing only to its maker's rights; Wine shows none at all.
#ifndef _WIN32
TEST_F(ConversionRunTest, ALinkToNothingAsSourceDoesNotExist) {
  source = dir / "dangling.txt";
  std::filesystem::create_symlink("nowhere", source);
  EXPECT_EQ(Run(), RunResult::Refused);
  EXPECT_EQ(host.boxes, Lines{"Error: " + source + " does not exist! Please check complete path."});
  EXPECT_EQ(host.report, (Lines{"Started...", "Does not exist: " + source}));
}
#endif

TEST_F(ConversionRunTest, AMissingDestinationIsCreatedOnYes) {
  destination = out / "new/deeper";
  host.answers = {true};
  EXPECT_EQ(RunOn("a\r\n"), RunResult::Finished);
  EXPECT_EQ(
      host.boxes,
      (Lines{"Question: Chosen parent folder is invalid or does not exist. I try to create it??",
             "Quillon: Creation succesfull"}));
  EXPECT_EQ(host.report[1], "Parent folder does not exist: " + destination);
  EXPECT_EQ(host.report[2], "Parent folder created: " + destination);
  EXPECT_EQ(Created(), Lines{"a.txt"});
}

TEST_F(ConversionRunTest, AMissingDestinationRefusedOnNo) {
  destination = out / "new";
  EXPECT_EQ(RunOn("a\r\n"), RunResult::Refused);
  EXPECT_EQ(host.report, (Lines{"Started...", "Parent folder does not exist: " + destination}));
  EXPECT_FALSE(std::filesystem::exists(destination));
  EXPECT_EQ(host.files, Lines{source});
}

TEST_F(ConversionRunTest, AFileAsDestinationCannotBeCreated) {
  destination = dir.Write("file", "x");
  host.answers = {true};
  EXPECT_EQ(RunOn("a\r\n"), RunResult::Refused);
  EXPECT_EQ(host.boxes.back(), "Error: Unable to create " + destination +
                                   ". Probably invalid drive or not writable or use of bad "
                                   "characters!");
  EXPECT_EQ(host.report.back(), "Unable to create parent folder: " + destination);
  EXPECT_EQ(ReadBytes(destination), "x");
}

TEST_F(ConversionRunTest, ThePathLimitCountsTheWholeJoinedPath) {
  // The destination as the host writes it (C:\... on Windows), its separator, name, ".txt".
  const std::size_t room = 127 - destination.size() - 1 - 4;
  const std::string fits(room, 'f');
  const std::string too_long(room + 1, 'g');
  RunOn(fits + "\r\n" + too_long + "\r\n");
  EXPECT_EQ(host.report[1],
            "Warning: file to be made longer than 127 characters. Forbidden. Possibly bad "
            "text-file given!");
  EXPECT_EQ(Created(), Lines{fits + ".txt"});
  EXPECT_EQ(host.report.back(), "Success ratio: 1/2 or 50%");
}

TEST_F(ConversionRunTest, ATrailingSeparatorCountsTowardsTheLimit) {
  destination = out.path() + kPathSeparator;
  const std::size_t room = 127 - destination.size() - 1 - 4;
  RunOn(std::string(room, 'f') + "\r\n" + std::string(room + 1, 'g'));
  EXPECT_EQ(counts.CreatedCount, 1);
  EXPECT_EQ(Created(), Lines{std::string(room, 'f') + ".txt"});
}

TEST_F(ConversionRunTest, NamesThatCannotBeCreated) {
  std::filesystem::create_directories(out / "sub");
  std::filesystem::create_directories(out / "folder.txt");
  RunOn("a|b\r\nsub\\inner\r\nmissing\\x\r\n..\\escape\r\nfolder\r\nsub/../ok\r\n");
  EXPECT_EQ(host.report,
            (Lines{"Started...", "Unable to create: a|b", "Unable to create: missing\\x",
                   "Unable to create: ..\\escape", "Unable to create: folder", "Finished!",
                   "Created files: 2/6", "Existing files: 0/6", "Success ratio: 2/6 or 33%"}));
  EXPECT_TRUE(std::filesystem::exists(out / "sub/inner.txt"));
  EXPECT_TRUE(std::filesystem::exists(out / "ok.txt"));
  EXPECT_FALSE(std::filesystem::exists(dir / "escape.txt"));
}

TEST_F(ConversionRunTest, ALoneLineFeedEndsALineOnlyOnPosix) {
  RunOn("a\nb\r\n");
  if (kOnWindows) {
    // A line feed is a character of the name, and no file name holds one.
    EXPECT_EQ(host.report,
              (Lines{"Started...", "Unable to create: a\nb", "Finished!", "Created files: 0/1",
                     "Existing files: 0/1", "Success ratio: 0/1 or 0%"}));
    EXPECT_TRUE(Created().empty());
  } else {
    EXPECT_EQ(host.report.back(), "Success ratio: 2/2 or 100%");
    EXPECT_EQ(Created(), (Lines{"a.txt", "b.txt"}));
  }
}

TEST_F(ConversionRunTest, NamesDifferingInLetterCaseOnlyAreOneFileOnWindows) {
  RunOn("Alpha\r\nALPHA\r\n");
  if (kOnWindows) {
    EXPECT_EQ(host.report[1], "Exists already: ALPHA");
    EXPECT_EQ(Created(), Lines{"Alpha.txt"});
  } else {
    EXPECT_EQ(Created(), (Lines{"ALPHA.txt", "Alpha.txt"}));
  }
  EXPECT_EQ(host.report.back(), "Success ratio: 2/2 or 100%");
}

TEST_F(ConversionRunTest, TrailingDotsAndBlanksAreDroppedAndDeviceNamesRefused) {
  settings.ExtensionAlways = false;
  // COM with a superscript one, as the host's texts hold it.
  const std::string com_one = kHostTextIsUtf8 ? "COM\xC2\xB9" : "COM\xB9";
  RunOn("alpha. \r\nbeta . .\r\nCON.\r\nnul\r\ncom1.log\r\nCONIN$\r\nconout$.x\r\n" + com_one +
        "\r\n");
  EXPECT_EQ(host.report,
            (Lines{"Started...", "Unable to create: CON.", "Unable to create: nul",
                   "Unable to create: com1.log", "Unable to create: CONIN$",
                   "Unable to create: conout$.x", "Unable to create: " + com_one, "Finished!",
                   "Created files: 2/8", "Existing files: 0/8", "Success ratio: 2/8 or 25%"}));
  EXPECT_EQ(Created(), (Lines{"alpha", "beta"}));
}

TEST_F(ConversionRunTest, SourcesSavedWithAMarkOrInUtf16) {
  settings.FillKind = "single";
  settings.FillSource = true;
  settings.FillText = true;
  settings.FillTextFile = dir.Write("fill.txt", testing::Utf16File(u"f\u00E9e\r\n", false));
  const std::string e_acute = testing::kHostEAcute;
  struct Case {
    std::string bytes;
    Lines created;
    Lines refusals;
  };
  const Case cases[] = {
      {"\xEF\xBB\xBF"
       "alpha\r\nbeta",
       {"alpha.txt", "beta.txt"},
       {}},
      {testing::Utf16File(u"alpha\r\nb\u00E9ta\r\nx\xD800y\r\n"),
       {"alpha.txt", "b" + e_acute + "ta.txt"},
       {"Unable to create: x?y  [half a UTF-16 character (U+D800)]"}},
      // A character the ANSI code page lacks.
      {testing::Utf16File(u"\u0416uk"), kOnWindows ? Lines{} : Lines{"\xD0\x96uk.txt"},
       kOnWindows ? Lines{"Unable to create: ?uk  [U+0416 not in the ANSI code page]"} : Lines{}},
  };
  int folder = 0;
  for (const Case& c : cases) {
    const std::string name = std::to_string(++folder);
    destination = out / name;
    std::filesystem::create_directory(destination);
    host.refusals.clear();
    RunOn(c.bytes);
    EXPECT_EQ(Created().size(), c.created.size()) << folder;
    // Each file of its name in the host's texts, holding its line and the fill text.
    for (const std::string& file : c.created) {
      EXPECT_EQ(ReadBytes(out / (name + "/" + file)),
                file.substr(0, file.size() - 4) + "\r\nf" + e_acute + "e\r\n\r\n")
          << folder;
    }
    EXPECT_EQ(host.refusals, c.refusals) << folder;
  }
}

TEST_F(ConversionRunTest, FixedSizeWithReplacement) {
  settings.FillKind = "fix";
  settings.FillSize = 10;
  settings.ReplaceInvalid = true;
  RunOn("report|3\r\n");
  EXPECT_EQ(host.report[1], "replacing | by TEMP in report|3");
  EXPECT_EQ(ReadBytes(out / "reportTEMP3.txt"), std::string(10, '0'));
}

TEST_F(ConversionRunTest, VariableSizesAndTheirReportOrder) {
  settings.FillKind = "var";
  settings.ReplaceInvalid = true;
  settings.InvalidReplacer = "_";
  RunOn("report|2048\r\nempty|\r\nbad:name|abc\r\n|50\r\n");
  EXPECT_EQ(host.report,
            (Lines{"Started...", "bad:name|abc: Unable to find valid size. Size set to 0. ",
                   "replacing : by _ in bad:name", "Finished!", "Created files: 4/4",
                   "Existing files: 0/4", "Success ratio: 4/4 or 100%"}));
  EXPECT_EQ(ReadBytes(out / "report.txt"), std::string(2048, '0'));
  EXPECT_EQ(ReadBytes(out / "empty.txt"), "");
  EXPECT_EQ(ReadBytes(out / "bad_name.txt"), "");
  EXPECT_EQ(ReadBytes(out / ".txt"), std::string(50, '0'));
}

TEST_F(ConversionRunTest, CancelStopsAfterTheCurrentLine) {
  host.cancel_after_line = 1;
  EXPECT_EQ(RunOn("a\r\nb\r\nc\r\n"), RunResult::Cancelled);
  EXPECT_EQ(host.report, (Lines{"Started...", "Cancelled! Not all created.", "Created files: 1/3",
                                "Existing files: 0/3", "Success ratio: 1/3 or 33%"}));
  EXPECT_EQ(Created(), Lines{"a.txt"});
}

TEST_F(ConversionRunTest, CancelDuringTheLastLineStillCancels) {
  host.cancel_after_line = 2;
  EXPECT_EQ(RunOn("a\r\nb"), RunResult::Cancelled);
  EXPECT_EQ(host.report[1], "Cancelled! Not all created.");
  EXPECT_EQ(host.report.back(), "Success ratio: 2/2 or 100%");
}

TEST_F(ConversionRunTest, ACancelFromAnEarlierRunIsCleared) {
  host.cancelled = true;
  EXPECT_EQ(RunOn("a\r\nb\r\n"), RunResult::Finished);
  EXPECT_EQ(counts.CreatedCount, 2);
}

// The window can change the settings while a run handles its events.
class ChangingHost : public RecordingRunHost {
 public:
  explicit ChangingHost(RunSettings& settings) : settings_(settings) {}
  void HandlePendingEvents() override { settings_.OutputExtension = "md"; }

 private:
  RunSettings& settings_;
};

TEST_F(ConversionRunTest, SettingsAreReadForEachLine) {
  source = dir.Write("source.txt", "a\r\nb\r\n");
  ChangingHost changing(settings);
  ConversionRun run(changing, settings);
  run.Run(source, destination);
  EXPECT_EQ(Created(), (Lines{"a.txt", "b.md"}));
}

// The window's folder lists change the current folder while a run handles its events.
class WanderingHost : public RecordingRunHost {
 public:
  explicit WanderingHost(std::string elsewhere) : elsewhere_(std::move(elsewhere)) {}
  void HandlePendingEvents() override { std::filesystem::current_path(elsewhere_); }

 private:
  std::string elsewhere_;
};

TEST_F(ConversionRunTest, RelativePathsStayWhereTheyPointedWhenTheRunStarted) {
  const std::filesystem::path before = std::filesystem::current_path();
  TempDir elsewhere;
  std::filesystem::create_directories(out / "dest");
  out.Write("names.txt", "a\r\nb\r\nc\r\n");
  std::filesystem::current_path(out.path());
  WanderingHost wandering(elsewhere.path());
  ConversionRun run(wandering, settings);
  const RunResult result = run.Run("names.txt", "dest");
  std::filesystem::current_path(before);
  EXPECT_EQ(result, RunResult::Finished);
  EXPECT_EQ(wandering.report.back(), "Success ratio: 3/3 or 100%");
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
    EXPECT_TRUE(std::filesystem::exists(out / ("dest/" + std::string(name)))) << name;
  }
  EXPECT_TRUE(std::filesystem::is_empty(elsewhere.path()));
  EXPECT_EQ(wandering.files, Lines{"names.txt"});
}

// Takes the fill text file away once the first line is done, as another program might.
class FillTextTakingHost : public RecordingRunHost {
 public:
  explicit FillTextTakingHost(std::string path) : path_(std::move(path)) {}
  void HandlePendingEvents() override { std::filesystem::remove(path_); }

 private:
  std::string path_;
};

TEST_F(ConversionRunTest, AFailureOfFileOutputEndsTheRunWithoutSummary) {
  settings.FillKind = "single";
  settings.FillText = true;
  settings.FillTextFile = dir.Write("fill.txt", "text");
  source = dir.Write("source.txt", "a\r\nb\r\n");
  FillTextTakingHost taking(settings.FillTextFile);
  ConversionRun run(taking, settings);
  try {
    run.Run(source, destination);
    FAIL() << "the run went on";
  } catch (const IoError& error) {
    EXPECT_STREQ(error.what(), "File not found");
  }
  EXPECT_EQ(taking.report, Lines{"Started..."});
  EXPECT_EQ(taking.states, (Lines{"running", "idle"}));
  // The file whose filling failed goes with it: the next run makes it afresh.
  EXPECT_EQ(Created(), Lines{"a.txt"});
  EXPECT_EQ(run.counts().CreatedCount, 1);
}

TEST(SuccessPercent, RoundsHalvesToEven) {
  EXPECT_EQ(SuccessPercent(1, 8), 12);  // 12.5
  EXPECT_EQ(SuccessPercent(3, 8), 38);  // 37.5
  EXPECT_EQ(SuccessPercent(1, 3), 33);
  EXPECT_EQ(SuccessPercent(2, 3), 67);
  EXPECT_EQ(SuccessPercent(0, 5), 0);
  EXPECT_EQ(SuccessPercent(0, 0), 100);
}

}  // namespace
}  // namespace quillon
