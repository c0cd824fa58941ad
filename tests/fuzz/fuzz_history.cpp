// The history files on arbitrary bytes: the list read is the file's lines under its rules, the
// limits are the count and length files' first lines or their defaults with a warning, the file
// written back reads back the same, and additions keep the list within its limit.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "history/HistoryList.h"
#include "util/FileSystem.h"
#include "util/Text.h"
#include "util/WholeNumber.h"

namespace {

using quillon::fuzz::ReferenceLines;

class CountingMessages : public quillon::MessageHost {
 public:
  void ShowNotice(const std::string& text) override { notices.push_back(text); }
  void ShowError(const std::string& text) override {
    FUZZ_CHECK(!"no error box");
    (void)text;
  }
  void ShowWarning(const std::string& text) override { warnings.push_back(text); }
  void ShowInformation(const std::string&) override {}
  bool AskYesNo(const std::string&) override { return true; }
  std::vector<std::string> notices, warnings;
};

class CountingEntries : public quillon::HistoryEntries {
 public:
  void ClearEntries() override { captions.clear(); }
  void AddEntry(std::size_t index, const std::string& caption, const std::string&) override {
    FUZZ_CHECK(index == captions.size());
    captions.push_back(caption);
  }
  std::vector<std::string> captions;
};

// A limit file's value: its first line as a whole number of 0 or more, else the default.
std::int32_t ExpectedLimit(const std::string& content, std::int32_t fallback, bool& warned) {
  const std::vector<std::string> lines = ReferenceLines(quillon::fuzz::ReferenceText(content), "");
  const auto value = lines.empty() ? std::nullopt : quillon::ReadWholeNumber(lines[0]);
  warned = !value || *value < 0;
  return warned ? fallback : *value;
}

// The lines with CR LF; after a UTF-8 mark when they would begin with a mark of their own.
std::string FileForm(const std::vector<std::string>& items) {
  std::string content;
  for (const std::string& item : items) content += item + "\r\n";
  for (const std::string_view mark : {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"}) {
    if (content.starts_with(mark)) return "\xEF\xBB\xBF" + content;
  }
  return content;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string folder = quillon::fuzz::ScratchFolder();
  const std::string count_file = in.ConsumeRandomLengthString(16);
  const std::string length_file = in.ConsumeRandomLengthString(16);
  std::vector<std::string> additions;
  for (int i = in.ConsumeIntegralInRange(0, 4); i > 0; --i) {
    additions.push_back(in.ConsumeRandomLengthString(24));
  }
  const std::string history = in.ConsumeRemainingBytesAsString();
  quillon::fuzz::WriteFile(folder + "/files.his", history);
  quillon::fuzz::WriteFile(folder + "/max.his", count_file);
  quillon::fuzz::WriteFile(folder + "/maxlen.his", length_file);

  CountingMessages messages;
  CountingEntries entries;
  quillon::HistoryList list(messages);
  list.SetEntries(&entries);
  list.LoadHistory(folder);

  bool count_warned = false;
  bool length_warned = false;
  FUZZ_CHECK(list.maxhist() == ExpectedLimit(count_file, 10, count_warned));
  FUZZ_CHECK(list.maxitemlen() == ExpectedLimit(length_file, 2000, length_warned));
  std::vector<std::string> warnings;
  if (count_warned) warnings.push_back("Invalid number in max.his");
  if (length_warned) warnings.push_back("Invalid number in maxlen.his");
  FUZZ_CHECK(messages.warnings == warnings);

  // A NUL byte ends the history file's text; Ctrl-Z is an ordinary character there.
  const std::vector<std::string> expected =
      ReferenceLines(quillon::fuzz::ReferenceText(history), std::string_view("\0", 1));
  FUZZ_CHECK(list.items() == expected);
  const std::size_t limit = static_cast<std::size_t>(list.maxhist());
  FUZZ_CHECK(entries.captions.size() == std::min(expected.size(), limit));
  FUZZ_CHECK(messages.notices.size() == (expected.size() > limit ? 1u : 0u));
  for (std::size_t i = 0; i < entries.captions.size(); ++i) {
    const std::string& item = expected[i];
    const std::string& caption = entries.captions[i];
    const std::size_t width =
        std::min<std::size_t>(static_cast<std::size_t>(list.maxitemlen()), 65535);
    if (item.size() <= width) {
      FUZZ_CHECK(caption == item);
    } else {
      FUZZ_CHECK(caption.starts_with("...") && caption.size() == std::max<std::size_t>(width, 3));
      FUZZ_CHECK(item.ends_with(caption.substr(3)));
    }
  }

  // Written back in the file form, and read back the same by another list.
  FUZZ_CHECK(quillon::ReadWholeFile(folder + "/files.his", SIZE_MAX) == FileForm(expected));
  CountingMessages other_messages;
  quillon::HistoryList other(other_messages);
  other.LoadHistory(folder);
  FUZZ_CHECK(other.items() == expected);

  for (std::string& text : additions) {
    text.erase(
        std::remove_if(text.begin(), text.end(),
                       [](char c) { return c == '\r' || c == '\n' || c == '\0' || c == '\x1a'; }),
        text.end());
    const std::vector<std::string> before = list.items();
    const bool known = std::any_of(before.begin(), before.end(), [&](const std::string& item) {
      return quillon::EqualsIgnoringAsciiCase(item, text);
    });
    list.AddItem(text);
    const std::vector<std::string>& after = list.items();
    if (known) {
      // A known item moves to the top in its new spelling; nothing is trimmed.
      FUZZ_CHECK(after.size() == before.size() && after.front() == text);
    } else if (limit == 0) {
      // The new item is the one beyond a limit of 0.
      FUZZ_CHECK(after == before);
    } else {
      FUZZ_CHECK(after.front() == text);
      FUZZ_CHECK(after.size() == (before.size() + 1 > limit ? before.size() : before.size() + 1));
    }
    FUZZ_CHECK(quillon::ReadWholeFile(folder + "/files.his", SIZE_MAX) == FileForm(after));
  }
  return 0;
}
