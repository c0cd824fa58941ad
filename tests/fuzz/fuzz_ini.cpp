// The ini reader and writer on arbitrary files: reading and writing back changes nothing; a
// key written is read back; every other line and every other key stays as it was; and the
// settings written to such a file read back the same.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "FuzzCheck.h"
#include "settings/IniFile.h"
#include "settings/SettingsFile.h"
#include "util/FileSystem.h"
#include "util/IoError.h"
#include "util/Text.h"

namespace {

struct Line {
  std::string text;
  std::string ending;
  bool operator==(const Line&) const = default;
};

// The file's lines with their ends, split at CR LF, CR or LF.
std::vector<Line> LinesOf(std::string_view content) {
  std::vector<Line> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    const std::size_t end = content.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.push_back({std::string(content.substr(start)), ""});
      break;
    }
    const std::size_t width = content.compare(end, 2, "\r\n") == 0 ? 2 : 1;
    lines.push_back(
        {std::string(content.substr(start, end - start)), std::string(content.substr(end, width))});
    start = end + width;
  }
  return lines;
}

// The blanks around names and values: as the profile functions take them.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1a'; }
bool Trimmed(std::string_view text) {
  return text.empty() || (!IsBlank(text.front()) && !IsBlank(text.back()));
}
std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}
bool OneLine(std::string_view text) { return text.find_first_of("\r\n") == std::string_view::npos; }

// Well-formed UTF-8, written plainly: what a file in UTF-16 can hold.
bool ValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto first = static_cast<unsigned char>(text[i]);
    const std::size_t length = first < 0x80   ? 1
                               : first < 0xC2 ? 0
                               : first < 0xE0 ? 2
                               : first < 0xF0 ? 3
                               : first < 0xF5 ? 4
                                              : 0;
    if (length == 0 || i + length > text.size()) return false;
    unsigned code = length == 1 ? first : first & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    static constexpr unsigned kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kLeast[length] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) return false;
    i += length;
  }
  return true;
}

// The mark a file begins with, empty for none.
std::string_view MarkOf(std::string_view content) {
  for (const std::string_view mark : {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"}) {
    if (content.starts_with(mark)) return mark;
  }
  return {};
}

// A value that reads back as written: one line, no surrounding blanks, no enclosing quotes.
bool RoundTrips(std::string_view value) {
  const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                      value.back() == value.front();
  return OneLine(value) && Trimmed(value) && !quoted &&
         value.size() <= quillon::IniFile::kMaxValueLength;
}

// Section and key names that the file form can hold.
bool UsableSection(std::string_view name) {
  return !name.empty() && OneLine(name) && Trimmed(name) &&
         name.find(']') == std::string_view::npos;
}
bool UsableKey(std::string_view name) {
  return !name.empty() && OneLine(name) && Trimmed(name) &&
         name.find('=') == std::string_view::npos && name.front() != ';' && name.front() != '[';
}

// Every (section, key) the file seems to hold, found plainly: "[name]" lines and "key=" lines.
std::vector<std::pair<std::string, std::string>> NamesIn(const std::vector<Line>& lines) {
  std::vector<std::pair<std::string, std::string>> names;
  std::string section;
  for (const Line& line : lines) {
    const std::string& text = line.text;
    const std::size_t open = text.find('[');
    const std::size_t close = text.find(']');
    if (open != std::string::npos && close != std::string::npos && open < close) {
      section = text.substr(open + 1, close - open - 1);
    } else if (const std::size_t equals = text.find('='); equals != std::string::npos) {
      names.emplace_back(section, text.substr(0, equals));
    }
  }
  return names;
}

void CheckOnlyTheKeyLineChanged(const std::vector<Line>& before, const std::vector<Line>& after,
                                const std::string& key_line) {
  // A last line without an end may gain CR LF when something is written after it.
  const auto same = [&](std::size_t i, std::size_t j) {
    return before[i].text == after[j].text &&
           (before[i].ending == after[j].ending ||
            (i + 1 == before.size() && before[i].ending.empty() && after[j].ending == "\r\n"));
  };
  if (after.size() == before.size()) {
    std::size_t changed = 0;
    for (std::size_t i = 0; i < before.size(); ++i) {
      if (same(i, i)) continue;
      ++changed;
      FUZZ_CHECK(after[i].text == key_line && after[i].ending == before[i].ending);
    }
    FUZZ_CHECK(changed <= 1);
  } else if (after.size() == before.size() + 1) {
    std::size_t j = 0;
    while (j < before.size() && same(j, j)) ++j;
    FUZZ_CHECK(after[j].text == key_line && after[j].ending == "\r\n");
    for (std::size_t i = j; i < before.size(); ++i) FUZZ_CHECK(same(i, i + 1));
  } else {
    FUZZ_CHECK(after.size() == before.size() + 2);
    for (std::size_t i = 0; i < before.size(); ++i) FUZZ_CHECK(same(i, i));
    FUZZ_CHECK(after.back().text == key_line);
  }
}

void CheckSettingsRoundTrip(FuzzedDataProvider& in, const std::string& content) {
  quillon::RunSettings written;
  written.SelectionFolder = in.ConsumeRandomLengthString(40);
  written.OutputExtension = in.ConsumeRandomLengthString(8);
  written.ExtensionAlways = in.ConsumeBool();
  written.ReplaceInvalid = in.ConsumeBool();
  written.InvalidReplacer = in.ConsumeRandomLengthString(8);
  written.FillKind = in.ConsumeRandomLengthString(8);
  written.FillSource = in.ConsumeBool();
  written.FillText = in.ConsumeBool();
  written.FillTextFile = in.ConsumeRandomLengthString(40);
  written.FillCharCode = in.ConsumeIntegral<std::int32_t>();
  written.FillSize = in.ConsumeIntegral<std::int32_t>();
  written.SizeSeparatorCode = in.ConsumeIntegral<std::int32_t>();

  // A file in UTF-16 holds only texts that are well-formed UTF-8.
  const bool utf16 = MarkOf(content).size() == 2;
  const auto round_trips = [&](std::string_view text) {
    return RoundTrips(text) && (!utf16 || ValidUtf8(text));
  };
  const std::string file = quillon::fuzz::ScratchFolder() + "/quillon.ini";
  quillon::fuzz::WriteFile(file, content);
  bool wrote = true;
  try {
    quillon::WriteRunSettings(file, written);
  } catch (const quillon::UserError& error) {
    FUZZ_CHECK_EQ(error.what(), "Unable to write to " + file);
    wrote = false;
  }
  // A text with a line break cannot be written as one key: the write refuses it.
  const bool texts_one_line = OneLine(written.SelectionFolder) &&
                              OneLine(written.OutputExtension) &&
                              OneLine(written.InvalidReplacer) && OneLine(written.FillKind) &&
                              OneLine(written.FillTextFile);
  FUZZ_CHECK(wrote == texts_one_line);
  if (!wrote) {
    FUZZ_CHECK_EQ(quillon::ReadWholeFile(file, SIZE_MAX), content);
    return;
  }
  const quillon::RunSettings read = quillon::ReadRunSettings(file, "/program");
  const auto text_field = [&](const std::string& sent, const std::string& got) {
    if (round_trips(sent)) FUZZ_CHECK_EQ(got, sent);
  };
  text_field(written.SelectionFolder, read.SelectionFolder);
  text_field(written.OutputExtension, read.OutputExtension);
  text_field(written.InvalidReplacer, read.InvalidReplacer);
  text_field(written.FillKind, read.FillKind);
  text_field(written.FillTextFile, read.FillTextFile);
  // Flags and integers are the program's own writing: they always read back.
  FUZZ_CHECK(read.ExtensionAlways == written.ExtensionAlways);
  FUZZ_CHECK(read.ReplaceInvalid == written.ReplaceInvalid);
  FUZZ_CHECK(read.FillSource == written.FillSource);
  FUZZ_CHECK(read.FillText == written.FillText);
  FUZZ_CHECK(read.FillCharCode == written.FillCharCode);
  FUZZ_CHECK(read.FillSize == written.FillSize);
  FUZZ_CHECK(read.SizeSeparatorCode == written.SizeSeparatorCode);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string content = in.ConsumeRandomLengthString(8192);
  const std::string section = in.ConsumeRandomLengthString(32);
  const std::string key = in.ConsumeRandomLengthString(32);
  const std::string value = in.ConsumeRandomLengthString(64);

  quillon::IniFile ini = quillon::IniFile::Parse(content);
  FUZZ_CHECK(ini.Content() == content);
  // The lines as text: the line checks need a file whose every character is whole.
  std::size_t first_half = 0;
  const std::vector<Line> before = LinesOf(quillon::fuzz::ReferenceText(content, &first_half));
  const bool whole = first_half == std::string::npos;
  const bool utf16 = MarkOf(content).size() == 2;
  const auto names = NamesIn(before);
  std::vector<std::optional<std::string>> values;
  for (const auto& [s, k] : names) {
    values.push_back(ini.Get(s, k));
    if (values.back()) FUZZ_CHECK(values.back()->size() <= quillon::IniFile::kMaxValueLength);
  }

  const bool held = !utf16 || (ValidUtf8(section) && ValidUtf8(key) && ValidUtf8(value));
  if (whole && held && UsableSection(section) && UsableKey(key) && OneLine(value)) {
    ini.Set(section, key, value);
    const std::string written = ini.Content();
    // The file keeps its form.
    FUZZ_CHECK(MarkOf(written) == MarkOf(content));
    CheckOnlyTheKeyLineChanged(before, LinesOf(quillon::fuzz::ReferenceText(written)),
                               key + "=" + value);
    const quillon::IniFile again = quillon::IniFile::Parse(written);
    FUZZ_CHECK(again.Content() == written);
    if (RoundTrips(value)) FUZZ_CHECK(again.Get(section, key) == value);
    // Every other key reads as before, wherever it stands.
    for (std::size_t i = 0; i < names.size(); ++i) {
      const auto& [s, k] = names[i];
      if (!quillon::EqualsIgnoringAsciiCase(Trim(s), section) ||
          !quillon::EqualsIgnoringAsciiCase(Trim(k), key)) {
        FUZZ_CHECK(again.Get(s, k) == values[i]);
      }
    }
  }
  CheckSettingsRoundTrip(in, content);
  return 0;
}
