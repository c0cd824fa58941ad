// The POSIX host's errors as the user is told them.
#include <cerrno>

#include "util/IoError.h"

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

void ThrowIoError(FileFailure failure) {
  ThrowIoError(failure == FileFailure::CutShort ? EIO : EFBIG);
}

}  // namespace quillon
