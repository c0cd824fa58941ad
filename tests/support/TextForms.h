// Texts as users' editors save them: with a byte-order mark, or in UTF-16 of either order.
#pragma once

#include <string>
#include <string_view>

#include "util/Platform.h"

namespace quillon::testing {

inline constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// The units in UTF-16 of the given order, after its mark.
inline std::string Utf16File(std::u16string_view units, bool little_endian = true) {
  std::string bytes = little_endian ? "\xFF\xFE" : "\xFE\xFF";
  for (const char16_t unit : units) {
    const auto low = static_cast<char>(unit & 0xFF);
    const auto high = static_cast<char>(unit >> 8);
    bytes += little_endian ? low : high;
    bytes += little_endian ? high : low;
  }
  return bytes;
}

// "é" in the host's texts: UTF-8 on POSIX, the ANSI code page (Windows-1252 here) on Windows.
inline const std::string kHostEAcute = kHostTextIsUtf8 ? "\xC3\xA9" : "\xE9";

}  // namespace quillon::testing
