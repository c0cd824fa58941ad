// The one reader of whole numbers: sizes on source lines, settings values, dialog fields,
// history limits.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quillon {

// Leading blanks; then an optional sign and decimal digits in the 32-bit signed range, or,
// without a sign, "$", "x", "X", "0x" or "0X" and hexadecimal digits, at most eight after any
// leading zeros (the top bit set reads as negative). Nothing may follow the digits.
std::optional<std::int32_t> ReadWholeNumber(std::string_view text);

std::int32_t ReadWholeNumberOr(std::string_view text, std::int32_t fallback);

}  // namespace quillon
