// The application: an error that no handler caught is shown in the application error box
// (the program's title, the text with "." appended), and the program goes on.
#pragma once

#include <QApplication>

namespace quillon {

namespace ui {
class StartUpWarmUp;
}

class QuillonApplication : public QApplication {
  Q_OBJECT

 public:
  // A warm-up begun before goes on with the application's part of its work, and is waited
  // for before the application goes.
  QuillonApplication(int& argc, char** argv, ui::StartUpWarmUp* warm_up = nullptr);
  ~QuillonApplication() override;

  bool notify(QObject* receiver, QEvent* event) override;

 private:
  ui::StartUpWarmUp* warm_up_;
};

}  // namespace quillon
