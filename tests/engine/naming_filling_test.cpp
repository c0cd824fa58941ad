#include <gtest/gtest.h>

#include "engine/Filling.h"
#include "engine/Naming.h"
#include "support/TempDir.h"
#include "util/DestinationFolder.h"
#include "util/FileSystem.h"
#include "util/IoError.h"
#include "util/WholeNumber.h"

namespace quillon {
namespace {

using testing::ReadBytes;
using testing::TempDir;

std::vector<std::string> reported;
const ReportSink kRecord = [](const std::string& line) { reported.push_back(line); };

TEST(SplitSourceLine, RemovesTabsAndSplitsOnlyForVariableKinds) {
  const LineParts tabbed = SplitSourceLine("ab\tc", "none", 124);
  EXPECT_EQ(tabbed.RawLine, "ab\tc");
  EXPECT_EQ(tabbed.Name, "abc");
  EXPECT_FALSE(tabbed.Blank);
  EXPECT_TRUE(SplitSourceLine("\t\t", "none", 124).Blank);
  EXPECT_TRUE(SplitSourceLine("", "var", 124).Blank);
  EXPECT_FALSE(SplitSourceLine("  ", "none", 124).Blank);

  const LineParts var = SplitSourceLine("a|b|12", "var", 124);
  EXPECT_EQ(var.Name, "a|b");
  EXPECT_EQ(var.SizeText, "12");
  EXPECT_EQ(var.SeparatorPos, 4u);

  const LineParts trailing = SplitSourceLine("report|", "fixifnovar", 124);
  EXPECT_EQ(trailing.Name, "report");
  EXPECT_EQ(trailing.SizeText, "");
  EXPECT_EQ(trailing.SeparatorPos, 7u);

  const LineParts leading = SplitSourceLine("|50", "var", 124);
  EXPECT_EQ(leading.Name, "");
  EXPECT_EQ(leading.SizeText, "50");

  const LineParts fix = SplitSourceLine("report|2048", "fix", 124);
  EXPECT_EQ(fix.Name, "report|2048");
  EXPECT_EQ(fix.SizeText, "");
  EXPECT_EQ(fix.SeparatorPos, 7u);

  // Letter case counts in the kind; only the low 8 bits of the code make the separator.
  EXPECT_EQ(SplitSourceLine("a|1", "Var", 124).Name, "a|1");
  EXPECT_EQ(SplitSourceLine("a|1", "var", 124 + 256).Name, "a");
  EXPECT_EQ(SplitSourceLine("a\t1", "var", 9).SeparatorPos, 0u);
}

TEST(LinePartsBuilder, ServesLineAfterLineWhateverThePiecesAndTabs) {
  LinePartsBuilder builder;
  const auto split = [&](std::initializer_list<std::string_view> pieces, std::string_view kind) {
    builder.Start(kind, 124);
    for (std::string_view piece : pieces) builder.Append(piece);
    return builder.Finish();
  };
  LineParts parts = split({"a-long-name|1234"}, "var");
  EXPECT_EQ(parts.Name, "a-long-name");
  EXPECT_EQ(parts.SizeText, "1234");
  // The last separator counts, also when pieces and tabs cut the line elsewhere.
  parts = split({"a\t|1", "2|", "\t3"}, "var");
  EXPECT_EQ(parts.RawLine, "a\t|12|\t3");
  EXPECT_EQ(parts.Name, "a|12");
  EXPECT_EQ(parts.SizeText, "3");
  EXPECT_EQ(parts.SeparatorPos, 5u);
  // Nothing of an earlier line stays behind.
  parts = split({"x|y"}, "none");
  EXPECT_EQ(parts.Name, "x|y");
  EXPECT_EQ(parts.SizeText, "");
  parts = split({"plain"}, "var");
  EXPECT_EQ(parts.Name, "plain");
  EXPECT_EQ(parts.SizeText, "");
  EXPECT_EQ(parts.SeparatorPos, 0u);
  EXPECT_TRUE(split({"\t", ""}, "var").Blank);
}

TEST(ReplaceInvalidChars, ReportsEachReplacementWithTheOriginalName) {
  reported.clear();
  EXPECT_EQ(ReplaceInvalidChars("a:b*c", "_", kRecord), "a_b_c");
  EXPECT_EQ(reported,
            (std::vector<std::string>{"replacing : by _ in a:b*c", "replacing * by _ in a:b*c"}));
  reported.clear();
  EXPECT_EQ(ReplaceInvalidChars("a?b", "TEMP", kRecord), "aTEMPb");
  EXPECT_EQ(ReplaceInvalidChars("x/y", "", kRecord), "xy");
  EXPECT_EQ(reported.back(), "replacing / by  in x/y");
  reported.clear();
  EXPECT_EQ(ReplaceInvalidChars("\x01 \x7F\xE9", "_", kRecord), "\x01 \x7F\xE9");
  EXPECT_TRUE(reported.empty());
  EXPECT_EQ(ReplaceInvalidChars("\\/:*?\"<>|", "", kRecord), "");
  EXPECT_EQ(reported.size(), 9u);
}

// The destination and the name are joined by the host's separator, as they stand.
TEST(OutputPath, AddsTheExtensionWhereDue) {
  // One buffer for all, as a run uses it: nothing of a longer path before stays behind.
  std::string path = "/a-much-longer-path-written-before/old.txt";
  const auto output_path = [&](std::string_view destination, std::string_view name,
                               std::string_view extension, bool always) {
    OutputPath(destination, name, extension, always, path);
    return path;
  };
#ifdef _WIN32
  EXPECT_EQ(output_path("C:\\d", "notes.v2", "txt", false), "C:\\d\\notes.v2");
  EXPECT_EQ(output_path("C:\\d", "readme", "txt", false), "C:\\d\\readme.txt");
  EXPECT_EQ(output_path("C:\\d", "end.", "txt", false), "C:\\d\\end.");
  EXPECT_EQ(output_path("C:\\d", "notes.v2", "txt", true), "C:\\d\\notes.v2.txt");
  EXPECT_EQ(output_path("C:\\d", "x", "", true), "C:\\d\\x.");
  EXPECT_EQ(output_path("C:\\d\\", "x", "txt", true), "C:\\d\\\\x.txt");
  EXPECT_EQ(output_path("C:\\", "x", "txt", true), "C:\\\\x.txt");
  EXPECT_EQ(output_path("C:\\d", "", "txt", true), "C:\\d\\.txt");
  EXPECT_EQ(output_path(" C:\\d ", "  ", "txt", false), " C:\\d \\  .txt");
#else
  EXPECT_EQ(output_path("/d", "notes.v2", "txt", false), "/d/notes.v2");
  EXPECT_EQ(output_path("/d", "readme", "txt", false), "/d/readme.txt");
  EXPECT_EQ(output_path("/d", "end.", "txt", false), "/d/end.");
  EXPECT_EQ(output_path("/d", "notes.v2", "txt", true), "/d/notes.v2.txt");
  EXPECT_EQ(output_path("/d", "x", "", true), "/d/x.");
  EXPECT_EQ(output_path("/d/", "x", "txt", true), "/d//x.txt");
  EXPECT_EQ(output_path("/", "x", "txt", true), "//x.txt");
  EXPECT_EQ(output_path("/d", "", "txt", true), "/d/.txt");
  EXPECT_EQ(output_path(" /d ", "  ", "txt", false), " /d /  .txt");
#endif
}

RunSettings Fill(const std::string& kind, std::int32_t size = 0) {
  RunSettings settings;
  settings.FillKind = kind;
  settings.FillSize = size;
  return settings;
}

std::int32_t SizeOf(const std::string& line, const RunSettings& settings) {
  return FillSizeFor(SplitSourceLine(line, settings.FillKind, settings.SizeSeparatorCode), settings,
                     kRecord);
}

TEST(FillSizeFor, EachKind) {
  reported.clear();
  EXPECT_EQ(SizeOf("report|2048", Fill("var")), 2048);
  EXPECT_EQ(SizeOf("report|0", Fill("var")), 0);
  EXPECT_EQ(SizeOf("report|", Fill("var")), 0);
  EXPECT_EQ(SizeOf("report", Fill("var", 10)), 0);
  EXPECT_EQ(SizeOf("report|$10", Fill("var")), 16);
  EXPECT_EQ(SizeOf("report|1\t2", Fill("var")), 12);
  EXPECT_TRUE(reported.empty());

  EXPECT_EQ(SizeOf("report", Fill("fixifnovar", 10)), 10);
  EXPECT_EQ(SizeOf("report|3", Fill("fixifnovar", 10)), 3);
  EXPECT_EQ(SizeOf("report|", Fill("fixifnovar", 10)), 0);
  EXPECT_EQ(SizeOf("report|3", Fill("fix", 10)), 10);
  EXPECT_EQ(SizeOf("report|3", Fill("none", 10)), 0);
  EXPECT_EQ(SizeOf("report|3", Fill("single", 10)), 0);
  EXPECT_EQ(SizeOf("report|3", Fill("Fix", 10)), 0);
  EXPECT_TRUE(reported.empty());

  EXPECT_EQ(SizeOf("report|x", Fill("fixifnovar", 10)), 0);
  EXPECT_EQ(SizeOf("re\tport|abc", Fill("var")), 0);
  EXPECT_EQ(reported,
            (std::vector<std::string>{"report|x: Unable to find valid size. Size set to 0. ",
                                      "re\tport|abc: Unable to find valid size. Size set to 0. "}));
}

TEST(FillSizeFor, HexadecimalSizeHasOneToEightDigitsLeadingZerosCounted) {
  reported.clear();
  EXPECT_EQ(SizeOf("a|$00000001", Fill("var")), 1);
  EXPECT_EQ(SizeOf("a|0x0000000F", Fill("var")), 15);
  EXPECT_EQ(SizeOf("a|X7FFFFFFF", Fill("var")), INT32_MAX);
  EXPECT_EQ(SizeOf("a|000000000007", Fill("var")), 7);  // decimal zeros stay free
  EXPECT_TRUE(reported.empty());
  EXPECT_EQ(SizeOf("a|$000000001", Fill("var")), 0);
  EXPECT_EQ(SizeOf("a|0X000000010", Fill("fixifnovar", 5)), 0);
  EXPECT_EQ(reported, (std::vector<std::string>{
                          "a|$000000001: Unable to find valid size. Size set to 0. ",
                          "a|0X000000010: Unable to find valid size. Size set to 0. "}));
  // The settings file keeps its own rule.
  EXPECT_EQ(ReadWholeNumber("$000000001"), 1);
}

std::string FillNewFile(const TempDir& dir, std::int32_t size, const std::string& raw,
                        const RunSettings& settings) {
  const std::string path = dir / ("out" + std::to_string(reported.size()));
  reported.push_back(path);
  CreatedFile file = CreatedFile::Create(path);
  EXPECT_EQ(file.outcome(), CreateOutcome::Created);
  FillCreatedFile(file.descriptor(), size, SplitSourceLine(raw, settings.FillKind, 124), nullptr,
                  settings);
  file.Close();
  return ReadBytes(path);
}

TEST(FillCreatedFile, FillBytesAndSingleText) {
  TempDir dir;
  reported.clear();
  RunSettings fix = Fill("fix", 5);
  EXPECT_EQ(FillNewFile(dir, 5, "x", fix), "00000");
  fix.FillCharCode = 304 + 1;
  EXPECT_EQ(FillNewFile(dir, 3, "x", fix), "111");
  EXPECT_EQ(FillNewFile(dir, 9000, "x", fix).size(), 9000u);
  EXPECT_EQ(FillNewFile(dir, -5, "x", fix), "");

  RunSettings single = Fill("single");
  EXPECT_EQ(FillNewFile(dir, 0, "alpha", single), "");
  single.FillSource = true;
  EXPECT_EQ(FillNewFile(dir, 0, "al\tpha|3", single), "al\tpha|3\r\n");
  single.FillText = true;
  single.FillTextFile = dir.Write("text.txt", "one\r\ntwo");
  EXPECT_EQ(FillNewFile(dir, 0, "alpha", single), "alpha\r\none\r\ntwo\r\n\r\n");
  single.FillSource = false;
  EXPECT_EQ(FillNewFile(dir, 0, "alpha", single), "one\r\ntwo\r\n\r\n");
  dir.Write("text.txt", "");
  EXPECT_EQ(FillNewFile(dir, 0, "alpha", single), "\r\n");
}

TEST(FillCreatedFile, AMissingTextFileIsAFailureOfFileInput) {
  TempDir dir;
  RunSettings single = Fill("single");
  single.FillText = true;
  CreatedFile file = CreatedFile::Create(dir / "out");
  single.FillTextFile = "";
  const LineParts line = SplitSourceLine("x", "single", 124);
  EXPECT_THROW(FillCreatedFile(file.descriptor(), 0, line, nullptr, single), IoError);
  single.FillTextFile = dir / "missing.txt";
  try {
    FillCreatedFile(file.descriptor(), 0, line, nullptr, single);
    FAIL();
  } catch (const IoError& error) {
    EXPECT_STREQ(error.what(), "File not found");
  }
}

}  // namespace
}  // namespace quillon
