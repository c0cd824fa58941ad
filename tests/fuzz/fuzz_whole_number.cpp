// The whole-number reader against a reference written from its rules with the C library:
// leading blanks; an optional sign and decimal digits in the 32-bit signed range; or "$", "x"
// or "0x" (either case) and hexadecimal digits worth at most 32 bits (for a size on a source
// line, eight digits at most in all), the top bit reading as negative; nothing after the digits.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "util/WholeNumber.h"

namespace {

bool AllOf(std::string_view text, int (*test)(int)) {
  if (text.empty()) return false;
  for (unsigned char c : text) {
    if (!test(c)) return false;
  }
  return true;
}

std::string_view WithoutLeadingZeros(std::string_view digits) {
  while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
  return digits;
}

std::optional<std::int32_t> Reference(std::string_view text, quillon::HexDigits hex) {
  const std::size_t start = text.find_first_not_of(' ');
  if (start == std::string_view::npos) return std::nullopt;
  text.remove_prefix(start);
  std::size_t prefix = 0;
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    prefix = 2;
  } else if (text[0] == '$' || text[0] == 'x' || text[0] == 'X') {
    prefix = 1;
  }
  if (prefix > 0) {
    const std::string_view digits = text.substr(prefix);
    const std::string_view counted =
        hex == quillon::HexDigits::InAll ? digits : WithoutLeadingZeros(digits);
    if (!AllOf(digits, isxdigit) || counted.size() > 8) return std::nullopt;
    const unsigned long value = std::strtoul(std::string(digits).c_str(), nullptr, 16);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
  }
  std::string_view digits = text;
  if (digits.front() == '+' || digits.front() == '-') digits.remove_prefix(1);
  if (!AllOf(digits, isdigit) || WithoutLeadingZeros(digits).size() > 10) return std::nullopt;
  const long long value = std::strtoll(std::string(text).c_str(), nullptr, 10);
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::optional<std::int32_t> value = quillon::ReadWholeNumber(text);
  FUZZ_CHECK(value == Reference(text, quillon::HexDigits::AfterLeadingZeros));
  FUZZ_CHECK(quillon::ReadWholeNumber(text, quillon::HexDigits::InAll) ==
             Reference(text, quillon::HexDigits::InAll));
  FUZZ_CHECK(quillon::ReadWholeNumberOr(text, 77) == value.value_or(77));
  // What the program writes, it reads back.
  if (value) FUZZ_CHECK(quillon::ReadWholeNumber(std::to_string(*value)) == value);
  return 0;
}
