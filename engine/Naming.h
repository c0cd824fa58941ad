// Turning one source line into the path of the file a run creates for it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/InvalidNameChars.h"
#include "util/TextLineReader.h"

namespace quillon {

// A line of any length takes fixed memory: of the line as read, of its name and of its size
// text, the first kMaxKept bytes are kept, and each says whether more followed.
struct LineParts {
  static constexpr std::size_t kMaxKept = 4096;

  std::string RawLine;             // the line exactly as read
  bool Blank = false;              // empty once its tabs are removed
  std::string Name;                // the tab-free line, or its part before the size separator
  std::uint64_t SeparatorPos = 0;  // 1-based position of the last separator; 0 when none
  std::string SizeText;            // what follows the separator when the name was split
  bool RawLineCut = false;
  bool NameCut = false;          // a name that long is far over the path limit
  std::uint64_t NameLength = 0;  // of the whole name, also when cut
  bool SizeTextCut = false;      // a size text that long is no valid number
  // The first character of the line that the host's texts cannot hold (read as "?"), or 0.
  char32_t Unheld = 0;
};

// Splits a line as it is read, piece by piece. One builder serves a whole run, each line
// reusing the memory of the one before.
class LinePartsBuilder : public TextLineReader::Pieces {
 public:
  // Begins a line, split as the settings stand now.
  void Start(std::string_view fill_kind, std::int32_t size_separator_code);
  void Append(std::string_view piece) override;
  void CannotHold(char32_t character) override {
    if (parts_.Unheld == 0) parts_.Unheld = character;
  }
  // The parts stay valid until the next Start.
  const LineParts& Finish();

 private:
  void AppendTabFree(std::string_view segment);

  LineParts parts_;  // Name holds the first bytes of the tab-free line, SizeText those after
                     // its last separator (or all) until Finish
  bool splits_ = false;
  char separator_ = 0;
  std::uint64_t raw_length_ = 0;
  std::uint64_t tab_free_length_ = 0;
  std::uint64_t separator_pos_ = 0;
  bool after_separator_cut_ = false;
};

using ReportSink = std::function<void(const std::string&)>;

// The parts of a whole line at once.
LineParts SplitSourceLine(std::string_view raw_line, std::string_view fill_kind,
                          std::int32_t size_separator_code);

// Replaces each invalid character by the replacer, reporting each replacement.
std::string ReplaceInvalidChars(std::string_view name, std::string_view replacer,
                                const ReportSink& report);

// The destination, one separator and the name, joined as they stand, then "." and the
// extension when the name holds no dot or the extension is always added. Written into path,
// whose memory a run reuses line after line.
void OutputPath(std::string_view destination, std::string_view name, std::string_view extension,
                bool always, std::string& path);

}  // namespace quillon
