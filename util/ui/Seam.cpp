#include "util/ui/Seam.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QUrl>

#include "util/IoError.h"
#include "util/MessageHost.h"

namespace quillon::ui {
namespace {

QMessageBox::Icon IconOf(BoxKind kind) {
  switch (kind) {
    case BoxKind::Notice: return QMessageBox::NoIcon;
    case BoxKind::Error:
    case BoxKind::ApplicationError: return QMessageBox::Critical;
    case BoxKind::Warning: return QMessageBox::Warning;
    case BoxKind::Information: return QMessageBox::Information;
  }
  return QMessageBox::NoIcon;
}

class QtSeam : public Seam {
 public:
  void ShowBox(BoxKind kind, const QString& text) override {
    QMessageBox box(IconOf(kind), BoxTitle(kind), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
  }
  bool AskYesNo(const QString& question, DefaultAnswer default_answer) override {
    QMessageBox box(QMessageBox::Warning, BoxTitle(BoxKind::Warning), question,
                    QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
    box.setDefaultButton(default_answer == DefaultAnswer::Yes ? QMessageBox::Yes : QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
  }
  std::optional<QString> InputBox(const QString& caption, const QString& prompt,
                                  const QString& value) override {
    bool ok = false;
    const QString text = QInputDialog::getText(QApplication::activeWindow(), caption, prompt,
                                               QLineEdit::Normal, value, &ok);
    if (!ok) return std::nullopt;
    return text;
  }
  std::optional<QString> OpenFile(const OpenFileRequest& request) override {
    const QString path =
        QFileDialog::getOpenFileName(QApplication::activeWindow(), request.title,
                                     request.initial_folder, QtFileFilter(request.filter));
    if (path.isEmpty()) return std::nullopt;
    return path;
  }
  std::optional<QString> SaveFile(const OpenFileRequest& request) override {
    const QString path =
        QFileDialog::getSaveFileName(QApplication::activeWindow(), request.title,
                                     request.initial_folder, QtFileFilter(request.filter));
    if (path.isEmpty()) return std::nullopt;
    return path;
  }
  void OpenWithShell(const QString& target) override {
    const QUrl url = target.contains("://") ? QUrl(target) : QUrl::fromLocalFile(target);
    QDesktopServices::openUrl(url);
  }
};

QtSeam& RealSeam() {
  static QtSeam seam;
  return seam;
}

Seam* installed = nullptr;

}  // namespace

// "Txt-files (*.txt)|*.txt|All files (*.*)|*.*" as Qt's "Txt-files (*.txt);;All files (*.*)".
QString QtFileFilter(const QString& filter) {
  const QStringList parts = filter.split('|');
  QStringList entries;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    const QString& description = parts[i];
    QString patterns = QString(parts[i + 1]).replace(';', ' ');
    // "*.*" means every file, also one without a dot, as users of the filter expect; Qt's
    // pattern for that is "*".
    QString described = description;
    described.replace(QLatin1String("(*.*)"), QLatin1String("(*)"));
    patterns.replace(QLatin1String("*.*"), QLatin1String("*"));
    entries << (described.contains('(') ? described : described + " (" + patterns + ")");
  }
  return entries.join(";;");
}

Seam& CurrentSeam() { return installed ? *installed : RealSeam(); }

void InstallSeam(Seam* seam) { installed = seam; }

QString BoxTitle(BoxKind kind) {
  switch (kind) {
    case BoxKind::Notice:
    case BoxKind::ApplicationError: return QString::fromLatin1(kProgramTitle);
    case BoxKind::Error: return QStringLiteral("Error");
    case BoxKind::Warning: return QStringLiteral("Warning");
    case BoxKind::Information: return QStringLiteral("Information");
  }
  return {};
}

void ShowNotice(const QString& text) { CurrentSeam().ShowBox(BoxKind::Notice, text); }
void ShowError(const QString& text) { CurrentSeam().ShowBox(BoxKind::Error, text); }
void ShowWarning(const QString& text) { CurrentSeam().ShowBox(BoxKind::Warning, text); }
void ShowInformation(const QString& text) { CurrentSeam().ShowBox(BoxKind::Information, text); }
bool AskYesNo(const QString& question, DefaultAnswer default_answer) {
  return CurrentSeam().AskYesNo(question, default_answer);
}

void ShowApplicationError(const QString& text) {
  CurrentSeam().ShowBox(BoxKind::ApplicationError, FromBytes(WithFinalDot(ToBytes(text))));
}

void OpenWithShell(const QString& target) {
  // The shell has no current folder of ours: a relative path is resolved against it here.
  const bool relative = !target.contains(QLatin1String("://")) && QDir::isRelativePath(target);
  CurrentSeam().OpenWithShell(
      relative && !target.isEmpty() ? QDir::current().absoluteFilePath(target) : target);
}

QString FromBytes(const std::string& bytes) {
  return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string ToBytes(const QString& text) {
  const QByteArray bytes = text.toLocal8Bit();
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace quillon::ui
