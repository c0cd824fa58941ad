#include "util/WholeNumber.h"

namespace quillon {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::int32_t> ReadHex(std::string_view digits, HexDigits rule) {
  if (rule == HexDigits::InAll && digits.size() > 8) return std::nullopt;
  // Leading zeros add nothing to the value, as in decimal.
  while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : digits) {
    const int digit = HexValue(c);
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<std::uint32_t>(digit);
  }
  return static_cast<std::int32_t>(value);
}

std::optional<std::int32_t> ReadDecimal(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > limit) return std::nullopt;
  }
  return static_cast<std::int32_t>(negative ? -value : value);
}

}  // namespace

std::optional<std::int32_t> ReadWholeNumber(std::string_view text, HexDigits hex) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  if (text.starts_with('$') || text.starts_with('x') || text.starts_with('X')) {
    return ReadHex(text.substr(1), hex);
  }
  if (text.starts_with("0x") || text.starts_with("0X")) return ReadHex(text.substr(2), hex);
  return ReadDecimal(text);
}

std::int32_t ReadWholeNumberOr(std::string_view text, std::int32_t fallback) {
  return ReadWholeNumber(text).value_or(fallback);
}

}  // namespace quillon
