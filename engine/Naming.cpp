#include "engine/Naming.h"

#include <algorithm>

#include "util/Platform.h"

namespace quillon {

namespace {

// Appends bytes as far as the text stays within kMaxKept. What fits whole, the usual case, is
// appended as it stands, so short copies take the library's fast path.
void AppendKept(std::string& text, std::string_view bytes) {
  constexpr std::size_t kMax = LineParts::kMaxKept;
  if (text.size() + bytes.size() <= kMax) {
    text.append(bytes);
  } else {
    text.append(bytes.substr(0, kMax - std::min(kMax, text.size())));
  }
}

}  // namespace

void LinePartsBuilder::Start(std::string_view fill_kind, std::int32_t size_separator_code) {
  splits_ = fill_kind == "var" || fill_kind == "fixifnovar";
  separator_ = static_cast<char>(size_separator_code & 0xFF);
  parts_.RawLine.clear();
  parts_.Name.clear();
  parts_.SizeText.clear();
  parts_.Unheld = 0;
  raw_length_ = tab_free_length_ = separator_pos_ = 0;
  after_separator_cut_ = false;
}

void LinePartsBuilder::Append(std::string_view piece) {
  AppendKept(parts_.RawLine, piece);
  raw_length_ += piece.size();
  // Tabs are dropped; what lies between them goes on in one step.
  for (std::size_t start = 0; start < piece.size();) {
    const std::size_t tab = std::min(piece.find('\t', start), piece.size());
    AppendTabFree(piece.substr(start, tab - start));
    start = tab + 1;
  }
}

void LinePartsBuilder::AppendTabFree(std::string_view segment) {
  AppendKept(parts_.Name, segment);
  // A separator of code 9 is never found, since tabs are gone.
  const std::size_t separator = segment.rfind(separator_);
  if (separator != std::string_view::npos) {
    separator_pos_ = tab_free_length_ + separator + 1;
    parts_.SizeText.clear();
    after_separator_cut_ = false;
  }
  tab_free_length_ += segment.size();
  // Only the kinds that split read a size text.
  if (!splits_) return;
  if (separator != std::string_view::npos) segment.remove_prefix(separator + 1);
  after_separator_cut_ =
      after_separator_cut_ || parts_.SizeText.size() + segment.size() > LineParts::kMaxKept;
  AppendKept(parts_.SizeText, segment);
}

const LineParts& LinePartsBuilder::Finish() {
  parts_.RawLineCut = raw_length_ > LineParts::kMaxKept;
  parts_.Blank = tab_free_length_ == 0;
  parts_.SeparatorPos = separator_pos_;
  // Only the last separator splits: earlier ones stay in the name.
  const bool split = splits_ && separator_pos_ != 0;
  const std::uint64_t name_length = split ? separator_pos_ - 1 : tab_free_length_;
  parts_.NameCut = name_length > LineParts::kMaxKept;
  parts_.NameLength = name_length;
  parts_.Name.resize(std::min<std::uint64_t>(name_length, parts_.Name.size()));
  if (!split) parts_.SizeText.clear();
  parts_.SizeTextCut = split && after_separator_cut_;
  return parts_;
}

LineParts SplitSourceLine(std::string_view raw_line, std::string_view fill_kind,
                          std::int32_t size_separator_code) {
  LinePartsBuilder builder;
  builder.Start(fill_kind, size_separator_code);
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

void OutputPath(std::string_view destination, std::string_view name, std::string_view extension,
                bool always, std::string& path) {
  path.assign(destination);
  path += kPathSeparator;
  path.append(name);
  if (always || name.find('.') == std::string_view::npos) {
    path += '.';
    path.append(extension);
  }
}

}  // namespace quillon
