// The dialogs' font: the host's sans-serif family at 11 pixels, the main window's control font,
// which the dialog layouts are measured for.
#pragma once

#include <QFont>
#include <QFontDatabase>

namespace quillon::ui {

inline QFont DialogFont() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPixelSize(11);
  return font;
}

}  // namespace quillon::ui
