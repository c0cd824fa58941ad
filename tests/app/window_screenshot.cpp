// Makes the main window on the offscreen platform, runs a small conversion in it and saves a
// picture of the window, and when asked, first one of the run's preview:
//   window-screenshot OUTPUT.png [PREVIEW.png]
#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <cstdio>
#include <filesystem>

#include "app/PreviewF.h"
#include "app/quillonU.h"
#include "support/RecordingSeam.h"
#include "support/TempDir.h"

using namespace quillon;

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: window-screenshot OUTPUT.png [PREVIEW.png]\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  quillon::testing::TempDir dir;
  quillon::testing::RecordingSeam seam;  // no box waits for a person
  qputenv("XDG_STATE_HOME", QByteArray::fromStdString(dir / "state"));
  const std::string source =
      dir.Write("names.txt",
                "alpha\r\nbeta\r\ngamma|2048\r\nalpha\r\n\r\nreport:2024\r\nsub\\delta\r\n"
                "missing\\epsilon\r\nCON\r\nsizes|12x\r\n" +
                    std::string(130, 'z') + "\r\nomega|5\r\n");
  std::filesystem::create_directories(dir / "out/sub");
  dir.Write("out/beta.txt", "");

  TmainF window(dir / "quillon");
  window.showNormal();
  window.resize(900, 640);
  QApplication::processEvents();
  window.AddsourceE->setText(QString::fromStdString(source));
  window.adddestE->setText(QString::fromStdString(dir / "out"));
  window.RunSettings().FillKind = "var";
  if (argc == 3) {
    window.PreviewB->click();
    auto* preview = window.findChild<TPreviewF*>(QStringLiteral("PreviewF"));
    QApplication::processEvents();
    if (!preview || !preview->grab().save(QString::fromLocal8Bit(argv[2]))) {
      std::fprintf(stderr, "could not write %s\n", argv[2]);
      return 1;
    }
    std::printf("saved %s\n", argv[2]);
    preview->close();
  }
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
