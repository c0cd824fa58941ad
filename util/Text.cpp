#include "util/Text.h"

#include <algorithm>
#include <cstdio>

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

std::string_view TrimBlanks(std::string_view text, std::string_view blanks) {
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return text.substr(text.size());
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

namespace {

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void AppendUtf8(char32_t code, std::string& text) {
  const auto byte = [&](char32_t bits) { text += static_cast<char>(bits); };
  if (code < 0x80) {
    byte(code);
  } else if (code < 0x800) {
    byte(0xC0 | code >> 6);
    byte(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    byte(0xE0 | code >> 12);
    byte(0x80 | (code >> 6 & 0x3F));
    byte(0x80 | (code & 0x3F));
  } else {
    byte(0xF0 | code >> 18);
    byte(0x80 | (code >> 12 & 0x3F));
    byte(0x80 | (code >> 6 & 0x3F));
    byte(0x80 | (code & 0x3F));
  }
}

// The bytes of a sequence its first byte announces; 0 for a byte that starts none.
std::size_t Utf8Length(unsigned char first) {
  if (first < 0x80) return 1;
  if (first >= 0xC2 && first <= 0xDF) return 2;
  if (first >= 0xE0 && first <= 0xEF) return 3;
  if (first >= 0xF0 && first <= 0xF4) return 4;
  return 0;
}

}  // namespace

char32_t AppendUtf8OfUtf16(std::u16string_view units, std::string& text, LoneSurrogate lone) {
  char32_t first_lone = 0;
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t code = units[i];
    if (IsHighSurrogate(code) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
      code = 0x10000 + ((code - 0xD800) << 10) + (units[++i] - 0xDC00);
    } else if (IsHighSurrogate(code) || IsLowSurrogate(code)) {
      if (first_lone == 0) first_lone = code;
      if (lone == LoneSurrogate::AsQuestionMark) code = '?';
    }
    AppendUtf8(code, text);
  }
  return first_lone;
}

std::u16string Utf16OfUtf8(std::string_view text) {
  std::u16string units;
  units.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto first = static_cast<unsigned char>(text[i]);
    const std::size_t length = Utf8Length(first);
    char32_t code = length == 1 ? first : first & (0x7F >> length);
    std::size_t taken = 1;
    while (length > 1 && taken < length && i + taken < text.size() &&
           (static_cast<unsigned char>(text[i + taken]) & 0xC0) == 0x80) {
      code = code << 6 | (static_cast<unsigned char>(text[i + taken]) & 0x3F);
      ++taken;
    }
    // Too short, or longer than its code needs: no character.
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (length == 0 || taken < length || code < kLeast[length] || code > 0x10FFFF) {
      units += u'\uFFFD';
      i += taken;
      continue;
    }
    i += length;
    if (code >= 0x10000) {
      units += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      units += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      units += static_cast<char16_t>(code);
    }
  }
  return units;
}

std::string UnicodeCode(char32_t code) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "U+%04X", static_cast<unsigned>(code));
  return digits;
}

std::size_t UnfinishedUtf8Tail(std::string_view text) {
  // A sequence is at most four bytes: its first byte is among the last three.
  for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
    const auto byte = static_cast<unsigned char>(text[text.size() - back]);
    if ((byte & 0xC0) == 0x80) continue;
    return Utf8Length(byte) > back ? back : 0;
  }
  return 0;
}

}  // namespace quillon
