#include "app/ReportMemo.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QToolTip>
#include <algorithm>

#include "util/ui/Controls.h"

namespace quillon {

namespace {

constexpr int kMargin = 3;

// An embedding, override or isolate in a name would reorder the rest of its line (the text
// after a name, a reason): it is shown as the batch command shows it on a terminal, \u202E.
bool IsBidiControl(QChar c) {
  const char16_t code = c.unicode();
  return (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
}

QString WithBidiControlsShown(QStringView text) {
  QString shown;
  shown.reserve(text.size() + 16);
  for (const QChar c : text) {
    if (IsBidiControl(c)) {
      shown += QStringLiteral("\\u") + QString::number(c.unicode(), 16).toUpper();
    } else {
      shown += c;
    }
  }
  return shown;
}

}  // namespace

TReportMemo::TReportMemo(QWidget* parent) : QAbstractScrollArea(parent) {
  InstallReportMemoAccess();
  // A screen reader reads each batch of lines, the run's summary among them, as it comes.
  connect(this, &TReportMemo::TextInserted, this, [this](int at, const QString& text) {
    if (!QAccessible::isActive()) return;
    QAccessibleTextInsertEvent inserted(this, at, text);
    QAccessible::updateAccessibility(&inserted);
  });
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  ui::RepaintOnFocus(this, viewport());
}

int TReportMemo::LineHeight() const { return std::max(1, fontMetrics().lineSpacing()); }

int TReportMemo::VisibleLines() const {
  return std::max(1, (viewport()->height() - kMargin) / LineHeight());
}

QString TReportMemo::Line(int line) const {
  const qsizetype start = starts_[line];
  return QString::fromUtf8(text_.constData() + start, LineEnd(line) - start);
}

qsizetype TReportMemo::LineEnd(int line) const {
  return (line + 1 < starts_.size() ? starts_[line + 1] : text_.size()) - 1;
}

void TReportMemo::appendPlainText(const QString& text) { AppendText(text); }

void TReportMemo::AppendBytes(std::string_view lines) {
  // Decoded as FromBytes reads the program's text, into memory the next batch reuses.
  QStringDecoder local(QStringDecoder::System);
  scratch_.resize(local.requiredSpace(static_cast<qsizetype>(lines.size())));
  const QChar* end =
      local.appendToBuffer(scratch_.data(), QByteArrayView(lines.data(), lines.size()));
  scratch_.resize(end - scratch_.constData());
  AppendText(scratch_);
}

void TReportMemo::AppendText(QStringView text) {
  if (std::any_of(text.begin(), text.end(), IsBidiControl)) {
    return AppendText(WithBidiControlsShown(text));
  }
  QScrollBar* bar = verticalScrollBar();
  const bool at_end = bar->value() >= bar->maximum();
  const qsizetype before = characters_;
  const bool followed = !text_.isEmpty();  // the lines so far end with a line break
  characters_ += (followed ? 1 : 0) + text.size();
  // Encoded straight into the store, with no copy of the text on the way.
  QStringEncoder utf8(QStringEncoder::Utf8);
  const qsizetype start = text_.size();
  text_.resize(start + utf8.requiredSpace(text.size()) + 1);
  char* end = utf8.appendToBuffer(text_.data() + start, text);
  *end++ = '\n';
  text_.resize(end - text_.constData());
  for (qsizetype at = start; at < text_.size(); at = text_.indexOf('\n', at) + 1) {
    starts_.append(at);
  }
  // Measuring every line would cost as much as a text document; a line no longer than the
  // longest so far is taken to fit.
  const QFontMetrics metrics = fontMetrics();
  for (const QStringView line : text.tokenize(u'\n')) {
    if (line.size() <= longest_) continue;
    longest_ = static_cast<int>(line.size());
    widest_ = std::max(widest_, metrics.horizontalAdvance(line.toString()));
  }
  UpdateScrollBars();
  if (at_end) bar->setValue(bar->maximum());
  viewport()->update();
  emit TextInserted(static_cast<int>(before), followed ? u'\n' + text.toString() : text.toString());
}

void TReportMemo::clear() {
  if (QAccessible::isActive() && characters_ > 0) {
    QAccessibleTextRemoveEvent removed(this, 0, toPlainText());
    QAccessible::updateAccessibility(&removed);
  }
  characters_ = 0;
  text_ = QByteArray();
  starts_ = QList<qsizetype>();
  widest_ = longest_ = 0;
  anchor_ = cursor_ = {};
  tips_.clear();
  UpdateScrollBars();
  viewport()->update();
}

QString TReportMemo::toPlainText() const {
  return text_.isEmpty() ? QString() : QString::fromUtf8(text_.constData(), text_.size() - 1);
}

qsizetype TReportMemo::OffsetOf(const Position& position) const {
  if (starts_.isEmpty()) return 0;
  return QString::fromUtf8(text_.constData(), starts_[position.line]).size() + position.column;
}

qsizetype TReportMemo::CursorOffset() const { return OffsetOf(cursor_); }

std::pair<qsizetype, qsizetype> TReportMemo::SelectionOffsets() const {
  return {OffsetOf(std::min(anchor_, cursor_)), OffsetOf(std::max(anchor_, cursor_))};
}

QString TReportMemo::selectedText() const {
  const Position from = std::min(anchor_, cursor_);
  const Position to = std::max(anchor_, cursor_);
  if (from == to || starts_.isEmpty()) return QString();
  // The lines concerned are decoded at once, then cut at both columns.
  const qsizetype start = starts_[from.line];
  QString text = QString::fromUtf8(text_.constData() + start, LineEnd(to.line) - start);
  const qsizetype last_line = from.line == to.line ? 0 : text.lastIndexOf(QLatin1Char('\n')) + 1;
  text.truncate(last_line + to.column);
  text.remove(0, from.column);
  return text;
}

void TReportMemo::selectAll() {
  if (starts_.isEmpty()) return;
  anchor_ = {};
  const int last = blockCount() - 1;
  cursor_ = {last, static_cast<int>(Line(last).size())};
  viewport()->update();
}

void TReportMemo::copy() const {
  const QString text = selectedText();
  if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

void TReportMemo::UpdateScrollBars() {
  const int lines = blockCount();
  verticalScrollBar()->setRange(0, std::max(0, lines - VisibleLines()));
  verticalScrollBar()->setPageStep(VisibleLines());
  verticalScrollBar()->setSingleStep(1);
  const int width = widest_ + 2 * kMargin + fontMetrics().averageCharWidth();
  horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
  horizontalScrollBar()->setPageStep(viewport()->width());
  horizontalScrollBar()->setSingleStep(fontMetrics().averageCharWidth() * 2);
}

void TReportMemo::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
}

void TReportMemo::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  const QFontMetrics metrics = fontMetrics();
  const int height = LineHeight();
  const int first = verticalScrollBar()->value();
  const int last = std::min(blockCount(), first + VisibleLines() + 1);
  const int left = kMargin - horizontalScrollBar()->value();
  const Position from = std::min(anchor_, cursor_);
  const Position to = std::max(anchor_, cursor_);
  const QPalette& colours = palette();
  for (int line = first; line < last; ++line) {
    const QString text = Line(line);
    const int top = kMargin + (line - first) * height;
    const int baseline = top + metrics.ascent();
    const bool selected = from < to && line >= from.line && line <= to.line;
    if (!selected) {
      painter.setPen(colours.color(QPalette::Text));
      painter.drawText(left, baseline, text);
      continue;
    }
    const int start = line == from.line ? from.column : 0;
    const int end = line == to.line ? to.column : static_cast<int>(text.size());
    const int x1 = left + metrics.horizontalAdvance(text.left(start));
    const int x2 = left + metrics.horizontalAdvance(text.left(end)) +
                   (line < to.line ? metrics.averageCharWidth() : 0);
    painter.fillRect(QRect(x1, top, x2 - x1, height), colours.color(QPalette::Highlight));
    painter.setPen(colours.color(QPalette::Text));
    painter.drawText(left, baseline, text.left(start));
    painter.drawText(left + metrics.horizontalAdvance(text.left(end)), baseline, text.mid(end));
    painter.setPen(colours.color(QPalette::HighlightedText));
    painter.drawText(x1, baseline, text.mid(start, end - start));
  }
  ui::DrawFocusMark(this, painter, viewport()->rect());
}

void TReportMemo::SetLineTip(int line, const QString& tip) {
  if (line >= 0 && line < blockCount()) tips_.insert(line, tip);
}

bool TReportMemo::viewportEvent(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QAbstractScrollArea::viewportEvent(event);
  const auto* help = static_cast<QHelpEvent*>(event);
  const QString tip = blockCount() == 0 ? QString() : tips_.value(PositionAt(help->pos()).line);
  if (tip.isEmpty()) {
    QToolTip::hideText();
    event->ignore();
  } else {
    QToolTip::showText(help->globalPos(), tip, viewport());
  }
  return true;
}

TReportMemo::Position TReportMemo::PositionAt(const QPoint& point) const {
  if (starts_.isEmpty()) return {};
  const int line = std::clamp(verticalScrollBar()->value() + (point.y() - kMargin) / LineHeight(),
                              0, blockCount() - 1);
  const QString text = Line(line);
  const int x = point.x() - kMargin + horizontalScrollBar()->value();
  const QFontMetrics metrics = fontMetrics();
  // The column whose left edge is nearest to x.
  int low = 0, high = static_cast<int>(text.size());
  while (low < high) {
    const int middle = (low + high + 1) / 2;
    if (metrics.horizontalAdvance(text.left(middle)) -
            metrics.horizontalAdvance(text.at(middle - 1)) / 2 <=
        x) {
      low = middle;
    } else {
      high = middle - 1;
    }
  }
  return {line, low};
}

void TReportMemo::EnsureVisible(int line) {
  QScrollBar* bar = verticalScrollBar();
  if (line < bar->value()) bar->setValue(line);
  if (line >= bar->value() + VisibleLines()) bar->setValue(line - VisibleLines() + 1);
}

void TReportMemo::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  cursor_ = PositionAt(event->position().toPoint());
  if (!(event->modifiers() & Qt::ShiftModifier)) anchor_ = cursor_;
  viewport()->update();
}

void TReportMemo::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) return;
  cursor_ = PositionAt(event->position().toPoint());
  EnsureVisible(cursor_.line);
  viewport()->update();
}

void TReportMemo::mouseDoubleClickEvent(QMouseEvent* event) {
  if (starts_.isEmpty()) return;
  const Position at = PositionAt(event->position().toPoint());
  anchor_ = {at.line, 0};
  cursor_ = {at.line, static_cast<int>(Line(at.line).size())};
  viewport()->update();
}

void TReportMemo::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    copy();
  } else if (event->matches(QKeySequence::SelectAll)) {
    selectAll();
  } else {
    QScrollBar* bar = verticalScrollBar();
    switch (event->key()) {
      case Qt::Key_Up: bar->triggerAction(QAbstractSlider::SliderSingleStepSub); break;
      case Qt::Key_Down: bar->triggerAction(QAbstractSlider::SliderSingleStepAdd); break;
      case Qt::Key_PageUp: bar->triggerAction(QAbstractSlider::SliderPageStepSub); break;
      case Qt::Key_PageDown: bar->triggerAction(QAbstractSlider::SliderPageStepAdd); break;
      case Qt::Key_Home: bar->setValue(bar->minimum()); break;
      case Qt::Key_End: bar->setValue(bar->maximum()); break;
      default: QAbstractScrollArea::keyPressEvent(event); return;
    }
  }
  event->accept();
}

void TReportMemo::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  QAction* copyAction = menu.addAction(tr("&Copy"), this, &TReportMemo::copy);
  copyAction->setEnabled(!selectedText().isEmpty());
  menu.addAction(tr("Select &All"), this, &TReportMemo::selectAll)->setEnabled(!starts_.isEmpty());
  menu.exec(event->globalPos());
}

}  // namespace quillon
