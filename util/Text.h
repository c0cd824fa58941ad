// Text routines on byte strings: positions count bytes from 1.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

std::string ReverseText(std::string_view text);

// 1-based position of the last occurrence of part in text; 0 when absent or part is empty.
std::size_t LastPos(std::string_view part, std::string_view text);

// "..." and the last width-3 bytes when the text is longer than width; width wraps as 16 bits.
std::string ShortenLeft(std::string_view text, std::uint16_t width);

// "1234567" -> "1.234.567"; a leading "-" stays in front.
std::string GroupThousands(std::string_view digits);

// ASCII-only case folding, as the histories and the ini names compare.
std::string AsciiLower(std::string_view text);
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// The text without the blanks and tabs at both ends.
std::string_view TrimBlanks(std::string_view text);

}  // namespace quillon
