// The text-line reader on arbitrary bytes, against the rules written plainly; and the two
// readers built on it, CountLines and AppendFileTextTo.
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "util/FileSystem.h"
#include "util/IoError.h"
#include "util/TextLineReader.h"
#include "util/UniqueFd.h"

namespace {

using quillon::fuzz::ReferenceLines;

class NoMessages : public quillon::MessageHost {
 public:
  void ShowNotice(const std::string&) override {}
  void ShowError(const std::string&) override { FUZZ_CHECK(!"no box for a readable file"); }
  void ShowWarning(const std::string&) override {}
  void ShowInformation(const std::string&) override {}
  bool AskYesNo(const std::string&) override { return false; }
};

std::string ReadAll(int fd) {
  FUZZ_CHECK(lseek(fd, 0, SEEK_SET) == 0);
  std::string content;
  char chunk[4096];
  for (ssize_t got; (got = read(fd, chunk, sizeof chunk)) > 0;) content.append(chunk, got);
  return content;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  // A first byte with its two low bits set (but the first byte of a mark, so that marks are
  // met too) puts the rest of the input across the reader's 64 KiB read, so line ends split
  // between two reads are met.
  if (!text.empty() && (text[0] & 3) == 3 && text[0] != '\xEF' && text[0] != '\xFF') {
    const std::size_t before = static_cast<unsigned char>(text[0]) >> 2;
    text = std::string(64 * 1024 - before, 'p') + text.substr(1);
  }
  std::size_t first_half = 0;
  const std::string reference = quillon::fuzz::ReferenceText(text, &first_half);
  const std::vector<std::string> expected = ReferenceLines(reference, "\x1a");
  // Half a character within the text, before any Ctrl-Z ends it.
  const bool whole = first_half == std::string::npos || first_half > reference.find('\x1a');

  const int source = quillon::fuzz::MemoryFile(text);
  std::vector<std::string> lines;
  {
    // The run's own loop: a first line is always read, even from an empty text.
    quillon::TextLineReader reader(quillon::UniqueFd(dup(source)));
    do {
      lines.push_back(reader.ReadLine());
      FUZZ_CHECK(lines.size() <= text.size() + 1);
    } while (!reader.AtEnd());
    FUZZ_CHECK(reader.ReadLine().empty());
    FUZZ_CHECK(reader.AtEnd());
  }
  FUZZ_CHECK(lines == (expected.empty() ? std::vector<std::string>{""} : expected));

  NoMessages messages;
  FUZZ_CHECK(quillon::CountLines(quillon::fuzz::PathOf(source), messages) ==
             static_cast<std::int32_t>(lines.size()));

  // Each line with CR LF, then one more CR LF.
  const int destination = quillon::fuzz::MemoryFile("");
  bool refused = false;
  {
    quillon::FileOutput output(destination);
    try {
      quillon::AppendFileTextTo(output, quillon::fuzz::PathOf(source));
    } catch (const quillon::IoError&) {
      refused = true;
    }
    output.Flush();
  }
  // Half a character is no text to fill a file with.
  FUZZ_CHECK(refused == !whole);
  if (refused) {
    close(destination);
    close(source);
    return 0;
  }
  std::string appended;
  for (const std::string& line : expected) appended += line + "\r\n";
  appended += "\r\n";
  FUZZ_CHECK(ReadAll(destination) == appended);

  close(destination);
  close(source);
  return 0;
}
