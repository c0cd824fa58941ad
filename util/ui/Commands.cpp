#include "util/ui/Commands.h"

#include <new>

#include "util/ui/Seam.h"

namespace quillon::ui {

void ShowFailure(const std::exception& error) {
  if (dynamic_cast<const std::bad_alloc*>(&error)) {
    ShowApplicationError(QStringLiteral("Out of memory"));
  } else {
    ShowApplicationError(FromBytes(error.what()));
  }
}

void ShowUnknownFailure() { ShowApplicationError(QStringLiteral("Unknown error")); }

}  // namespace quillon::ui
