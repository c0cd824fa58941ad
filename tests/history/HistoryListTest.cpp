#include "history/HistoryList.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "support/RecordingMessages.h"
#include "support/TempDir.h"
#include "util/IoError.h"

namespace quillon {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using Items = std::vector<std::string>;

using RecordingHost = testing::RecordingMessages<>;

struct Entry {
  std::size_t tag;
  std::string caption, remove_caption;
  bool operator==(const Entry&) const = default;
};

class RecordingEntries : public HistoryEntries {
 public:
  void ClearEntries() override { entries.clear(); }
  void AddEntry(std::size_t index, const std::string& caption,
                const std::string& remove_caption) override {
    entries.push_back({index, caption, remove_caption});
  }
  std::vector<std::string> captions() const {
    std::vector<std::string> all;
    for (const Entry& entry : entries) all.push_back(entry.caption);
    return all;
  }
  std::vector<Entry> entries;
};

std::string Lines(const Items& items) {
  std::string bytes;
  for (const std::string& item : items) bytes += item + "\r\n";
  return bytes;
}

Items Numbered(const std::string& stem, int count) {
  Items items;
  for (int i = 0; i < count; ++i) items.push_back(stem + std::to_string(i));
  return items;
}

class HistoryListTest : public ::testing::Test {
 protected:
  HistoryListTest() { list.SetEntries(&menu); }
  std::string HistoryFile() const { return ReadBytes(dir / "files.his"); }
  void Load() { list.LoadHistory(dir.path()); }

  TempDir dir;
  RecordingHost host;
  RecordingEntries menu;
  HistoryList list{host};
};

TEST_F(HistoryListTest, FirstStartWritesAnEmptyHistoryFileAndUsesTheDefaults) {
  Load();
  EXPECT_EQ(list.maxhist(), 10);
  EXPECT_EQ(list.maxitemlen(), 2000);
  ASSERT_TRUE(std::filesystem::exists(dir / "files.his"));
  EXPECT_EQ(HistoryFile(), "");
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_FALSE(std::filesystem::exists(dir / "max.his"));
  EXPECT_EQ(list.histpath(), dir / "files.his");
  EXPECT_EQ(list.maxhistpath(), dir / "max.his");
  EXPECT_EQ(list.maxitemlenpath(), dir / "maxlen.his");
}

TEST_F(HistoryListTest, ReadsEveryLineEndAndWritesCrLfBack) {
  dir.Write("files.his", "a\r\nb\rc\nd\r\n\r\ne");
  Load();
  EXPECT_EQ(list.items(), (Items{"a", "b", "c", "d", "", "e"}));
  EXPECT_EQ(HistoryFile(), "a\r\nb\r\nc\r\nd\r\n\r\ne\r\n");
  EXPECT_EQ(menu.captions(), (Items{"a", "b", "c", "d", "", "e"}));
}

TEST_F(HistoryListTest, AByteOrderMarkIsNoPartOfTheFirstItemOrTheLimit) {
  dir.Write("files.his", "\xEF\xBB\xBF/first\r\n/second\r\n");
  dir.Write("max.his",
            "\xEF\xBB\xBF"
            "3\r\n");
  Load();
  EXPECT_EQ(list.items(), (Items{"/first", "/second"}));
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_EQ(HistoryFile(), "/first\r\n/second\r\n");
}

TEST_F(HistoryListTest, ANulByteEndsTheHistoryText) {
  dir.Write("files.his", std::string("a\r\nb\0c\r\nd\r\n", 10));
  Load();
  EXPECT_EQ(list.items(), (Items{"a", "b"}));
}

TEST_F(HistoryListTest, CtrlZIsAnOrdinaryCharacterOfTheHistoryFiles) {
  dir.Write("files.his",
            "a\x1A"
            "b\r\n\x1A\r\nc\r\n");
  dir.Write("max.his", "5\x1A\r\n");
  Load();
  EXPECT_EQ(list.items(), (Items{"a\x1A"
                                 "b",
                                 "\x1A", "c"}));
  EXPECT_EQ(HistoryFile(),
            "a\x1A"
            "b\r\n\x1A\r\nc\r\n");
  EXPECT_EQ(host.boxes, Items{"Warning: Invalid number in max.his"});
}

// Links to nothing and a file-size limit, which only a POSIX host gives a user.
#ifndef _WIN32
TEST_F(HistoryListTest, LinksToNothingAreMissingFiles) {
  for (const char* name : {"files.his", "max.his", "maxlen.his"}) {
    ASSERT_EQ(symlink("nowhere", (dir / name).c_str()), 0);
  }
  Load();
  EXPECT_EQ(list.maxhist(), 10);
  EXPECT_EQ(list.maxitemlen(), 2000);
  EXPECT_TRUE(list.items().empty());
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_EQ(HistoryFile(), "");
}
#endif

TEST_F(HistoryListTest, LoadKeepsDuplicatesAndItemsBeyondTheLimit) {
  dir.Write("files.his", Lines({"x", "X", "x"}));
  dir.Write("max.his", "2\r\n");
  Load();
  EXPECT_EQ(list.items(), (Items{"x", "X", "x"}));
  EXPECT_EQ(HistoryFile(), Lines({"x", "X", "x"}));
}

TEST_F(HistoryListTest, AsciiCaseIsIgnoredAndTheLastMatchMovesInTheNewSpelling) {
  dir.Write("files.his", Lines({"/Data/One", "/data/two", "/DATA/TWO", "/data/three"}));
  Load();
  list.AddItem("/Data/Two");
  // The highest matching index goes; the earlier spelling stays.
  EXPECT_EQ(list.items(), (Items{"/Data/Two", "/Data/One", "/data/two", "/data/three"}));
  EXPECT_EQ(HistoryFile(), Lines({"/Data/Two", "/Data/One", "/data/two", "/data/three"}));
}

TEST_F(HistoryListTest, CaseOfOtherBytesMakesANewItem) {
  Load();
  list.AddItem("/home/\xC3\xA9t\xC3\xA9");  // é in UTF-8
  list.AddItem("/home/\xC3\x89t\xC3\xA9");  // É
  list.AddItem("/home/\xE9");               // é in Latin-1
  list.AddItem("/home/\xC9");
  EXPECT_EQ(list.items().size(), 4u);
  list.AddItem("/HOME/\xC9");
  EXPECT_EQ(list.items(), (Items{"/HOME/\xC9", "/home/\xE9", "/home/\xC3\x89t\xC3\xA9",
                                 "/home/\xC3\xA9t\xC3\xA9"}));
}

TEST_F(HistoryListTest, ANewItemOnAFullListDropsTheOldest) {
  dir.Write("files.his", Lines(Numbered("p", 10)));
  Load();
  list.AddItem("new");
  Items expected = Numbered("p", 9);
  expected.insert(expected.begin(), "new");
  EXPECT_EQ(list.items(), expected);
  EXPECT_EQ(HistoryFile(), Lines(expected));
  EXPECT_EQ(menu.entries.size(), 10u);
}

TEST_F(HistoryListTest, ALongFileShowsOnlyTheLimitAndEachAdditionDropsOneItem) {
  const Items fifteen = Numbered("p", 15);
  dir.Write("files.his", Lines(fifteen));
  Load();
  EXPECT_EQ(menu.entries.size(), 10u);
  EXPECT_EQ(host.boxes, (Items{"Quillon: count > maxhist??"}));
  EXPECT_EQ(HistoryFile(), Lines(fifteen));

  host.boxes.clear();
  list.AddItem("new");
  Items expected = fifteen;
  expected.erase(expected.begin() + 9);  // index 10 after the insertion
  expected.insert(expected.begin(), "new");
  EXPECT_EQ(list.items(), expected);
  EXPECT_EQ(HistoryFile(), Lines(expected));
  EXPECT_EQ(host.boxes, (Items{"Quillon: count > maxhist??"}));
  EXPECT_EQ(menu.entries.size(), 10u);
  EXPECT_EQ(menu.entries[9].tag, 9u);
}

TEST_F(HistoryListTest, AZeroLimitKeepsNothing) {
  dir.Write("max.his", "0\r\n");
  Load();
  list.AddItem("a");
  EXPECT_TRUE(list.items().empty());
  EXPECT_TRUE(menu.entries.empty());
  EXPECT_EQ(HistoryFile(), "");
  EXPECT_TRUE(host.boxes.empty());
}

TEST_F(HistoryListTest, EmptyAndLongTextsAreStoredWhole) {
  Load();
  const std::string long_text(5000, 'q');
  list.AddItem("");
  list.AddItem(long_text);
  EXPECT_EQ(list.items(), (Items{long_text, ""}));
  EXPECT_EQ(HistoryFile(), long_text + "\r\n\r\n");
  EXPECT_EQ(menu.entries[0].caption, "..." + std::string(1997, 'q'));
}

TEST_F(HistoryListTest, CountAndLengthFilesThatAreNotNumbersWarnAndGiveTheDefaults) {
  struct Case {
    std::string bytes;
    bool warns;
    std::int32_t maxhist;
  };
  const std::vector<Case> cases = {
      {"", true, 10},         {"abc\r\n", true, 10}, {"\r\n7\r\n", true, 10},
      {"12x\r\n", true, 10},  {"-3\r\n", true, 10},  {"500\r\n", false, 500},
      {"7\r\nabc", false, 7}, {"7", false, 7},       {"7\n", false, 7}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    TempDir folder;
    folder.Write("max.his", c.bytes);
    folder.Write("maxlen.his", c.bytes);
    RecordingHost messages;
    HistoryList history(messages);
    history.LoadHistory(folder.path());
    EXPECT_EQ(history.maxhist(), c.maxhist);
    EXPECT_EQ(history.maxitemlen(), c.warns ? 2000 : c.maxhist);
    if (c.warns) {
      EXPECT_EQ(messages.boxes, (Items{"Warning: Invalid number in max.his",
                                       "Warning: Invalid number in maxlen.his"}));
    } else {
      EXPECT_TRUE(messages.boxes.empty());
    }
  }
}

TEST_F(HistoryListTest, LoadReplacesLimitsSetBefore) {
  list.set_maxhist(3);
  list.set_maxitemlen(5);
  Load();
  EXPECT_EQ(list.maxhist(), 10);
  EXPECT_EQ(list.maxitemlen(), 2000);
}

TEST_F(HistoryListTest, OtherFileNamesAreUsed) {
  list.histname = "dirfiles.his";
  list.maxhistname = "dirmax.his";
  list.maxitemlenname = "dirmaxlen.his";
  dir.Write("dirmax.his", "x\r\n");
  dir.Write("files.his", Lines({"not mine"}));
  Load();
  EXPECT_EQ(host.boxes, (Items{"Warning: Invalid number in dirmax.his"}));
  EXPECT_TRUE(list.items().empty());
  EXPECT_EQ(ReadBytes(dir / "dirfiles.his"), "");
  EXPECT_EQ(HistoryFile(), Lines({"not mine"}));
}

TEST_F(HistoryListTest, CaptionsAreShortenedFromTheLeft) {
  dir.Write("maxlen.his", "20\r\n");
  const std::string item = "abcdefghijklmnopqrstuvwxyz0123";  // 30 characters
  dir.Write("files.his", Lines({item, "short"}));
  Load();
  EXPECT_EQ(menu.entries[0], (Entry{0, "..." + item.substr(13), "remove ..." + item.substr(20)}));
  EXPECT_EQ(menu.entries[1], (Entry{1, "short", "remove short"}));

  list.set_maxitemlen(2000);
  list.RebuildMenu();
  EXPECT_EQ(menu.entries[0], (Entry{0, item, "remove " + item}));
}

TEST_F(HistoryListTest, LengthsBelowSevenLeaveRemoveCaptionsShort) {
  Load();
  list.set_maxitemlen(5);
  EXPECT_EQ(list.EntryCaption("abcdefgh"), "...gh");
  EXPECT_EQ(list.RemoveCaption("abcdefgh"), "remove ...");
  EXPECT_EQ(list.RemoveCaption(""), "remove ");
  list.set_maxitemlen(70000);  // beyond the 16 bits of the caption width
  EXPECT_EQ(list.EntryCaption(std::string(3000, 'a')), std::string(3000, 'a'));
}

TEST_F(HistoryListTest, PickMovesTheItemUpAndGivesItsFullText) {
  dir.Write("maxlen.his", "10\r\n");
  dir.Write("files.his", Lines({"first", "/a/very/long/second/path", ""}));
  Load();
  EXPECT_EQ(list.Pick(1), "/a/very/long/second/path");
  EXPECT_EQ(HistoryFile(), Lines({"/a/very/long/second/path", "first", ""}));
  EXPECT_EQ(list.Pick(2), "");
  EXPECT_EQ(HistoryFile(), Lines({"", "/a/very/long/second/path", "first"}));
  EXPECT_EQ(list.Pick(3), std::nullopt);
  EXPECT_EQ(list.items().size(), 3u);
}

TEST_F(HistoryListTest, RemoveEntryAndRemoveAll) {
  dir.Write("files.his", Lines({"a", "b", "c"}));
  Load();
  list.RemoveEntry(1);
  EXPECT_EQ(HistoryFile(), Lines({"a", "c"}));
  EXPECT_EQ(menu.captions(), (Items{"a", "c"}));
  list.RemoveEntry(2);
  EXPECT_EQ(list.items(), (Items{"a", "c"}));

  host.answers = {false};
  list.RemoveAll();
  EXPECT_EQ(host.boxes, (Items{"Question: Really want to remove all history items??"}));
  EXPECT_EQ(HistoryFile(), Lines({"a", "c"}));

  host.boxes.clear();
  host.answers = {true};
  list.RemoveAll();
  EXPECT_TRUE(list.items().empty());
  EXPECT_TRUE(menu.entries.empty());
  EXPECT_EQ(HistoryFile(), "");

  host.boxes.clear();
  list.RemoveAll();
  EXPECT_EQ(host.boxes, (Items{"Quillon: History is already empty!"}));
}

TEST_F(HistoryListTest, DialogValuesOutOfRangeOrNotNumbersChangeNothing) {
  dir.Write("files.his", Lines({"a", "b", "c"}));
  Load();
  for (const char* text : {"101", "-1", "abc", "", "3.5"}) {
    list.SetMaxHistFromText(text);
    list.SetMaxItemLenFromText(text == std::string("101") ? "10001" : text);
  }
  EXPECT_EQ(
      host.boxes,
      (Items{"Error: Number must be between 0 and 100", "Error: Number must be between 0 and 10000",
             "Error: Number must be between 0 and 100", "Error: Number must be between 0 and 10000",
             "Error: Invalid number!!", "Error: Invalid number!!", "Error: Invalid number!!",
             "Error: Invalid number!!", "Error: Invalid number!!", "Error: Invalid number!!"}));
  EXPECT_EQ(list.maxhist(), 10);
  EXPECT_EQ(list.maxitemlen(), 2000);
  EXPECT_EQ(list.items().size(), 3u);
  EXPECT_FALSE(std::filesystem::exists(dir / "max.his"));
  EXPECT_FALSE(std::filesystem::exists(dir / "maxlen.his"));
}

TEST_F(HistoryListTest, ANewMaximumTrimsTheListAndIsSaved) {
  dir.Write("files.his", Lines({"a", "b", "c", "d"}));
  Load();
  list.SetMaxHistFromText("100");
  EXPECT_EQ(ReadBytes(dir / "max.his"), "100\r\n");
  list.SetMaxHistFromText("2");
  EXPECT_EQ(list.items(), (Items{"a", "b"}));
  EXPECT_EQ(HistoryFile(), Lines({"a", "b"}));
  EXPECT_EQ(ReadBytes(dir / "max.his"), "2\r\n");
  list.SetMaxHistFromText("0");
  EXPECT_TRUE(list.items().empty());
  EXPECT_TRUE(menu.entries.empty());
  EXPECT_EQ(HistoryFile(), "");
  EXPECT_EQ(ReadBytes(dir / "max.his"), "0\r\n");
  EXPECT_TRUE(host.boxes.empty());

  HistoryList next_start(host);
  next_start.LoadHistory(dir.path());
  EXPECT_EQ(next_start.maxhist(), 0);
}

TEST_F(HistoryListTest, ANewLengthRebuildsAndIsSaved) {
  dir.Write("files.his", Lines({"abcdefghij"}));
  Load();
  list.SetMaxItemLenFromText("8");
  EXPECT_EQ(menu.entries[0].caption, "...fghij");
  EXPECT_EQ(ReadBytes(dir / "maxlen.his"), "8\r\n");
  list.SetMaxItemLenFromText("0");
  EXPECT_EQ(menu.entries[0].caption, "...");
  EXPECT_EQ(ReadBytes(dir / "maxlen.his"), "0\r\n");
}

TEST_F(HistoryListTest, AnUnsavableLimitIsReportedAndStaysInForce) {
  std::filesystem::create_directory(dir / "max.his");
  dir.Write("files.his", Lines({"a", "b", "c"}));
  Load();
  EXPECT_TRUE(host.boxes.empty());
  list.SetMaxHistFromText("1");
  EXPECT_EQ(host.boxes,
            (Items{"Error: Unable to save max history file " + (dir / "max.his") + "!!"}));
  EXPECT_EQ(list.maxhist(), 1);
  EXPECT_EQ(HistoryFile(), Lines({"a"}));
}

TEST_F(HistoryListTest, TwoListsOnTheSameFilesShareOnlyTheFiles) {
  dir.Write("files.his", Lines({"a", "b", "c"}));
  RecordingEntries other_menu;
  HistoryList other(host);
  other.SetEntries(&other_menu);
  Load();
  other.LoadHistory(dir.path());

  list.RemoveEntry(1);
  list.SetMaxHistFromText("5");
  EXPECT_EQ(HistoryFile(), Lines({"a", "c"}));
  EXPECT_EQ(other.items(), (Items{"a", "b", "c"}));
  EXPECT_EQ(other.maxhist(), 10);

  list.AddItem("d");
  other.AddItem("d");
  EXPECT_EQ(list.items(), (Items{"d", "a", "c"}));
  EXPECT_EQ(HistoryFile(), Lines({"d", "a", "b", "c"}));
  EXPECT_EQ(other_menu.captions(), (Items{"d", "a", "b", "c"}));
}

#ifndef _WIN32
// A file's identity, the rights of files and the process's limits are the POSIX host's.
TEST_F(HistoryListTest, TheFileIsWrittenOnlyWhenWhatItHoldsChanges) {
  // A replacement is a new file, so the file's identity tells whether it was written.
  const auto identity = [&] {
    struct stat info {};
    EXPECT_EQ(stat((dir / "files.his").c_str(), &info), 0);
    return info.st_ino;
  };
  dir.Write("files.his", Lines({"b", "a"}));
  auto written = identity();
  Load();
  EXPECT_EQ(identity(), written) << "a start that finds the list as it was";
  list.AddItem("b");
  EXPECT_EQ(identity(), written) << "a use of the item on top";
  list.AddItem("a");
  EXPECT_NE(identity(), written);
  EXPECT_EQ(HistoryFile(), Lines({"a", "b"}));

  // The same items in another form are written again in the history file's own.
  dir.Write("files.his", "a\nb");
  written = identity();
  Load();
  EXPECT_NE(identity(), written);
  EXPECT_EQ(HistoryFile(), Lines({"a", "b"}));
  // A missing file is made, also for an empty list.
  std::filesystem::remove(dir / "files.his");
  list.RemoveEntry(0);
  list.RemoveEntry(0);
  EXPECT_EQ(HistoryFile(), "");
}

TEST_F(HistoryListTest, AFailedWriteLeavesTheOldHistoryFileWhole) {
  const std::string old = Lines({"old one", "old two"});
  dir.Write("files.his", old);
  Load();

  // A file-size limit makes the write of the new content fail part way, as a full disk does.
  // Root is bound by it too.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 64;
  const auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  bool threw = false;
  try {
    list.AddItem(std::string(200, 'n'));
  } catch (const UserError& error) {
    threw = std::string(error.what()) == "Unable to write to " + (dir / "files.his");
  }
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous_handler);

  EXPECT_TRUE(threw);
  EXPECT_EQ(HistoryFile(), old);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, (Items{"files.his"}));
}
#endif

TEST_F(HistoryListTest, AnUnwritableHistoryFileFailsTheLoad) {
  std::filesystem::create_directory(dir / "files.his");
  EXPECT_THROW(Load(), UserError);
}

// Found by fuzzing.
TEST(HistoryList, NulByteRightAfterALineEndAddsNoEmptyHistoryItem) {
  const std::string nul(1, '\0');
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases{
      {"\r\n" + nul + nul + "\nlast", {""}},
      {"a\r\n" + nul + "b\r\n", {"a"}},
      {nul, {}},
      {"a" + nul + "b\r\nc\r\n", {"a"}},
  };
  for (const auto& [content, items] : cases) {
    TempDir temp;
    temp.Write("files.his", content);
    RecordingHost boxes;
    HistoryList list(boxes);
    list.LoadHistory(temp.path());
    EXPECT_EQ(list.items(), items);
  }
}

}  // namespace
}  // namespace quillon
