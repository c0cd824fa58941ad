// Icons made when first drawn: a picture file is decoded only for a size asked for, and sizes
// are matched as a set of pictures is.
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QStyleOption>
#include <QTest>
#include <filesystem>

#include "support/TempDir.h"
#include "util/ui/LazyIcons.h"

using quillon::testing::TempDir;
using quillon::ui::DeferredIcon;
using quillon::ui::IconFromFiles;

namespace {

QString SavedPicture(const TempDir& dir, int size, Qt::GlobalColor colour) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(colour);
  const QString path = QString::fromStdString(dir / ("icon-" + std::to_string(size) + ".png"));
  image.save(path);
  return path;
}

QColor Centre(const QPixmap& pixmap) {
  return pixmap.toImage().pixelColor(pixmap.width() / 2, pixmap.height() / 2);
}

QImage Picture(const QIcon& icon, int size, QIcon::Mode mode = QIcon::Normal) {
  return icon.pixmap(QSize(size, size), mode).toImage().convertToFormat(QImage::Format_ARGB32);
}

}  // namespace

class LazyIconsTest : public QObject {
  Q_OBJECT

 private slots:
  void aFileIsDecodedOnlyWhenItsSizeIsAskedFor() {
    TempDir dir;
    const QString small = SavedPicture(dir, 16, Qt::red);
    const QString large = SavedPicture(dir, 32, Qt::blue);
    const QIcon icon = IconFromFiles({{QSize(32, 32), large}, {QSize(16, 16), small}});
    QCOMPARE(icon.availableSizes(), (QList<QSize>{{16, 16}, {32, 32}}));
    QVERIFY(!icon.isNull());
    std::filesystem::remove(large.toStdString());
    // The small picture is read now; the large one was never read, so it is gone for good.
    QCOMPARE(Centre(icon.pixmap(16, 16)), QColor(Qt::red));
    QVERIFY(icon.pixmap(32, 32).isNull());
    // A picture once read stays, whatever happens to its file.
    std::filesystem::remove(small.toStdString());
    QCOMPARE(Centre(icon.pixmap(16, 16)), QColor(Qt::red));
    QCOMPARE(Centre(QIcon(icon).pixmap(16, 16)), QColor(Qt::red));
  }

  void theSmallestPictureLargeEnoughIsScaledDownNeverUp() {
    TempDir dir;
    const QIcon icon = IconFromFiles({{QSize(16, 16), SavedPicture(dir, 16, Qt::red)},
                                      {QSize(32, 32), SavedPicture(dir, 32, Qt::blue)}});
    QCOMPARE(icon.pixmap(24, 24).size(), QSize(24, 24));
    QCOMPARE(Centre(icon.pixmap(24, 24)), QColor(Qt::blue));
    QCOMPARE(Centre(icon.pixmap(8, 8)), QColor(Qt::red));
    QCOMPARE(icon.pixmap(64, 64).size(), QSize(32, 32));
    QCOMPARE(icon.actualSize(QSize(24, 24)), QSize(24, 24));
    QCOMPARE(icon.actualSize(QSize(64, 64)), QSize(32, 32));
    QCOMPARE(icon.actualSize(QSize(12, 12)), QSize(12, 12));
    QVERIFY(IconFromFiles({}).isNull());
    // Drawn into a larger square, the picture keeps its size and stands in the middle.
    QImage canvas(48, 48, QImage::Format_ARGB32);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    icon.paint(&painter, QRect(0, 0, 48, 48));
    painter.end();
    QCOMPARE(canvas.pixelColor(24, 24), QColor(Qt::blue));
    QCOMPARE(canvas.pixelColor(4, 4), QColor(Qt::white));
  }

  void aDisabledPictureIsTheStylesDisabledPicture() {
    TempDir dir;
    const QIcon icon = IconFromFiles({{QSize(16, 16), SavedPicture(dir, 16, Qt::red)}});
    QStyleOption option(0);
    option.palette = QGuiApplication::palette();
    const QPixmap expected =
        QApplication::style()->generatedIconPixmap(QIcon::Disabled, icon.pixmap(16, 16), &option);
    QCOMPARE(Picture(icon, 16, QIcon::Disabled),
             expected.toImage().convertToFormat(QImage::Format_ARGB32));
    QVERIFY(Picture(icon, 16, QIcon::Disabled) != Picture(icon, 16));
  }

  void aDeferredIconIsMadeOnceWhenFirstDrawn() {
    int made = 0;
    const QIcon icon = DeferredIcon([&made] {
      ++made;
      QPixmap pixmap(16, 16);
      pixmap.fill(Qt::green);
      return QIcon(pixmap);
    });
    // Laying out a row asks for the size only.
    QCOMPARE(icon.actualSize(QSize(16, 16)), QSize(16, 16));
    QVERIFY(!icon.isNull());
    QCOMPARE(made, 0);
    QCOMPARE(Centre(icon.pixmap(16, 16)), QColor(Qt::green));
    const QIcon copy = icon;
    QCOMPARE(Centre(copy.pixmap(16, 16)), QColor(Qt::green));
    QCOMPARE(made, 1);
  }
};

QTEST_MAIN(LazyIconsTest)
#include "LazyIconsTest.moc"
