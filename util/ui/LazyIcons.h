// Icons that cost nothing until they are drawn: a window built at start-up does not decode
// pictures it may never show.
#pragma once

#include <QIcon>
#include <QSize>
#include <QString>
#include <functional>
#include <utility>
#include <vector>

namespace quillon::ui {

// An icon made by make the first time it is drawn or asked for a picture. Laying out a row
// asks for its size only, which does not make it. Copies share the one made.
QIcon DeferredIcon(std::function<QIcon()> make);

// An icon with one picture file a size, each file decoded the first time a picture near its
// size is asked for. Its sizes are known without reading any file.
QIcon IconFromFiles(std::vector<std::pair<QSize, QString>> files);

}  // namespace quillon::ui
