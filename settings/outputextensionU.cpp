#include "settings/outputextensionU.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "settings/NameChars.h"
#include "util/ui/Commands.h"
#include "util/ui/Controls.h"
#include "util/ui/Fonts.h"
#include "util/ui/Seam.h"

namespace quillon {

ToutputextF::ToutputextF(QWidget* parent) : QDialog(parent) {
  setObjectName("outputextF");
  setWindowTitle("Output Extension");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(317, 188);
  setFont(ui::ControlFont());

  auto* label = new QLabel("Give output extension:", this);
  label->setObjectName("Label1");
  label->setGeometry(16, 12, 285, 20);
  extE = new QLineEdit("txt", this);
  extE->setObjectName("extE");
  extE->setGeometry(16, 36, 120, 24);
  label->setBuddy(extE);  // names the field for a screen reader
  extalwaysRB = new QRadioButton("&Always use this extension", this);
  extalwaysRB->setObjectName("extalwaysRB");
  extalwaysRB->setGeometry(16, 72, 285, 22);
  extalwaysRB->setChecked(true);
  extsometimesRB = new QRadioButton("Do &not add extension when one is found in input", this);
  extsometimesRB->setObjectName("extsometimesRB");
  extsometimesRB->setGeometry(16, 100, 295, 22);
  OkB = new QPushButton("&Ok", this);
  OkB->setObjectName("OkB");
  OkB->setGeometry(62, 146, 90, 28);
  OkB->setDefault(true);
  CancelB = new QPushButton("&Cancel", this);
  CancelB->setObjectName("CancelB");
  CancelB->setGeometry(166, 146, 90, 28);

  QWidget::setTabOrder(extE, extalwaysRB);
  QWidget::setTabOrder(extalwaysRB, extsometimesRB);
  QWidget::setTabOrder(extsometimesRB, OkB);
  QWidget::setTabOrder(OkB, CancelB);
  ui::ConnectCommand(OkB, &QPushButton::clicked, this, &QDialog::accept);
  ui::ConnectCommand(CancelB, &QPushButton::clicked, this, &QDialog::reject);
}

bool ToutputextF::FormKeyPress(QKeyEvent* key) { return ui::CloseOnEscape(this, key); }

void ToutputextF::keyPressEvent(QKeyEvent* event) {
  if (!FormKeyPress(event)) QDialog::keyPressEvent(event);
}

void outputextension1Click(ToutputextF& outputextF, RunSettings& settings) {
  outputextF.extE->setText(ui::FromBytes(settings.OutputExtension));
  if (settings.ExtensionAlways) {
    outputextF.extalwaysRB->setChecked(true);
  } else {
    outputextF.extsometimesRB->setChecked(true);
  }
  if (outputextF.exec() != QDialog::Accepted) return;

  const QString extension = outputextF.extE->text();
  for (const QChar c : extension) {
    if (IsInvalidNameChar(c)) {
      ui::ShowError(QStringLiteral("Forbidden character: ") + c + "\n\rPlease retry.");
      return;
    }
    if (c == '.') {
      ui::ShowWarning(
          "You included a dot in the extension which you should not as it will be added "
          "auttomatically in front of the extension... Please check and eventually retry.");
    }
  }
  if (extension.size() > 3) {
    ui::ShowWarning(
        "You typed more characters than the default length of an extension (3)... Please check "
        "and eventually retry.");
  } else if (extension.size() < 3) {
    ui::ShowWarning(
        "You typed less characters than the default length of an extension (3)... Please check "
        "and eventually retry.");
  }
  settings.OutputExtension = ui::ToBytes(extension);
  settings.ExtensionAlways = outputextF.extalwaysRB->isChecked();
}

}  // namespace quillon
