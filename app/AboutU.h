// The About box: the program's name, its version and a short text; Escape or Close closes it.
#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

class TAboutF : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutF(QWidget* parent = nullptr);

  QLabel* ProgramL;
  QLabel* VersionL;
  QPlainTextEdit* aboutM;
  QPushButton* CloseB;

  void CloseBClick();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // Centred on the screen, wherever the main window stands.
  void showEvent(QShowEvent* event) override;

 private:
  void FormCreate();
  // Escape closes the box.
  bool FormKeyPress(QKeyEvent* key);
};
