// The fonts the layouts of the window and the dialogs are measured for, from the host's
// sans-serif family.
#pragma once

#include <QFont>
#include <QFontDatabase>

namespace quillon::ui {

// The windows' own font, 8 points.
inline QFont WindowFont() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSize(8);
  return font;
}

// Most controls' font, 11 pixels.
inline QFont ControlFont() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPixelSize(11);
  return font;
}

}  // namespace quillon::ui
