#include "app/QuillonApplication.h"

#include <utility>
#include <vector>

#include "util/ui/Commands.h"
#include "util/ui/LazyIcons.h"
#include "util/ui/StartUpWarmUp.h"

namespace quillon {

QuillonApplication::QuillonApplication(int& argc, char** argv, ui::StartUpWarmUp* warm_up)
    : QApplication(argc, argv), warm_up_(warm_up) {
  setApplicationName(QStringLiteral("Quillon"));
  setApplicationVersion(QStringLiteral("3.0"));
  // The desktop entry, the installed icons and the window all go by one application id.
  setDesktopFileName(QStringLiteral(QUILLON_APP_ID));
  // Each size is decoded when a window system first asks for it.
  std::vector<std::pair<QSize, QString>> sizes;
  for (const int size : {16, 32, 48, 64, 128, 256})
    sizes.emplace_back(QSize(size, size), QStringLiteral(":/icons/%1x%1/quillon.png").arg(size));
  setWindowIcon(ui::IconFromFiles(std::move(sizes)));
  if (warm_up_) warm_up_->ApplicationStarted();
}

QuillonApplication::~QuillonApplication() {
  if (warm_up_) warm_up_->Finish();
}

bool QuillonApplication::notify(QObject* receiver, QEvent* event) {
  bool handled = false;
  ui::RunCommand([&] { handled = QApplication::notify(receiver, event); });
  return handled;
}

}  // namespace quillon
