#include "app/AboutU.h"

#include "util/ui/Fonts.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "util/ui/Commands.h"
#include "util/ui/Controls.h"

namespace quillon {

namespace {

const char* const kAboutText =
    "Quillon turns the lines of a text file into files.\n"
    "\n"
    "Choose a source text file and a destination parent folder, then press Run:\n"
    "every line of the source becomes one file in the destination, named after\n"
    "the line. Files are left empty or filled with a fixed or a per-line number\n"
    "of bytes, or with the line itself and the contents of a chosen text file\n"
    "(Options > Fill files...). An output extension is added to the names\n"
    "(Options > Output extension), and characters that file names may not hold\n"
    "can be replaced (Options > Invalid characters).\n"
    "\n"
    "Files that exist already are never changed. The report lists every line\n"
    "whose file exists or cannot be created, and ends with a summary.\n"
    "\n"
    "Without a display, the batch command quillon-batch runs the same conversion.\n"
    "\n"
    "The options are kept in the settings file quillon.ini, the recently used\n"
    "files and folders in six history files (*.his), all in this folder:\n";

}  // namespace

TAboutF::TAboutF(QWidget* parent, const QString& data_folder) : QDialog(parent) {
  setObjectName(QStringLiteral("AboutF"));
  setWindowTitle(QStringLiteral("About..."));
  setFont(ui::WindowFont());
  setFixedSize(481, 298);

  ProgramL = new QLabel(this);
  ProgramL->setObjectName(QStringLiteral("ProgramL"));
  QFont bold = ui::WindowFont();
  bold.setPixelSize(20);
  bold.setBold(true);
  ProgramL->setFont(bold);
  VersionL = new QLabel(this);
  VersionL->setObjectName(QStringLiteral("VersionL"));
  aboutM = new QPlainTextEdit(this);
  aboutM->setObjectName(QStringLiteral("aboutM"));
  aboutM->setReadOnly(true);
  aboutM->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QPalette palette = aboutM->palette();
  palette.setColor(QPalette::Base, QColor(192, 192, 192));
  aboutM->setPalette(palette);
  CloseB = new QPushButton(QStringLiteral("Close"), this);
  CloseB->setObjectName(QStringLiteral("CloseB"));
  ui::ConnectCommand(CloseB, &QPushButton::clicked, this, &TAboutF::CloseBClick);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(ProgramL);
  layout->addWidget(VersionL);
  layout->addWidget(aboutM, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(CloseB);
  layout->addLayout(buttons);

  FormCreate(data_folder);
}

void TAboutF::FormCreate(const QString& data_folder) {
  ProgramL->setText(QStringLiteral("Quillon"));
  VersionL->setText(QStringLiteral("Version 3.0"));
  aboutM->setPlainText(QString::fromLatin1(kAboutText) + data_folder);
}

void TAboutF::CloseBClick() { accept(); }

bool TAboutF::FormKeyPress(QKeyEvent* key) { return ui::CloseOnEscape(this, key); }

void TAboutF::keyPressEvent(QKeyEvent* event) {
  if (!FormKeyPress(event)) QDialog::keyPressEvent(event);
}

void TAboutF::showEvent(QShowEvent* event) {
  // The memo's fixed font is loaded when the box first shows: at start-up it would cost a font
  // the window does not draw.
  if (!memo_font_set_) {
    QFont courier = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    courier.setPixelSize(9);
    aboutM->setFont(courier);
    memo_font_set_ = true;
  }
  QDialog::showEvent(event);
  QRect frame = frameGeometry();
  frame.moveCenter(screen()->availableGeometry().center());
  move(frame.topLeft());
}

}  // namespace quillon
