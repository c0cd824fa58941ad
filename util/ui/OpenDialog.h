// The window's one shared file-open dialog: commands set its title, and it keeps the filter and
// the initial folder between uses. It runs through the seam.
#pragma once

#include <QString>
#include <optional>

#include "util/ui/Seam.h"

namespace quillon::ui {

class OpenDialog {
 public:
  QString Title;
  QString Filter = QStringLiteral("Txt-files (*.txt)|*.txt|All files (*.*)|*.*");
  QString InitialDir;

  // The chosen file's full path, or nothing when cancelled.
  std::optional<QString> Execute() const {
    return CurrentSeam().OpenFile({Title, Filter, InitialDir});
  }
};

}  // namespace quillon::ui
