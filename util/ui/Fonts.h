// The fonts the layouts of the window and the dialogs are measured for, from the desktop's
// font: the described sizes hold at the usual desktop font of 9 points, and a larger desktop
// font makes the fonts and the sizes measured with them larger in step.
#pragma once

#include <QApplication>
#include <QFont>
#include <algorithm>
#include <cmath>

namespace quillon::ui {

// How much larger than 9 points the desktop's font is; never below 1.
inline double FontScale() {
  const double points = QApplication::font().pointSizeF();
  return points > 0 ? std::max(1.0, points / 9.0) : 1.0;
}

// A size of the layout in pixels, grown with the desktop's font.
inline int Scaled(int pixels) { return static_cast<int>(std::lround(pixels * FontScale())); }

// The windows' own font, 8 points at the usual desktop font.
inline QFont WindowFont() {
  QFont font = QApplication::font();
  font.setPointSizeF(8 * FontScale());
  return font;
}

// Most controls' font, 11 pixels at the usual desktop font.
inline QFont ControlFont() {
  QFont font = QApplication::font();
  font.setPixelSize(Scaled(11));
  return font;
}

// A heading's font of the given pixel size at the usual desktop font.
inline QFont HeadingFont(int pixels) {
  QFont font = ControlFont();
  font.setPixelSize(Scaled(pixels));
  return font;
}

}  // namespace quillon::ui
