#include "settings/fillU.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

#include "util/FileSystem.h"
#include "util/WholeNumber.h"
#include "util/ui/Commands.h"
#include "util/ui/Controls.h"
#include "util/ui/Fonts.h"
#include "util/ui/OpenDialog.h"
#include "util/ui/Seam.h"

namespace quillon {
namespace {

// libjpeg reports a fatal error through error_exit, which must not return.
struct JpegErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

extern "C" void OnJpegError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegErrorManager*>(info->err)->jump, 1);
}

extern "C" void OnJpegMessage(j_common_ptr) {}

// The decoded pixels, 3 bytes each, in a malloc'd buffer; nothing between setjmp and longjmp
// may own a C++ object.
struct RgbPixels {
  unsigned char* bytes = nullptr;
  int width = 0;
  int height = 0;
};

bool DecodeRgb(const unsigned char* data, unsigned long size, RgbPixels* out) {
  jpeg_decompress_struct info;
  JpegErrorManager errors;
  info.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = OnJpegError;
  errors.pub.output_message = OnJpegMessage;
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&info);
    std::free(out->bytes);
    out->bytes = nullptr;
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, size);
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  // A decoration is small; a huge image is treated as undecodable rather than allocated.
  constexpr unsigned long kMaxPixels = 1UL << 22;
  if (info.output_components != 3 || info.output_width == 0 || info.output_height == 0 ||
      static_cast<unsigned long>(info.output_width) * info.output_height > kMaxPixels) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  const std::size_t row = static_cast<std::size_t>(info.output_width) * 3;
  out->bytes = static_cast<unsigned char*>(std::malloc(row * info.output_height));
  if (!out->bytes) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  while (info.output_scanline < info.output_height) {
    JSAMPROW line = out->bytes + row * info.output_scanline;
    jpeg_read_scanlines(&info, &line, 1);
  }
  out->width = static_cast<int>(info.output_width);
  out->height = static_cast<int>(info.output_height);
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

const QString kSpace = QStringLiteral("Space");

QString SpaceExplanation(const QString& text) { return text == " " ? kSpace : QString(); }

// The one character of a code's low 8 bits; codes 0 to 255 stand for Latin-1 characters.
QString CharOfCode(std::int32_t code) { return QString(QChar(static_cast<char16_t>(code & 0xFF))); }

// The code of the field's first character; an empty field leaves the code as it was.
void StoreCharCode(const QString& field, std::int32_t& code) {
  if (!field.isEmpty()) code = field.front().unicode() & 0xFF;
}

}  // namespace

QImage DecodeJpeg(const QByteArray& data) {
  RgbPixels pixels;
  if (data.isEmpty() || !DecodeRgb(reinterpret_cast<const unsigned char*>(data.constData()),
                                   static_cast<unsigned long>(data.size()), &pixels)) {
    return {};
  }
  QImage image(pixels.width, pixels.height, QImage::Format_RGB888);
  const std::size_t row = static_cast<std::size_t>(pixels.width) * 3;
  for (int y = 0; y < pixels.height; ++y) {
    std::memcpy(image.scanLine(y), pixels.bytes + row * y, row);
  }
  std::free(pixels.bytes);
  return image;
}

QPixmap LoadFillPicture(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QPixmap::fromImage(DecodeJpeg(file.readAll()));
}

TfillF::TfillF(QWidget* parent) : QDialog(parent) {
  setObjectName("fillF");
  setWindowTitle("How to fill each created file...");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(494, 357);
  setFont(ui::ControlFont());

  const auto named = [](QWidget* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
  };

  fillnoRB = new QRadioButton("&No fill", this);
  named(fillnoRB, "fillnoRB")->setGeometry(16, 10, 200, 22);

  // The radio button stands on the box's left edge, beside the caption that names it.
  singleGB = new QGroupBox("Enter single text...", this);
  named(singleGB, "singleGB")->setGeometry(36, 38, 442, 120);
  fillsingleRB = new QRadioButton(this);
  named(fillsingleRB, "fillsingleRB")->setGeometry(16, 36, 20, 22);
  fillsrcCB = new QCheckBox("Source &line", singleGB);
  named(fillsrcCB, "fillsrcCB")->setGeometry(14, 26, 200, 22);
  filltxtCB = new QCheckBox("Fixed &text from file:", singleGB);
  named(filltxtCB, "filltxtCB")->setGeometry(14, 54, 200, 22);
  filltxtB = new QPushButton("...", singleGB);
  named(filltxtB, "filltxtB")->setGeometry(220, 52, 36, 26);
  filltxtB->setAutoDefault(false);
  filltxtfnE = new QLineEdit(singleGB);
  named(filltxtfnE, "filltxtfnE")->setGeometry(14, 86, 414, 24);

  fillfixRB = new QRadioButton("&Fixed fill size", this);
  named(fillfixRB, "fillfixRB")->setGeometry(16, 174, 150, 22);
  fillvarRB = new QRadioButton("&Variable sizes", this);
  named(fillvarRB, "fillvarRB")->setGeometry(16, 202, 150, 22);

  Image1 = new QLabel(this);
  named(Image1, "Image1")->setGeometry(176, 170, 2, 58);
  Image1->setScaledContents(true);
  Image1->setPixmap(LoadFillPicture(kPicturePath));

  fillwithGB = new QGroupBox(this);
  named(fillwithGB, "fillwithGB")->setGeometry(190, 166, 288, 62);
  auto* fillwithL = new QLabel("Fill files with:", fillwithGB);
  named(fillwithL, "Label1")->setGeometry(14, 22, 100, 22);
  fillchE = new QLineEdit(fillwithGB);
  named(fillchE, "fillchE")->setGeometry(118, 20, 32, 24);
  fillchexplainL = new QLabel(fillwithGB);
  named(fillchexplainL, "fillchexplainL")->setGeometry(160, 22, 80, 22);

  fixGB = new QGroupBox("Fixed size", this);
  named(fixGB, "fixGB")->setGeometry(16, 240, 196, 68);
  auto* sizeL = new QLabel("Size (bytes):", fixGB);
  named(sizeL, "Label2")->setGeometry(14, 30, 84, 22);
  sizeE = new QLineEdit(fixGB);
  named(sizeE, "sizeE")->setGeometry(100, 28, 82, 24);

  varGB = new QGroupBox("Variable size", this);
  named(varGB, "varGB")->setGeometry(222, 240, 256, 68);
  auto* sepL = new QLabel("Separator:", varGB);
  named(sepL, "Label3")->setGeometry(14, 20, 76, 22);
  sepE = new QLineEdit(varGB);
  named(sepE, "sepE")->setGeometry(92, 18, 32, 24);
  sepchexplainL = new QLabel(varGB);
  named(sepchexplainL, "sepchexplainL")->setGeometry(134, 20, 80, 22);
  fixifnovarCB = new QCheckBox("&Use fixed size when no size found", varGB);
  named(fixifnovarCB, "fixifnovarCB")->setGeometry(14, 42, 236, 22);

  saveB = new QPushButton("&Save", this);
  named(saveB, "saveB")->setGeometry(150, 320, 90, 28);
  saveB->setDefault(true);
  cancelB = new QPushButton("&Cancel", this);
  named(cancelB, "cancelB")->setGeometry(254, 320, 90, 28);

  // Names a screen reader gives the controls that have no caption of their own.
  fillwithL->setBuddy(fillchE);
  sizeL->setBuddy(sizeE);
  sepL->setBuddy(sepE);
  fillsingleRB->setAccessibleName(singleGB->title());
  filltxtB->setAccessibleName("Choose the text file");
  filltxtfnE->setAccessibleName("Text file");

  // The layout: no mode selected, the single text disabled, the other boxes enabled.
  ui::EnableGroup(singleGB, false);

  // The four mode buttons form one exclusive group.
  mode_group_ = new QButtonGroup(this);
  for (QRadioButton* mode : {fillnoRB, fillfixRB, fillvarRB, fillsingleRB}) {
    mode_group_->addButton(mode);
  }

  fillchE->setMaxLength(1);
  sepE->setMaxLength(1);
  // A character code is one byte: only characters with codes 0 to 255 can be entered.
  const QRegularExpression oneByte(QStringLiteral("[\\x{0}-\\x{ff}]?"));
  fillchE->setValidator(new QRegularExpressionValidator(oneByte, fillchE));
  sepE->setValidator(new QRegularExpressionValidator(oneByte, sepE));

  QWidget::setTabOrder(fillnoRB, fillfixRB);
  QWidget::setTabOrder(fillfixRB, fillvarRB);
  QWidget::setTabOrder(fillvarRB, fillchE);
  QWidget::setTabOrder(fillchE, sizeE);
  QWidget::setTabOrder(sizeE, sepE);
  QWidget::setTabOrder(sepE, fixifnovarCB);
  QWidget::setTabOrder(fixifnovarCB, saveB);
  QWidget::setTabOrder(saveB, cancelB);
  QWidget::setTabOrder(cancelB, filltxtfnE);
  QWidget::setTabOrder(filltxtfnE, filltxtB);
  QWidget::setTabOrder(filltxtB, fillsrcCB);
  QWidget::setTabOrder(fillsrcCB, filltxtCB);
  QWidget::setTabOrder(filltxtCB, fillsingleRB);

  // Selecting a mode, by the user or by the loading, runs its handler.
  const auto onSelected = [this](QRadioButton* mode, void (TfillF::*handler)()) {
    ui::ConnectCommand(mode, &QRadioButton::toggled, this, [this, handler](bool on) {
      if (on) (this->*handler)();
    });
  };
  onSelected(fillnoRB, &TfillF::fillnoRBClick);
  onSelected(fillfixRB, &TfillF::fillfixRBClick);
  onSelected(fillvarRB, &TfillF::fillvarRBClick);
  onSelected(fillsingleRB, &TfillF::fillsingleRBClick);
  ui::ConnectCommand(fixifnovarCB, &QCheckBox::toggled, this, &TfillF::fixifnovarCBClick);
  ui::ConnectCommand(fillchE, &QLineEdit::textChanged, this, &TfillF::fillchEChange);
  ui::ConnectCommand(sepE, &QLineEdit::textChanged, this, &TfillF::sepEChange);
  ui::ConnectCommand(sizeE, &QLineEdit::textChanged, this, &TfillF::sizeEChange);
  ui::ConnectCommand(filltxtB, &QPushButton::clicked, this, &TfillF::filltxtBClick);
  ui::ConnectCommand(saveB, &QPushButton::clicked, this, &TfillF::saveBClick);
  ui::ConnectCommand(cancelB, &QPushButton::clicked, this, &TfillF::cancelBClick);
  fillchE->installEventFilter(this);
  sepE->installEventFilter(this);
  filltxtfnE->installEventFilter(this);
}

void TfillF::EnableBoxes(bool var, bool fix, bool fillwith, bool single) {
  ui::EnableGroup(varGB, var);
  ui::EnableGroup(fixGB, fix);
  ui::EnableGroup(fillwithGB, fillwith);
  ui::EnableGroup(singleGB, single);
}

void TfillF::fillnoRBClick() { EnableBoxes(false, false, false, false); }
void TfillF::fillfixRBClick() { EnableBoxes(false, true, true, false); }
void TfillF::fillvarRBClick() { EnableBoxes(true, fixifnovarCB->isChecked(), true, false); }
void TfillF::fillsingleRBClick() { EnableBoxes(false, false, false, true); }

void TfillF::fixifnovarCBClick() { ui::EnableGroup(fixGB, fixifnovarCB->isChecked()); }

void TfillF::fillchEChange() { fillchexplainL->setText(SpaceExplanation(fillchE->text())); }

void TfillF::fillchEClick() {
  if (fillchE->text() == " ") fillchexplainL->setText(kSpace);
}

void TfillF::sepEChange() { sepchexplainL->setText(SpaceExplanation(sepE->text())); }

void TfillF::sepEClick() {
  if (sepE->text() == " ") sepchexplainL->setText(kSpace);
}

void TfillF::sizeEChange() {
  const QString text = sizeE->text();
  if (!text.isEmpty() && !ReadWholeNumber(ui::ToBytes(text))) {
    ui::ShowWarning("Must be a valid number...\r\nPlease correct.");
  }
}

void TfillF::filltxtBClick() {
  if (!OpenDialog1) return;
  OpenDialog1->Title = "Select the file from whichthe text will be copied";
  if (const std::optional<QString> file = OpenDialog1->Execute()) filltxtfnE->setText(*file);
}

void TfillF::filltxtfnEDblClick() {
  if (!filltxtfnE->text().isEmpty()) ui::OpenWithShell(filltxtfnE->text());
}

void TfillF::saveBClick() { accept(); }

void TfillF::cancelBClick() { reject(); }

bool TfillF::FormKeyPress(QKeyEvent* key) { return ui::CloseOnEscape(this, key); }

void TfillF::keyPressEvent(QKeyEvent* event) {
  if (!FormKeyPress(event)) QDialog::keyPressEvent(event);
}

bool TfillF::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease) {
    if (watched == fillchE) fillchEClick();
    if (watched == sepE) sepEClick();
  }
  if (event->type() == QEvent::MouseButtonDblClick && watched == filltxtfnE) {
    filltxtfnEDblClick();
  }
  return QDialog::eventFilter(watched, event);
}

void FillfilesMIClick(TfillF& fillF, RunSettings& settings, ui::OpenDialog& openDialog1) {
  const std::string& kind = settings.FillKind;
  if (kind == "none") {
    fillF.fillnoRB->setChecked(true);
  } else if (kind == "single") {
    fillF.fillsingleRB->setChecked(true);
  } else if (kind == "fix") {
    fillF.fillfixRB->setChecked(true);
  } else if (kind == "var" || kind == "fixifnovar") {
    const bool fixifnovar = kind == "fixifnovar";
    fillF.fillvarRB->setChecked(true);
    fillF.fixifnovarCB->setChecked(fixifnovar);
    ui::EnableGroup(fillF.fixGB, fixifnovar);
  }
  fillF.fillsrcCB->setChecked(settings.FillSource);
  fillF.filltxtCB->setChecked(settings.FillText);
  fillF.filltxtfnE->setText(ui::FromBytes(settings.FillTextFile));
  fillF.fillchE->setText(CharOfCode(settings.FillCharCode));
  fillF.sepE->setText(CharOfCode(settings.SizeSeparatorCode));
  fillF.sizeE->setText(QString::number(settings.FillSize));

  fillF.SetOpenDialog(&openDialog1);
  if (fillF.exec() != QDialog::Accepted) return;

  const bool single = fillF.fillsingleRB->isChecked();
  const bool fix = fillF.fillfixRB->isChecked();
  const bool var = fillF.fillvarRB->isChecked();
  const bool text = fillF.filltxtCB->isChecked();
  const QString fileName = fillF.filltxtfnE->text();
  if (single && !fillF.fillsrcCB->isChecked() && !text) {
    ui::ShowError(
        "You chose to enter single text but forgot to check one or both of the options. "
        "Changes will have no effect!");
    return;
  }
  if (single && text && fileName.isEmpty()) {
    ui::ShowWarning(
        "You did not enter a file name yet containing the text to write into each destination "
        "file. Do not forget to do this later on.");
  } else if (single && text && !IsExistingFile(ui::ToBytes(fileName))) {
    ui::ShowWarning("You did not enter an existing file name: " + fileName +
                    "\r\nDo not forget to create it or correct this later on.");
  }
  if ((fix || var) && fillF.fillchE->text().isEmpty()) {
    ui::ShowError("You forgot to enter the fill character. Changes will have no effect!");
    return;
  }
  if (var && fillF.sepE->text().isEmpty()) {
    ui::ShowError(
        "You forgot to enter a separator (which separates file name and size). Changes will "
        "have no effect!");
    return;
  }
  if (fix && fillF.sizeE->text().isEmpty()) {
    ui::ShowError("You forgot to enter a file size. Changes will have no effect!");
    return;
  }

  if (fillF.fillnoRB->isChecked()) settings.FillKind = "none";
  if (single) settings.FillKind = "single";
  settings.FillSource = fillF.fillsrcCB->isChecked();
  settings.FillText = text;
  settings.FillTextFile = ui::ToBytes(fileName);
  if (fix) settings.FillKind = "fix";
  if (var) settings.FillKind = fillF.fixifnovarCB->isChecked() ? "fixifnovar" : "var";
  // An empty character field, possible only in the modes that do not use it, keeps its code.
  StoreCharCode(fillF.fillchE->text(), settings.FillCharCode);
  StoreCharCode(fillF.sepE->text(), settings.SizeSeparatorCode);
  const QString sizeText = fillF.sizeE->text();
  const std::optional<std::int32_t> size = ReadWholeNumber(ui::ToBytes(sizeText));
  if (!size) {
    ui::ShowApplicationError(QString("'%1' is not a valid integer value").arg(sizeText));
    return;
  }
  settings.FillSize = *size;
}

}  // namespace quillon
