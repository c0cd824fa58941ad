// The output extension dialog and the command that edits OutputExtension and ExtensionAlways.
//
// The main window creates one ToutputextF at start-up (after fillF) and reuses it. Its menu
// item outputextension1 ("Output &extension", Shift+F2) calls, in one line:
//   quillon::outputextension1Click(*outputextF, RunSettings);
#pragma once

#include <QDialog>

#include "engine/RunSettings.h"

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace quillon {

class ToutputextF : public QDialog {
  Q_OBJECT

 public:
  explicit ToutputextF(QWidget* parent = nullptr);

  QLineEdit* extE;
  QRadioButton* extalwaysRB;
  QRadioButton* extsometimesRB;
  QPushButton* OkB;
  QPushButton* CancelB;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool FormKeyPress(QKeyEvent* key);
};

// Loads the dialog, shows it, and on OK scans the extension: a character file names may not
// hold refuses it (nothing stored); dots and a length other than 3 only warn.
void outputextension1Click(ToutputextF& outputextF, RunSettings& settings);

}  // namespace quillon
