#include "settings/repU.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>

#include "settings/NameChars.h"
#include "util/ui/Commands.h"
#include "util/ui/Controls.h"
#include "util/ui/Fonts.h"
#include "util/ui/Seam.h"

namespace quillon {

// Typing and pasting cannot make the text longer than the limit (a paste is cut to fit); a
// longer text loaded by the program may be shortened, not lengthened. A plain maximum length
// would cut the loaded text.
class TypingLimit : public QValidator {
 public:
  TypingLimit(QLineEdit* edit, int limit) : QValidator(edit), edit_(edit), limit_(limit) {
    ui::ConnectCommand(edit, &QLineEdit::textChanged, this,
                       [this](const QString& text) { previous_length_ = text.size(); });
  }

  State validate(QString& input, int& pos) const override {
    if (input.size() <= limit_ || input.size() < previous_length_) return Acceptable;
    // An undo brings back a text the field held before. Refusing it would leave the field
    // marked invalid, and the field then keeps the next typed edit without asking again.
    if (edit_->isRedoAvailable()) return Acceptable;
    const qsizetype excess = input.size() - limit_;
    // Only an edit that started within the limit can be cut back to it: its insertion ends at
    // the cursor.
    if (previous_length_ > limit_ || pos < excess) return Invalid;
    input.remove(pos - excess, excess);
    pos -= static_cast<int>(excess);
    return Acceptable;
  }

 private:
  const QLineEdit* edit_;
  int limit_;
  qsizetype previous_length_ = 0;
};

TrepF::TrepF(QWidget* parent) : QDialog(parent) {
  setObjectName("repF");
  setWindowTitle("Replace invalid characters");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(344, 206);
  setFont(ui::ControlFont());

  repCB = new QCheckBox("&Replace invalid characters", this);
  repCB->setObjectName("repCB");
  repCB->setGeometry(16, 16, 312, 22);
  repCB->setToolTip("Invalid characters in file names are: \\ / : * ? \" < > | ");
  auto* label =
      new QLabel("Give replacement character or string when invalid characters met:", this);
  label->setObjectName("Label1");
  label->setGeometry(16, 52, 312, 40);
  label->setWordWrap(true);
  repE = new QLineEdit(this);
  repE->setObjectName("repE");
  repE->setGeometry(16, 100, 160, 24);
  typing_limit_ = new TypingLimit(repE, kMaxReplacerLength);
  label->setBuddy(repE);  // names the field for a screen reader
  repE->setValidator(typing_limit_);
  SaveB = new QPushButton("&Save", this);
  SaveB->setObjectName("SaveB");
  SaveB->setGeometry(74, 160, 90, 28);
  SaveB->setDefault(true);
  CancelB = new QPushButton("&Cancel", this);
  CancelB->setObjectName("CancelB");
  CancelB->setGeometry(178, 160, 90, 28);

  QWidget::setTabOrder(repCB, repE);
  QWidget::setTabOrder(repE, SaveB);
  QWidget::setTabOrder(SaveB, CancelB);
  ui::ConnectCommand(SaveB, &QPushButton::clicked, this, &QDialog::accept);
  ui::ConnectCommand(CancelB, &QPushButton::clicked, this, &QDialog::reject);
}

void TrepF::LoadReplacer(const QString& text) {
  repE->setValidator(nullptr);
  repE->setText(text);
  repE->setValidator(typing_limit_);
}

bool TrepF::FormKeyPress(QKeyEvent* key) { return ui::CloseOnEscape(this, key); }

void TrepF::keyPressEvent(QKeyEvent* event) {
  if (!FormKeyPress(event)) QDialog::keyPressEvent(event);
}

void Replaceillegalcharacters1Click(TrepF& repF, RunSettings& settings) {
  repF.LoadReplacer(ui::FromBytes(settings.InvalidReplacer));
  repF.repCB->setChecked(settings.ReplaceInvalid);
  if (repF.exec() != QDialog::Accepted) return;

  const QString replacer = repF.repE->text();
  if (replacer.size() > TrepF::kMaxReplacerLength) {
    ui::ShowError("You can enter only up to 15 characters");
    return;
  }
  for (const QChar c : replacer) {
    if (IsInvalidNameChar(c)) {
      ui::ShowError(QStringLiteral("Forbidden to enter a forbidden character: ") + c);
      return;
    }
  }
  settings.InvalidReplacer = ui::ToBytes(replacer);
  settings.ReplaceInvalid = repF.repCB->isChecked();
}

}  // namespace quillon
