#include "util/IoError.h"

#include <cerrno>

namespace quillon {

std::string IoErrorText(int error_number) {
  switch (error_number) {
    case ENOENT: return "File not found";
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY: return "File access denied";
    case EMFILE:
    case ENFILE: return "Too many open files";
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return "Disk full";
    case EINVAL:
    case ENAMETOOLONG:
    case EILSEQ:
    case ELOOP: return "Invalid filename";
    default: return "I/O error " + std::to_string(error_number);
  }
}

void ThrowIoError(int error_number) { throw IoError(IoErrorText(error_number)); }

std::string WithFinalDot(std::string text) {
  if (text.empty() || text.back() != '.') text += '.';
  return text;
}

}  // namespace quillon
