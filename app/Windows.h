// The six windows of the program, created in start-up order and kept until it ends: the main
// window, the search-location dialog, the invalid characters, fill and output extension
// dialogs, and the About box.
#pragma once

#include <memory>
#include <string>

#include "app/AboutU.h"
#include "app/LocXXX.h"
#include "app/quillonU.h"
#include "settings/fillU.h"
#include "settings/outputextensionU.h"
#include "settings/repU.h"

namespace quillon {

struct QuillonWindows {
  // The program folder and settings file follow from executable_path (see TmainF).
  explicit QuillonWindows(const std::string& executable_path);
  ~QuillonWindows();

  // Members are destroyed in reverse order: the dialogs before the window that parents them.
  std::unique_ptr<TmainF> mainF;
  std::unique_ptr<TLocxxxF> LocxxxF;
  std::unique_ptr<TrepF> repF;
  std::unique_ptr<TfillF> fillF;
  std::unique_ptr<ToutputextF> outputextF;
  std::unique_ptr<TAboutF> AboutF;
};

}  // namespace quillon
