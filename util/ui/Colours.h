// Colours of text that stay readable on the palette in use: the described colour on a light
// background, a lighter colour of the same hue on a dark one.
#pragma once

#include <QColor>

namespace quillon::ui {

// The contrast ratio of two colours, from 1 (the same) to 21 (black on white).
double Contrast(const QColor& a, const QColor& b);

// The colour itself on a light background; on a dark one (darker than mid-grey) the colour
// mixed with white just enough for a contrast of at least 4.5:1.
QColor ReadableOn(const QColor& colour, const QColor& background);

}  // namespace quillon::ui
