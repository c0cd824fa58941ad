#include "util/ui/Colours.h"

#include <algorithm>
#include <cmath>

namespace quillon::ui {
namespace {

constexpr double kReadable = 4.5;

// The relative luminance of a colour on a screen, from 0 (black) to 1 (white).
double Luminance(const QColor& colour) {
  auto channel = [](double value) {
    return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) +
         0.0722 * channel(colour.blueF());
}

QColor Mix(const QColor& colour, double white) {
  auto towards = [white](int value) {
    return static_cast<int>(value + (255 - value) * white + 0.5);
  };
  return QColor(towards(colour.red()), towards(colour.green()), towards(colour.blue()));
}

}  // namespace

double Contrast(const QColor& a, const QColor& b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ReadableOn(const QColor& colour, const QColor& background) {
  if (Luminance(background) >= Luminance(QColor(128, 128, 128))) return colour;
  for (int step = 0; step <= 20; ++step) {
    const QColor lighter = Mix(colour, step / 20.0);
    if (Contrast(lighter, background) >= kReadable) return lighter;
  }
  return Qt::white;
}

}  // namespace quillon::ui
