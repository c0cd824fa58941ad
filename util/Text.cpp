#include "util/Text.h"

#include <algorithm>

namespace quillon {

std::string ReverseText(std::string_view text) { return std::string(text.rbegin(), text.rend()); }

std::size_t LastPos(std::string_view part, std::string_view text) {
  if (part.empty()) return 0;
  const std::size_t found = text.rfind(part);
  return found == std::string_view::npos ? 0 : found + 1;
}

std::string ShortenLeft(std::string_view text, std::uint16_t width) {
  const auto length = static_cast<std::uint16_t>(text.size());
  if (width >= length) return std::string(text);
  if (width <= 3) return "...";
  return "..." + std::string(text.substr(text.size() - (width - 3)));
}

std::string GroupThousands(std::string_view digits) {
  std::string sign;
  if (!digits.empty() && digits.front() == '-') {
    sign = "-";
    digits.remove_prefix(1);
  }
  if (digits.size() <= 3) return sign + std::string(digits);
  std::string grouped;
  const std::size_t lead = digits.size() % 3 == 0 ? 3 : digits.size() % 3;
  grouped.append(digits.substr(0, lead));
  for (std::size_t at = lead; at < digits.size(); at += 3) {
    grouped += '.';
    grouped.append(digits.substr(at, 3));
  }
  return sign + grouped;
}

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return lower;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && AsciiLower(a) == AsciiLower(b);
}

std::string_view TrimBlanks(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace quillon
