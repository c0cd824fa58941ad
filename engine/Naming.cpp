#include "engine/Naming.h"

#include <algorithm>

#include "util/Platform.h"
#include "util/Text.h"

namespace quillon {

bool IsInvalidNameChar(char c) {
  switch (c) {
    case '"': case '*': case '/': case ':': case '<': case '>': case '?': case '\\': case '|':
      return true;
    default:
      return false;
  }
}

LineParts SplitSourceLine(std::string raw_line, std::string_view fill_kind,
                          std::int32_t size_separator_code) {
  LineParts parts;
  std::string line = raw_line;
  line.erase(std::remove(line.begin(), line.end(), '\t'), line.end());
  parts.RawLine = std::move(raw_line);
  parts.Blank = line.empty();
  const char separator = static_cast<char>(size_separator_code & 0xFF);
  parts.SeparatorPos = LastPos(std::string_view(&separator, 1), line);
  if ((fill_kind == "var" || fill_kind == "fixifnovar") && parts.SeparatorPos != 0) {
    parts.SizeText = line.substr(parts.SeparatorPos);
    line.resize(parts.SeparatorPos - 1);
  }
  parts.Name = std::move(line);
  return parts;
}

std::string ReplaceInvalidChars(std::string_view name, std::string_view replacer,
                                const ReportSink& report) {
  std::string cleaned;
  cleaned.reserve(name.size());
  for (char c : name) {
    if (IsInvalidNameChar(c)) {
      report("replacing " + std::string(1, c) + " by " + std::string(replacer) + " in " +
             std::string(name));
      cleaned.append(replacer);
    } else {
      cleaned += c;
    }
  }
  return cleaned;
}

std::string OutputFileName(std::string_view name, std::string_view extension, bool always) {
  std::string file_name(name);
  if (always || name.find('.') == std::string_view::npos) {
    file_name += '.';
    file_name.append(extension);
  }
  return file_name;
}

std::string OutputPath(std::string_view destination, std::string_view name,
                       std::string_view extension, bool always) {
  std::string path(destination);
  path += kPathSeparator;
  path += OutputFileName(name, extension, always);
  return path;
}

}  // namespace quillon
