// Saves a picture of each dialog as its command shows it: dialog-screenshots [folder].
#include <QApplication>
#include <QDir>
#include <QTimer>
#include <cstdio>

#include "app/LocXXX.h"
#include "settings/fillU.h"
#include "settings/outputextensionU.h"
#include "settings/repU.h"
#include "support/RecordingSeam.h"
#include "util/ui/OpenDialog.h"

using namespace quillon;

namespace {

QString folder;
int failures = 0;

// Grabs the dialog once its command has shown and loaded it, then cancels it.
void GrabWhenShown(QDialog& dialog, const QString& name) {
  QTimer::singleShot(50, &dialog, [&dialog, name] {
    const QString file = QDir(folder).filePath(name + ".png");
    if (!dialog.grab().save(file)) ++failures;
    std::printf("%s %dx%d\n", qPrintable(file), dialog.width(), dialog.height());
    dialog.reject();
  });
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
  QDir().mkpath(folder);
  quillon::testing::RecordingSeam seam;
  quillon::ui::OpenDialog open;
  quillon::RunSettings settings;
  settings.SelectionFolder = QDir::homePath().toStdString();
  settings.FillKind = "fixifnovar";
  settings.FillSize = 1024;
  settings.FillCharCode = ' ';
  settings.FillTextFile = "/home/ann/fill text.txt";

  quillon::TLocxxxF locxxxF;
  quillon::TrepF repF;
  quillon::TfillF fillF;
  quillon::ToutputextF outputextF;

  GrabWhenShown(fillF, "fillF");
  quillon::FillfilesMIClick(fillF, settings, open);
  settings.FillKind = "single";
  settings.FillSource = true;
  GrabWhenShown(fillF, "fillF-single");
  quillon::FillfilesMIClick(fillF, settings, open);
  GrabWhenShown(outputextF, "outputextF");
  quillon::outputextension1Click(outputextF, settings);
  GrabWhenShown(repF, "repF");
  quillon::Replaceillegalcharacters1Click(repF, settings);
  GrabWhenShown(locxxxF, "LocxxxF");
  quillon::selfolderMIClick(locxxxF, settings, open);
  return failures == 0 ? 0 : 1;
}
