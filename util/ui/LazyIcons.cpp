#include "util/ui/LazyIcons.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>
#include <memory>
#include <optional>

namespace quillon::ui {

namespace {

class DeferredIconEngine : public QIconEngine {
 public:
  explicit DeferredIconEngine(std::function<QIcon()> make)
      : made_(std::make_shared<Made>(Made{std::move(make), {}})) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    Icon().paint(painter, rect, Qt::AlignCenter, mode, state);
  }
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return Icon().pixmap(size, mode, state);
  }
  QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                       qreal scale) override {
    return Icon().pixmap(size / scale, scale, mode, state);
  }
  // The icon fills what it is given until it is drawn.
  QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return made_->icon ? made_->icon->actualSize(size, mode, state) : size;
  }
  QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
    return Icon().availableSizes(mode, state);
  }
  bool isNull() override { return made_->icon && made_->icon->isNull(); }
  QIconEngine* clone() const override { return new DeferredIconEngine(*this); }

 private:
  struct Made {
    std::function<QIcon()> make;
    std::optional<QIcon> icon;
  };

  const QIcon& Icon() {
    if (!made_->icon) made_->icon = made_->make();
    return *made_->icon;
  }

  std::shared_ptr<Made> made_;
};

class FileIconEngine : public QIconEngine {
 public:
  explicit FileIconEngine(std::vector<std::pair<QSize, QString>> files)
      : pictures_(std::make_shared<std::vector<Picture>>()) {
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) {
      return a.first.width() * a.first.height() < b.first.width() * b.first.height();
    });
    for (auto& [size, path] : files) pictures_->push_back({size, std::move(path), {}});
  }

  // As a set of pictures: the smallest at least as large as asked, scaled down to fit; the
  // largest, not scaled up, when none is large enough.
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
    Picture* picture = Nearest(size);
    if (!picture) return QPixmap();
    if (!picture->decoded) picture->decoded = QPixmap(picture->path);
    QPixmap pixmap = *picture->decoded;
    if (pixmap.isNull()) return pixmap;
    if (pixmap.width() > size.width() || pixmap.height() > size.height())
      pixmap = pixmap.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (mode == QIcon::Disabled || mode == QIcon::Selected) {
      // Drawn as the style draws a disabled or selected picture.
      if (auto* application = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        QStyleOption option(0);
        option.palette = QGuiApplication::palette();
        pixmap = application->style()->generatedIconPixmap(mode, pixmap, &option);
      }
    }
    return pixmap;
  }
  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
    QPixmap picture = pixmap(rect.size() * ratio, mode, state);
    picture.setDevicePixelRatio(ratio);
    const QSize shown = picture.size() / ratio;
    painter->drawPixmap(QRect(rect.topLeft() + QPoint((rect.width() - shown.width()) / 2,
                                                      (rect.height() - shown.height()) / 2),
                              shown),
                        picture);
  }
  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
    const Picture* picture = Nearest(size);
    if (!picture) return QSize();
    const QSize own = picture->size;
    return own.width() > size.width() || own.height() > size.height()
               ? own.scaled(size, Qt::KeepAspectRatio)
               : own;
  }
  QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
    QList<QSize> sizes;
    for (const Picture& picture : *pictures_) sizes.append(picture.size);
    return sizes;
  }
  bool isNull() override { return pictures_->empty(); }
  QString key() const override { return QStringLiteral("QuillonFileIconEngine"); }
  QIconEngine* clone() const override { return new FileIconEngine(*this); }

 private:
  struct Picture {
    QSize size;
    QString path;
    std::optional<QPixmap> decoded;
  };

  Picture* Nearest(const QSize& size) {
    if (pictures_->empty()) return nullptr;
    for (Picture& picture : *pictures_) {
      if (picture.size.width() >= size.width() && picture.size.height() >= size.height())
        return &picture;
    }
    return &pictures_->back();
  }

  // Copies share what was decoded.
  std::shared_ptr<std::vector<Picture>> pictures_;
};

}  // namespace

QIcon DeferredIcon(std::function<QIcon()> make) {
  return QIcon(new DeferredIconEngine(std::move(make)));
}

QIcon IconFromFiles(std::vector<std::pair<QSize, QString>> files) {
  return QIcon(new FileIconEngine(std::move(files)));
}

}  // namespace quillon::ui
