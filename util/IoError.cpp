#include "util/IoError.h"

namespace quillon {

void ThrowIoError(int error_number) { throw IoError(IoErrorText(error_number)); }

std::string WithFinalDot(std::string text) {
  if (text.empty() || text.back() != '.') text += '.';
  return text;
}

}  // namespace quillon
