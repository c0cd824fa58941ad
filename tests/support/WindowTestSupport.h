// Shared by the window tests and the window's screenshot tool.
#pragma once

#include <QColor>
#include <QPalette>
#include <QString>
#include <string>

#include "util/ui/Seam.h"

namespace quillon::testing {

// A path of the core as the window shows it.
inline QString Q(const std::string& bytes) { return ui::FromBytes(bytes); }

// A dark desktop palette, its disabled texts greyed.
inline QPalette DarkPalette() {
  QPalette dark;
  dark.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
  dark.setColor(QPalette::WindowText, QColor(0xe0, 0xe0, 0xe0));
  dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
  dark.setColor(QPalette::AlternateBase, QColor(0x26, 0x26, 0x26));
  dark.setColor(QPalette::Text, QColor(0xe0, 0xe0, 0xe0));
  dark.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
  dark.setColor(QPalette::ButtonText, QColor(0xe0, 0xe0, 0xe0));
  dark.setColor(QPalette::Highlight, QColor(0x3d, 0x7a, 0xd6));
  dark.setColor(QPalette::HighlightedText, Qt::white);
  for (const QPalette::ColorRole role :
       {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    dark.setColor(QPalette::Disabled, role, QColor(0x80, 0x80, 0x80));
  }
  return dark;
}

}  // namespace quillon::testing
