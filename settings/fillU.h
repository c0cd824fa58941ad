// The fill options dialog and the command that edits the fill fields of RunSettings with it.
//
// The main window creates one TfillF at start-up (after LocxxxF and repF) and reuses it. Its
// menu item FillfilesMI ("Fill files...", F3) calls, in one line:
//   quillon::FillfilesMIClick(*fillF, RunSettings, OpenDialog1);
#pragma once

#include <QDialog>
#include <QPixmap>

#include "engine/RunSettings.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace quillon {

namespace ui {
class OpenDialog;
}

// The decorative picture: a JPEG decoded through libjpeg. A missing or undecodable file gives
// a null pixmap, and the dialog goes on without the picture.
QPixmap LoadFillPicture(const QString& path);
QImage DecodeJpeg(const QByteArray& data);

class TfillF : public QDialog {
  Q_OBJECT

 public:
  static inline const QString kPicturePath = QStringLiteral(":/settings/fillpicture.jpg");

  explicit TfillF(QWidget* parent = nullptr);

  // The main window's shared open dialog, used by the "..." button.
  void SetOpenDialog(ui::OpenDialog* openDialog1) { OpenDialog1 = openDialog1; }

  QRadioButton* fillnoRB;
  QRadioButton* fillsingleRB;
  QGroupBox* singleGB;
  QCheckBox* fillsrcCB;
  QCheckBox* filltxtCB;
  QPushButton* filltxtB;
  QLineEdit* filltxtfnE;
  QRadioButton* fillfixRB;
  QRadioButton* fillvarRB;
  QLabel* Image1;
  QGroupBox* fillwithGB;
  QLineEdit* fillchE;
  QLabel* fillchexplainL;
  QGroupBox* fixGB;
  QLineEdit* sizeE;
  QGroupBox* varGB;
  QLineEdit* sepE;
  QLabel* sepchexplainL;
  QCheckBox* fixifnovarCB;
  QPushButton* saveB;
  QPushButton* cancelB;

  void fillnoRBClick();
  void fillfixRBClick();
  void fillvarRBClick();
  void fillsingleRBClick();
  void fixifnovarCBClick();
  void fillchEChange();
  void fillchEClick();
  void sepEChange();
  void sepEClick();
  void sizeEChange();
  void filltxtBClick();
  void filltxtfnEDblClick();
  void saveBClick();
  void cancelBClick();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool FormKeyPress(QKeyEvent* key);
  // Enables the four boxes for a mode, in the order varGB, fixGB, fillwithGB, singleGB.
  void EnableBoxes(bool var, bool fix, bool fillwith, bool single);

  QButtonGroup* mode_group_;
  ui::OpenDialog* OpenDialog1 = nullptr;
};

// Loads the dialog from the settings, shows it, and on Save checks the entries and stores
// them. A refused entry stores nothing; a size that is no whole number stops the storing
// after the kind, the single-text fields and the two character codes.
void FillfilesMIClick(TfillF& fillF, RunSettings& settings, ui::OpenDialog& openDialog1);

}  // namespace quillon
