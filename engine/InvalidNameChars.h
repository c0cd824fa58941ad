// InvalidNameChars: the nine characters file names may not hold. The run's name cleaning and
// the dialogs that take a replacement or an extension test against them.
#pragma once

namespace quillon {

constexpr bool IsInvalidNameChar(char c) {
  switch (c) {
    case '"':
    case '*':
    case '/':
    case ':':
    case '<':
    case '>':
    case '?':
    case '\\':
    case '|': return true;
    default: return false;
  }
}

}  // namespace quillon
