#include <gtest/gtest.h>

#include "settings/IniFile.h"
#include "settings/SettingsFile.h"
#include "support/TempDir.h"
#include "support/TextForms.h"
#include "util/IoError.h"

namespace quillon {
namespace {

using testing::ReadBytes;
using testing::TempDir;

std::u16string Widened(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

TEST(IniFile, NamesMatchRegardlessOfCaseAndValuesLoseBlanksAndQuotes) {
  const IniFile ini = IniFile::Parse(
      "; comment\r\n[Fill]\r\n  kind =  \"fix\"  \r\nSize='12'\r\nWith=\"a'\r\n"
      "[ other ]\nx=1\n[fill]\nkind=later\n");
  EXPECT_EQ(ini.Get("FILL", "Kind"), "fix");
  EXPECT_EQ(ini.Get("fill", "size"), "12");
  EXPECT_EQ(ini.Get("Fill", "With"), "\"a'");
  EXPECT_EQ(ini.Get("Other", "X"), "1");
  EXPECT_EQ(ini.Get("Fill", "Missing"), std::nullopt);
  EXPECT_EQ(ini.Get("Missing", "Kind"), std::nullopt);
}

TEST(IniFile, CtrlZVerticalTabAndFormFeedAreBlanks) {
  const IniFile ini = IniFile::Parse("\f[ Sec \v]\r\n\vkey\x1a=\x1a\"q\"\f\r\nz=\x1a\v\r\n");
  EXPECT_EQ(ini.Get("Sec", "key"), "q");
  EXPECT_EQ(ini.Get("Sec", "z"), "");
}

TEST(IniFile, Utf16ValuesComeInTheHostsTextsAndGoBackInUtf16) {
  const std::string e_acute = testing::kHostEAcute;
  IniFile ini = IniFile::Parse(testing::Utf16File(u"[S]\r\nk=b\u00E9\r\n", false));
  EXPECT_EQ(ini.Get("S", "k"), "b" + e_acute);
  ini.Set("s", "K", "x" + e_acute);
  ini.Set("T", "n", "1");
  EXPECT_EQ(ini.Content(), testing::Utf16File(u"[S]\r\nK=x\u00E9\r\n[T]\r\nn=1\r\n", false));
}

TEST(IniFile, ValuesAreCutAt2047Bytes) {
  const IniFile ini = IniFile::Parse("[S]\nk=" + std::string(3000, 'v') + "\n");
  EXPECT_EQ(ini.Get("S", "k")->size(), 2047u);
}

TEST(IniFile, WritesChangeOnlyTheirOwnLine) {
  IniFile ini = IniFile::Parse("[A]\nkeep=1\nKEY=old\n\n[B]\r\nb=2");
  ini.Set("a", "Key", "new");
  ini.Set("A", "added", "x");
  ini.Set("B", "c", "3");
  ini.Set("C", "d", "4");
  EXPECT_EQ(ini.Content(),
            "[A]\nkeep=1\nKey=new\nadded=x\r\n\n[B]\r\nb=2\r\nc=3\r\n[C]\r\nd=4\r\n");
}

TEST(IniFile, WrittenValuesReadBackExceptSurroundingBlanks) {
  IniFile ini;
  ini.Set("S", "text", "a = b");
  ini.Set("S", "blanks", "   ");
  EXPECT_EQ(IniFile::Parse(ini.Content()).Get("S", "text"), "a = b");
  EXPECT_EQ(IniFile::Parse(ini.Content()).Get("S", "blanks"), "");
}

TEST(SettingsFile, DefaultsWhenThereIsNoFileAndTheFormWrittenThen) {
  TempDir dir;
  const std::string file = dir / "quillon.ini";
  const RunSettings settings = ReadRunSettings(file, "/opt/tools");
  EXPECT_EQ(settings.SelectionFolder, "/opt/tools");
  EXPECT_EQ(settings.OutputExtension, "txt");
  EXPECT_TRUE(settings.ExtensionAlways);
  EXPECT_FALSE(settings.ReplaceInvalid);
  EXPECT_EQ(settings.InvalidReplacer, "TEMP");
  EXPECT_EQ(settings.FillKind, "none");
  EXPECT_EQ(settings.FillCharCode, 48);
  EXPECT_EQ(settings.SizeSeparatorCode, 124);
  WriteRunSettings(file, settings);
  EXPECT_EQ(ReadBytes(file),
            "[Several]\r\nSelection folder=/opt/tools\r\n"
            "[Output extension]\r\nExtension=txt\r\nAlways=1\r\n"
            "[Invalid characters]\r\nInvalid replace=0\r\nInvalid replacer=TEMP\r\n"
            "[Fill]\r\nKind=none\r\nSource=0\r\nText=0\r\nFile name=\r\nWith=48\r\nSize=0\r\n"
            "Separator=124\r\n");
}

RunSettings ReadFrom(const TempDir& dir, const std::string& content) {
  return ReadRunSettings(dir.Write("q.ini", content), "/prog");
}

TEST(SettingsFile, FlagsAndIntegersFallBackToTheirDefaults) {
  TempDir dir;
  EXPECT_TRUE(ReadFrom(dir, "[Output extension]\nAlways=yes\n").ExtensionAlways);
  EXPECT_TRUE(ReadFrom(dir, "[Output extension]\nAlways=2\n").ExtensionAlways);
  EXPECT_FALSE(ReadFrom(dir, "[Output extension]\nAlways=0\n").ExtensionAlways);
  EXPECT_FALSE(ReadFrom(dir, "[Output extension]\nAlways=0x0\n").ExtensionAlways);
  EXPECT_EQ(ReadFrom(dir, "[Fill]\nWith=abc\n").FillCharCode, 48);
  EXPECT_EQ(ReadFrom(dir, "[Fill]\nSize=-5\n").FillSize, -5);
  EXPECT_EQ(ReadFrom(dir, "[Fill]\nSize=0x10\n").FillSize, 16);
  EXPECT_EQ(ReadFrom(dir, "[Fill]\nSeparator=\n").SizeSeparatorCode, 124);
  EXPECT_EQ(ReadFrom(dir, "[Fill]\nSize=99999999999\n").FillSize, 0);
}

TEST(SettingsFile, EmptyTextsStayEmptyAndUnknownKindsSurvive) {
  TempDir dir;
  const RunSettings settings =
      ReadFrom(dir,
               "[Several]\nSelection folder=\n[Output extension]\nExtension=\n"
               "[Invalid characters]\nInvalid replacer=   \n[Fill]\nKind=Fix\n");
  EXPECT_EQ(settings.SelectionFolder, "");
  EXPECT_EQ(settings.OutputExtension, "");
  EXPECT_EQ(settings.InvalidReplacer, "");
  EXPECT_EQ(settings.FillKind, "Fix");
  WriteRunSettings(dir / "q.ini", settings);
  EXPECT_EQ(ReadRunSettings(dir / "q.ini", "/other").FillKind, "Fix");
}

TEST(SettingsFile, MarkedAndUtf16FilesAreReadWholeAndWrittenInTheirForm) {
  using Form = std::string (*)(const std::string&);
  const Form forms[] = {
      [](const std::string& text) { return text; },
      [](const std::string& text) { return std::string(testing::kUtf8Mark) + text; },
      [](const std::string& text) { return testing::Utf16File(Widened(text), true); },
      [](const std::string& text) { return testing::Utf16File(Widened(text), false); },
  };
  // The first section is the one a mark would hide.
  const std::string text = "[Several]\r\nSelection folder=/x\r\n[Fill]\r\nKind=var\r\n";
  TempDir dir;
  std::vector<std::string> written;
  for (const Form form : forms) {
    const std::string file = dir.Write(std::to_string(written.size()) + ".ini", form(text));
    RunSettings settings = ReadRunSettings(file, "/program");
    EXPECT_EQ(settings.SelectionFolder, "/x") << written.size();
    EXPECT_EQ(settings.FillKind, "var") << written.size();
    settings.FillKind = "fix";
    WriteRunSettings(file, settings);
    written.push_back(ReadBytes(file));
  }
  for (std::size_t i = 1; i < written.size(); ++i) EXPECT_EQ(written[i], forms[i](written[0])) << i;
}

TEST(SettingsFile, OtherSectionsAndKeysAreKept) {
  TempDir dir;
  const std::string file =
      dir.Write("q.ini", "[Mine]\r\nmy key=my value\r\n[Fill]\r\nExtra=1\r\nkind=var\r\n");
  RunSettings settings = ReadRunSettings(file, "/prog");
  EXPECT_EQ(settings.FillKind, "var");
  settings.FillKind = "single";
  settings.FillSize = -7;
  WriteRunSettings(file, settings);
  const std::string written = ReadBytes(file);
  EXPECT_EQ(written.find("[Mine]\r\nmy key=my value\r\n[Fill]\r\nExtra=1\r\nKind=single\r\n"), 0u)
      << written;
  const RunSettings again = ReadRunSettings(file, "/prog");
  EXPECT_EQ(again.FillKind, "single");
  EXPECT_EQ(again.FillSize, -7);
  EXPECT_EQ(again.SelectionFolder, "/prog");
}

TEST(SettingsFile, AnUnwritableFileIsReportedWithItsPath) {
  TempDir dir;
  const std::string file = dir / "missing-folder/q.ini";
  try {
    WriteRunSettings(file, RunSettings{});
    FAIL() << "wrote into a missing folder";
  } catch (const UserError& error) {
    EXPECT_EQ(std::string(error.what()), "Unable to write to " + file);
  }
}

TEST(SettingsFile, TheFileIsNamedAfterTheExecutable) {
  TempDir dir;
  EXPECT_EQ(SettingsFileFor(dir / "quillon"), dir / "quillon.ini");
  EXPECT_EQ(SettingsFileFor(dir / "quillon.exe"), dir / "quillon.ini");
}

// Found by fuzzing.
TEST(SettingsFile, TextWithALineBreakCannotSmuggleKeysIntoTheSettingsFile) {
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
}  // namespace quillon
