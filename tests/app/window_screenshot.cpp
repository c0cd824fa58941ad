// Makes the main window on the offscreen platform, runs a small conversion in it and saves a
// picture of the window: window-screenshot OUTPUT.png
#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <cstdio>
#include <filesystem>

#include "app/quillonU.h"
#include "support/RecordingSeam.h"
#include "support/TempDir.h"

using namespace quillon;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: window-screenshot OUTPUT.png\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  quillon::testing::TempDir dir;
  quillon::testing::RecordingSeam seam;  // no box waits for a person
  const std::string source =
      dir.Write("names.txt", "alpha\r\nbeta\r\ngamma\r\nalpha\r\n\r\nreport:2024\r\ndelta\r\n");
  std::filesystem::create_directory(dir / "out");
  dir.Write("out/beta.txt", "");

  TmainF window(dir / "quillon");
  window.showNormal();
  window.resize(900, 640);
  QApplication::processEvents();
  window.AddsourceE->setText(QString::fromStdString(source));
  window.adddestE->setText(QString::fromStdString(dir / "out"));
  window.RunB->click();
  QApplication::processEvents();

  const QPixmap picture = window.grab();
  if (!picture.save(QString::fromLocal8Bit(argv[1]))) {
    std::fprintf(stderr, "could not write %s\n", argv[1]);
    return 1;
  }
  std::printf("saved %s (%dx%d)\n", argv[1], picture.width(), picture.height());
  window.close();
  return 0;
}
