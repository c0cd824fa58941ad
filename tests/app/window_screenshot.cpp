// Makes the main window on the offscreen platform, runs a small conversion in it and saves a
// picture of the window:
//   window-screenshot OUTPUT.png [dark] [report PIXELS] [preview PREVIEW.png]
// "dark" shows it on a dark palette; "report" gives the Report panel that height, as the
// user's drag does; "preview" first saves a picture of the run's preview.
#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSplitter>
#include <QStringList>
#include <cstdio>
#include <filesystem>

#include "app/PreviewF.h"
#include "app/quillonU.h"
#include "support/RecordingSeam.h"
#include "support/TempDir.h"
#include "support/WindowTestSupport.h"

using namespace quillon;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(
        stderr,
        "usage: window-screenshot OUTPUT.png [dark] [report PIXELS] [preview PREVIEW.png]\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const QStringList options = QApplication::arguments().mid(2);
  if (options.contains("dark")) {
    QApplication::setPalette(quillon::testing::DarkPalette());
  }
  const int report_at = options.indexOf("report");
  const int report_height = report_at >= 0 ? options.value(report_at + 1).toInt() : 0;
  const int preview_at = options.indexOf("preview");
  const QString preview_picture = preview_at >= 0 ? options.value(preview_at + 1) : QString();
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
  if (!preview_picture.isEmpty()) {
    window.PreviewB->click();
    auto* preview = window.findChild<TPreviewF*>(QStringLiteral("PreviewF"));
    QApplication::processEvents();
    if (!preview || !preview->grab().save(preview_picture)) {
      std::fprintf(stderr, "could not write %s\n", qPrintable(preview_picture));
      return 1;
    }
    std::printf("saved %s\n", qPrintable(preview_picture));
    preview->close();
  }
  window.RunB->click();
  QApplication::processEvents();
  if (report_height > 0) {
    const int total = window.SelectReportS->height();
    window.SelectReportS->setSizes({total - report_height, report_height});
    QApplication::processEvents();
  }

  const QPixmap picture = window.grab();
  if (!picture.save(QString::fromLocal8Bit(argv[1]))) {
    std::fprintf(stderr, "could not write %s\n", argv[1]);
    return 1;
  }
  std::printf("saved %s (%dx%d)\n", argv[1], picture.width(), picture.height());
  window.close();
  return 0;
}
