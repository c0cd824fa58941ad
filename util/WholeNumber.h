// The one reader of whole numbers: sizes on source lines, settings values, dialog fields,
// history limits.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quillon {

// How many hexadecimal digits a number may have: eight after any leading zeros (the settings
// file, the dialogs, the history limits), or eight in all, leading zeros counted (a size
// written on a source line).
enum class HexDigits { AfterLeadingZeros, InAll };

// Leading blanks; then an optional sign and decimal digits in the 32-bit signed range, or,
// without a sign, "$", "x", "X", "0x" or "0X" and hexadecimal digits (the top bit set reads as
// negative). Nothing may follow the digits.
std::optional<std::int32_t> ReadWholeNumber(std::string_view text,
                                            HexDigits hex = HexDigits::AfterLeadingZeros);

std::int32_t ReadWholeNumberOr(std::string_view text, std::int32_t fallback);

}  // namespace quillon
