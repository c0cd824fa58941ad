#include "engine/Naming.h"

#include <algorithm>

#include "util/Platform.h"

namespace quillon {

LinePartsBuilder::LinePartsBuilder(std::string_view fill_kind, std::int32_t size_separator_code)
    : splits_(fill_kind == "var" || fill_kind == "fixifnovar"),
      separator_(static_cast<char>(size_separator_code & 0xFF)) {}

void LinePartsBuilder::Append(std::string_view piece) {
  constexpr std::size_t kMax = LineParts::kMaxKept;
  raw_.append(piece.substr(0, kMax - std::min(kMax, raw_.size())));
  raw_length_ += piece.size();
  for (const char c : piece) {
    if (c == '\t') continue;
    ++tab_free_length_;
    if (tab_free_.size() < kMax) tab_free_ += c;
    // A separator of code 9 is never found, since tabs are gone.
    if (c == separator_) {
      separator_pos_ = tab_free_length_;
      after_separator_.clear();
      after_separator_cut_ = false;
    } else if (after_separator_.size() < kMax) {
      after_separator_ += c;
    } else {
      after_separator_cut_ = true;
    }
  }
}

LineParts LinePartsBuilder::Finish() {
  LineParts parts;
  parts.RawLine = std::move(raw_);
  parts.RawLineCut = raw_length_ > LineParts::kMaxKept;
  parts.Blank = tab_free_length_ == 0;
  parts.SeparatorPos = separator_pos_;
  // Only the last separator splits: earlier ones stay in the name.
  const std::uint64_t name_length =
      splits_ && separator_pos_ != 0 ? separator_pos_ - 1 : tab_free_length_;
  parts.NameCut = name_length > LineParts::kMaxKept;
  tab_free_.resize(std::min<std::uint64_t>(name_length, tab_free_.size()));
  parts.Name = std::move(tab_free_);
  if (splits_ && separator_pos_ != 0) {
    parts.SizeText = std::move(after_separator_);
    parts.SizeTextCut = after_separator_cut_;
  }
  return parts;
}

LineParts SplitSourceLine(std::string_view raw_line, std::string_view fill_kind,
                          std::int32_t size_separator_code) {
  LinePartsBuilder builder(fill_kind, size_separator_code);
  builder.Append(raw_line);
  return builder.Finish();
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
