// The invalid characters dialog and the command that edits ReplaceInvalid and InvalidReplacer.
//
// The main window creates one TrepF at start-up (after LocxxxF) and reuses it. Its menu item
// Replaceillegalcharacters1 ("&Invalid characters", Ctrl+F2) calls, in one line:
//   quillon::Replaceillegalcharacters1Click(*repF, RunSettings);
#pragma once

#include <QDialog>

#include "engine/RunSettings.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace quillon {

class TypingLimit;

class TrepF : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kMaxReplacerLength = 15;

  explicit TrepF(QWidget* parent = nullptr);

  // Sets repE to the text in full, whatever its length; only typing and pasting are limited.
  void LoadReplacer(const QString& text);

  QCheckBox* repCB;
  QLineEdit* repE;
  QPushButton* SaveB;
  QPushButton* CancelB;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool FormKeyPress(QKeyEvent* key);

  TypingLimit* typing_limit_;
};

// Loads the dialog, shows it, and on Save stores the replacement unless it is longer than 15
// characters or holds a character file names may not hold.
void Replaceillegalcharacters1Click(TrepF& repF, RunSettings& settings);

}  // namespace quillon
