// The report pane as assistive technology reads it: a read-only text of many lines, with
// Qt's text interface over the memo's own store.
#include <QAccessibleWidget>
#include <mutex>

#include "app/ReportMemo.h"

namespace quillon {
namespace {

class ReportMemoAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
 public:
  explicit ReportMemoAccessible(TReportMemo* memo)
      : QAccessibleWidget(memo, QAccessible::EditableText) {}

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }
  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    state.readOnly = true;
    state.multiLine = true;
    state.selectableText = true;
    return state;
  }
  QString text(QAccessible::Text kind) const override {
    if (kind == QAccessible::Value) return Memo()->toPlainText();
    return QAccessibleWidget::text(kind);
  }

  QString text(int start, int end) const override {
    return Memo()->toPlainText().mid(start, end - start);
  }
  int characterCount() const override { return static_cast<int>(Memo()->characterCount()); }
  int cursorPosition() const override { return static_cast<int>(Memo()->CursorOffset()); }
  int selectionCount() const override {
    const auto [from, to] = Memo()->SelectionOffsets();
    return from < to ? 1 : 0;
  }
  void selection(int index, int* start, int* end) const override {
    const auto [from, to] = Memo()->SelectionOffsets();
    const bool any = index == 0 && from < to;
    *start = any ? static_cast<int>(from) : 0;
    *end = any ? static_cast<int>(to) : 0;
  }
  QString attributes(int offset, int* start, int* end) const override {
    *start = *end = offset;
    return QString();
  }
  // The report is read, never changed, from outside; the reader's own cursor does the rest.
  void addSelection(int, int) override {}
  void removeSelection(int) override {}
  void setSelection(int, int, int) override {}
  void setCursorPosition(int) override {}
  QRect characterRect(int) const override { return QRect(); }
  int offsetAtPoint(const QPoint&) const override { return -1; }
  void scrollToSubstring(int, int) override {}

 private:
  TReportMemo* Memo() const { return static_cast<TReportMemo*>(widget()); }
};

QAccessibleInterface* ReportMemoFactory(const QString& class_name, QObject* object) {
  if (class_name != QLatin1String("quillon::TReportMemo") || !object->isWidgetType()) {
    return nullptr;
  }
  return new ReportMemoAccessible(static_cast<TReportMemo*>(object));
}

}  // namespace

void InstallReportMemoAccess() {
  static std::once_flag installed;
  std::call_once(installed, [] { QAccessible::installFactory(ReportMemoFactory); });
}

}  // namespace quillon
