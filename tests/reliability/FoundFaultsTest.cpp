// Faults the fuzz targets found, each kept here as the plain case that showed it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "history/HistoryList.h"
#include "settings/SettingsFile.h"
#include "support/RecordingRunHost.h"
#include "util/IoError.h"
#include "support/TempDir.h"
#include "util/WholeNumber.h"

namespace quillon::testing {
namespace {

TEST(FoundFaults, HexadecimalNumbersMayHaveLeadingZerosLikeDecimalOnes) {
  EXPECT_EQ(ReadWholeNumber("0X000000010"), 16);
  EXPECT_EQ(ReadWholeNumber("$00000000FFFFFFFF"), -1);
  EXPECT_EQ(ReadWholeNumber("x000"), 0);
  EXPECT_EQ(ReadWholeNumber("0x0100000000"), std::nullopt);  // 33 bits stay refused
  EXPECT_EQ(ReadWholeNumber("0x"), std::nullopt);
}

TEST(FoundFaults, NulByteRightAfterALineEndAddsNoEmptyHistoryItem) {
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
    RecordingRunHost boxes;
    HistoryList list(boxes);
    list.LoadHistory(temp.path());
    EXPECT_EQ(list.items(), items);
  }
}

TEST(FoundFaults, TextWithALineBreakCannotSmuggleKeysIntoTheSettingsFile) {
  TempDir temp;
  const std::string previous = "[Fill]\r\nKind=var\r\n";
  const std::string file = temp.Write("quillon.ini", previous);
  RunSettings settings;
  settings.SelectionFolder = "/home/ann/a\n[Fill]\nKind=fix\nSize=999999";
  try {
    WriteRunSettings(file, settings);
    ADD_FAILURE() << "written";
  } catch (const UserError& error) {
    EXPECT_EQ(std::string(error.what()), "Unable to write to " + file);
  }
  EXPECT_EQ(ReadBytes(file), previous);
  settings.SelectionFolder = "/home/ann/a";
  settings.FillTextFile = "/x\ry";
  EXPECT_THROW(WriteRunSettings(file, settings), UserError);
  EXPECT_EQ(ReadBytes(file), previous);
}

}  // namespace
}  // namespace quillon::testing
