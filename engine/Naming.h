// Turning one source line into the path of the file a run creates for it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace quillon {

struct LineParts {
  std::string RawLine;        // the line exactly as read
  bool Blank = false;         // empty once its tabs are removed
  std::string Name;           // the tab-free line, or its part before the size separator
  std::size_t SeparatorPos = 0;  // 1-based position of the last separator; 0 when none
  std::string SizeText;       // what follows the separator when the name was split
};

using ReportSink = std::function<void(const std::string&)>;

// The nine characters file names may not hold.
bool IsInvalidNameChar(char c);

LineParts SplitSourceLine(std::string raw_line, std::string_view fill_kind,
                          std::int32_t size_separator_code);

// Replaces each invalid character by the replacer, reporting each replacement.
std::string ReplaceInvalidChars(std::string_view name, std::string_view replacer,
                                const ReportSink& report);

// The name with "." and the extension when it holds no dot or the extension is always added.
std::string OutputFileName(std::string_view name, std::string_view extension, bool always);

// The destination, one separator and the file name, joined as they stand.
std::string OutputPath(std::string_view destination, std::string_view name,
                       std::string_view extension, bool always);

}  // namespace quillon
