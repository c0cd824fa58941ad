#include "util/ui/FontWarmUp.h"

#include <fontconfig/fontconfig.h>

#include <system_error>

#include "util/Platform.h"

namespace quillon::ui {

FontWarmUp::FontWarmUp() {
  try {
    // The toolkit's own first call then finds the configuration loaded and returns at once.
    reading_ = StartBeside([] { FcInit(); });
  } catch (const std::system_error&) {
    // No thread to spare: the toolkit reads the configuration itself when it first needs it.
  }
}

FontWarmUp::~FontWarmUp() { Wait(); }

void FontWarmUp::Wait() {
  if (reading_.joinable()) reading_.join();
}

}  // namespace quillon::ui
