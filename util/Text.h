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

// The text without the blanks and tabs (or the given characters) at both ends.
std::string_view TrimBlanks(std::string_view text, std::string_view blanks = " \t");

// UTF-16 code units as UTF-8, appended to text. A surrogate without its partner is kept as the
// three bytes UTF-8 would give its code (so that Utf16OfUtf8 gives the units back as they
// were), or written as "?". Gives back the first such surrogate, 0 when there was none.
enum class LoneSurrogate { Kept, AsQuestionMark };
char32_t AppendUtf8OfUtf16(std::u16string_view units, std::string& text,
                           LoneSurrogate lone = LoneSurrogate::Kept);
// UTF-8 as UTF-16 code units; a byte that starts no sequence stands for U+FFFD.
std::u16string Utf16OfUtf8(std::string_view text);
// "U+" and the code in at least four hexadecimal digits.
std::string UnicodeCode(char32_t code);
// The length of the last bytes of text that begin a UTF-8 sequence without ending it.
std::size_t UnfinishedUtf8Tail(std::string_view text);

}  // namespace quillon
