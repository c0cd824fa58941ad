// The controls' font: the host's sans-serif family at 11 pixels, which the layouts of the
// window and the dialogs are measured for.
#pragma once

#include <QFont>
#include <QFontDatabase>

namespace quillon::ui {

inline QFont ControlFont() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPixelSize(11);
  return font;
}

}  // namespace quillon::ui
