// Windows has no wall a process can raise around its own writes.
#include "util/KernelWall.h"

namespace quillon {

WallOutcome AllowWritesOnlyBeneath(const std::vector<std::string>&) {
  return WallOutcome::Unavailable;
}

}  // namespace quillon
