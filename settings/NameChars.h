// The dialogs' test of a typed character against the characters file names may not hold.
#pragma once

#include <QChar>

#include "engine/InvalidNameChars.h"

namespace quillon {

inline bool IsInvalidNameChar(QChar c) {
  return c.unicode() < 0x80 && IsInvalidNameChar(static_cast<char>(c.unicode()));
}

}  // namespace quillon
