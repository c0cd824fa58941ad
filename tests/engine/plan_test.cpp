// A plan predicts the run: the same report on an unchanged disk, every line's outcome and its
// reason, and nothing created, filled or changed while planning.
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

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
  std::error_code error;
  if (!fs::exists(folder, error)) return entries;
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

// The run's boxes but its questions and the notice that it made the destination.
Lines WithoutQuestions(const Lines& boxes) {
  Lines kept;
  for (const std::string& box : boxes) {
    if (!box.starts_with("Question: ") && box != "Quillon: Creation succesfull")
      kept.push_back(box);
  }
  return kept;
}

TEST_F(PlanTest, RefusesWhatTheChecksOfTheRunRefuseAndNothingIsMade) {
  const std::string fill = dir / "fill-text";
#ifndef _WIN32
  const std::string dangling = dir / "dangling";
  std::filesystem::create_symlink(dir / "nowhere", dangling);
#endif
  struct Case {
    const char* what;
    std::optional<std::string> fill_text;  // the single text's file, when the files get one
    std::string destination;
    std::function<void()> make = [] {};
  };
  const std::vector<Case> cases{
      {"fill text file missing", fill, out},
      {"fill text file a folder", fill, out, [&] { fs::create_directory(fill); }},
      {"fill text file not given", "", out},
#ifndef _WIN32
      {"fill text file a pipe", fill, out, [&] { ASSERT_EQ(mkfifo(fill.c_str(), 0600), 0); }},
      {"destination under /proc", std::nullopt, "/proc/quillon-plan-test"},
      {"destination below a link to nothing", std::nullopt, dangling + "/below"},
      {"destination a link to nothing", std::nullopt, dangling},
#endif
      {"destination's folder name too long", std::nullopt,
       dir / (std::string(256, 'x') + "/below")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.destination.starts_with("/proc") && !fs::is_directory("/proc/self")) continue;
    c.make();
    settings.FillKind = c.fill_text ? "single" : "none";
    settings.FillText = true;
    settings.FillTextFile = c.fill_text.value_or("");
    destination = c.destination;
    planned = {};
    ran = {};
    const Lines before = Listing(dir.path());
    PlanThenRun();
    EXPECT_EQ(plan_result, RunResult::Refused);
    EXPECT_EQ(run_result, RunResult::Refused);
    EXPECT_EQ(planned.report, ran.report);
    EXPECT_EQ(planned.boxes, WithoutQuestions(ran.boxes));
    EXPECT_EQ(Listing(dir.path()), before) << "the run made something";
    std::error_code ignored;
    fs::remove(fill, ignored);
  }
}

#ifndef _WIN32
TEST_F(PlanTest, KnowsWhereEvenTheSuperuserCanMakeNoFile) {
  // Every check of rights lets the superuser through, but no file can be made in these.
  for (const std::string folder : {"/proc", "/sys/kernel"}) {
    SCOPED_TRACE(folder);
    if (!fs::is_directory(folder)) continue;
    planned = {};
    ran = {};
    ConversionRun(planned, settings).Plan(source, folder);
    ConversionRun(ran, settings).Run(source, folder);
    EXPECT_EQ(planned.report, ran.report);
    EXPECT_EQ(planned.refusals, ran.refusals);
    EXPECT_FALSE(ran.refusals.empty());
  }
}
#endif

TEST_F(PlanTest, MeetsTheComponentsOfAClimbInTheRunsOrder) {
  source = dir.Write("climbs.txt",
                     "a\r\n"
                     "a.txt\\..\\b\r\n"  // the first line's file, then a climb
                     "sub\\c\r\n"
                     "sub\\c.txt\\..\\d\r\n"   // a file made in a subfolder
                     "link\\..\\a.txt\\x\r\n"  // a link met before the file
                     "missing\\..\\e\r\n"
                     "sub\\..\\missing\\..\\f\r\n"
                     "sub\\..\\sub\\g\r\n");
  PlanThenRun();
  EXPECT_EQ(
      planned.refusals,
      (Lines{"Unable to create: a.txt\\..\\b  [\"a.txt\" is a file, not a subfolder]",
             "Unable to create: sub\\c.txt\\..\\d  [\"sub/c.txt\" is a file, not a subfolder]",
             "Unable to create: link\\..\\a.txt\\x  [subfolder \"link\" is a link]",
             "Unable to create: missing\\..\\e  [missing subfolder \"missing\"]",
             "Unable to create: sub\\..\\missing\\..\\f  [missing subfolder \"sub/../missing\"]"}));
  EXPECT_EQ(planned.refusals, ran.refusals);
  EXPECT_EQ(planned.report, ran.report);
}

#ifndef _WIN32
// An exFAT image mounted through FUSE, as a USB stick is: names that differ in letter case are
// one file there. Needs the superuser, exfatprogs and exfat-fuse; ok() is false elsewhere.
class CaseFoldingMount {
 public:
  explicit CaseFoldingMount(const std::string& folder) : point_(folder + "/volume") {
    if (geteuid() != 0 || std::system("command -v mkfs.exfat >/dev/null && command -v "
                                      "mount.exfat-fuse >/dev/null && command -v losetup "
                                      ">/dev/null") != 0) {
      return;
    }
    fs::create_directory(point_);
    const std::string image = folder + "/volume.img", device_file = folder + "/device";
    mounted_ = std::system(("truncate -s 16M '" + image + "' && mkfs.exfat '" + image +
                            "' >/dev/null && losetup -f --show '" + image + "' > '" + device_file +
                            "' && mount.exfat-fuse \"$(cat '" + device_file + "')\" '" + point_ +
                            "' 2>/dev/null")
                               .c_str()) == 0;
    device_ = testing::ReadBytes(device_file);
    if (!device_.empty()) device_.pop_back();  // its line end
  }
  ~CaseFoldingMount() {
    if (mounted_) std::system(("umount '" + point_ + "'").c_str());
    if (!device_.empty()) std::system(("losetup -d '" + device_ + "' 2>/dev/null").c_str());
  }
  bool ok() const { return mounted_; }
  const std::string& point() const { return point_; }

 private:
  std::string point_, device_;
  bool mounted_ = false;
};
#endif

TEST(PlanOfLetterCase, FoldsNamesAsTheDestinationsFileSystemDoes) {
  TempDir dir;
  struct Volume {
    const char* what;
    std::string folder;
    bool folds;
  };
  std::vector<Volume> volumes{{"the temporary folder", dir.path(), testing::kOnWindows}};
#ifndef _WIN32
  const CaseFoldingMount exfat(dir.path());
  if (exfat.ok()) volumes.push_back({"an exFAT volume", exfat.point(), true});
#endif
  const std::string source =
      dir.Write("cases.txt", "Name\r\nNAME\r\n1\\Deep\r\n1\\DEEP\r\nname\r\n");
  const RunSettings settings;
  for (const Volume& volume : volumes) {
    // No entry with a letter: a probe file tells. One with a letter tells. A folder still to
    // be made takes letter case as the folder above it.
    const std::string probed = volume.folder + "/probed", listed = volume.folder + "/listed";
    fs::create_directories(probed + "/1");
    fs::create_directories(listed + "/1");
    std::ofstream(listed + "/Other.txt") << "";
    for (const std::string& destination : {probed, listed, volume.folder + "/new"}) {
      SCOPED_TRACE(std::string(volume.what) + ": " + destination);
      const bool made = destination.ends_with("/new");
      const Lines before = Listing(volume.folder);
      RecordingRunHost planned, ran;
      ConversionRun(planned, settings).Plan(source, destination);
      EXPECT_EQ(Listing(volume.folder), before) << "planning left something";
      ran.answers = {true};
      ConversionRun(ran, settings).Run(source, destination);
      EXPECT_EQ(planned.report, ran.report);
      EXPECT_EQ(planned.refusals, ran.refusals);
      const std::string deep = made ? "unable missing subfolder \"1\"" : "created ";
      const std::string deep_again = made           ? deep
                                     : volume.folds ? "exists line 3 creates it"
                                                    : "created ";
      const std::string again = volume.folds ? "exists line 1 creates it" : "created ";
      EXPECT_EQ(planned.decided,
                (Lines{"1 Name.txt 0 created ", "2 NAME.txt 0 " + again, "3 1\\Deep.txt 0 " + deep,
                       "4 1\\DEEP.txt 0 " + deep_again, "5 name.txt 0 " + again}));
    }
  }
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
