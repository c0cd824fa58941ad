#include "util/Console.h"

#include <cstdio>

namespace quillon {
namespace {

// The length of the valid UTF-8 sequence at the text's start, its code point in code; 0 when
// none starts there (a stray continuation byte, an overlong form, a surrogate, past U+10FFFF).
std::size_t Utf8SequenceAt(std::string_view text, char32_t& code) {
  const auto lead = static_cast<unsigned char>(text[0]);
  // The lead byte tells the length; the shortest form sets the least code point.
  const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 0;
  if (length == 0) return 0;
  constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  code = lead & (0x7F >> length);
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[i]);
    if ((next & 0xC0) != 0x80) return 0;
    code = (code << 6) | (next & 0x3F);
  }
  if (code < kLeast[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

bool TerminalObeys(char32_t code) {
  return (code >= 0x80 && code <= 0x9F) || (code >= 0x202A && code <= 0x202E) ||
         (code >= 0x2066 && code <= 0x2069);
}

void AppendEscaped(std::string& shown, const char* form, unsigned value) {
  char escaped[8];
  std::snprintf(escaped, sizeof escaped, form, value);
  shown += escaped;
}

}  // namespace

std::string ShownOnTerminal(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    char32_t code = 0;
    const std::size_t length =
        kTerminalReadsUtf8 && byte >= 0x80 ? Utf8SequenceAt(text.substr(at), code) : 0;
    if (length > 0) {
      if (TerminalObeys(code)) {
        AppendEscaped(shown, "\\u%04X", static_cast<unsigned>(code));
      } else {
        shown.append(text, at, length);
      }
      at += length;
      continue;
    }
    if ((byte < 32 && byte != '\t') || byte == 127 ||
        (kTerminalReadsUtf8 && byte >= 0x80 && byte <= 0x9F)) {
      AppendEscaped(shown, "\\x%02X", byte);
    } else {
      shown += text[at];
    }
    ++at;
  }
  return shown;
}

}  // namespace quillon
