// The About box: the program's name, its version and a short text that ends with the folder of
// the settings and history files; Escape or Close closes it.
#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace quillon {

class TAboutF : public QDialog {
  Q_OBJECT

 public:
  TAboutF(QWidget* parent, const QString& data_folder);

  QLabel* ProgramL;
  QLabel* VersionL;
  QPlainTextEdit* aboutM;
  QPushButton* CloseB;

  void CloseBClick();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // Centred on the screen, wherever the main window stands; the memo in its fixed font.
  void showEvent(QShowEvent* event) override;

 private:
  void FormCreate(const QString& data_folder);
  // Escape closes the box.
  bool FormKeyPress(QKeyEvent* key);

  bool memo_font_set_ = false;
};

}  // namespace quillon
