#include "history/MYcustomhistory.h"

#include <QAction>
#include <QMetaMethod>

#include "util/ui/Commands.h"
#include "util/ui/Seam.h"

using quillon::HistoryList;
using quillon::ui::ConnectCommand;
using quillon::ui::FromBytes;
using quillon::ui::ToBytes;

namespace quillon {

namespace {

QString LimitPrompt(const char* start, std::int32_t limit) {
  return QString::fromLatin1(start) + QString::number(limit) + QStringLiteral(")");
}

}  // namespace

TMYcustomhistory::TMYcustomhistory(QObject* owner) : QObject(owner), list_(messages_) {
  list_.SetEntries(this);
}

TMYcustomhistory::~TMYcustomhistory() {
  list_.SetEntries(nullptr);
  // The ">>>" submenu belongs to the bound menu's widget tree, but this component made it.
  delete toolsitem_.data();
}

QString TMYcustomhistory::histname() const { return FromBytes(list_.histname); }
void TMYcustomhistory::setHistname(const QString& name) { list_.histname = ToBytes(name); }
QString TMYcustomhistory::maxhistname() const { return FromBytes(list_.maxhistname); }
void TMYcustomhistory::setMaxhistname(const QString& name) { list_.maxhistname = ToBytes(name); }
QString TMYcustomhistory::maxitemlenname() const { return FromBytes(list_.maxitemlenname); }
void TMYcustomhistory::setMaxitemlenname(const QString& name) {
  list_.maxitemlenname = ToBytes(name);
}

void TMYcustomhistory::setEnabled(bool on) {
  enabled_ = on;
  for (QAction* entry : entries_) entry->setEnabled(on);
}

QStringList TMYcustomhistory::items() const {
  QStringList texts;
  for (const std::string& item : list_.items()) texts << FromBytes(item);
  return texts;
}

QAction* TMYcustomhistory::NewCommand(QMenu* menu, const char* caption, const char* name) {
  QAction* command = menu->addAction(QString::fromLatin1(caption));
  command->setObjectName(QString::fromLatin1(name));
  return command;
}

void TMYcustomhistory::LoadHistory() {
  if (menuitem_ && !toolsitem_) {
    toolsitem_ = new QMenu(QStringLiteral(">>>"), menuitem_);
    toolsitem_->setObjectName(QStringLiteral("toolsitem"));
    toolsitem_->menuAction()->setObjectName(QStringLiteral("toolsitem"));
    // A screen reader would read the caption as three signs.
    toolsitem_->setAccessibleName(QStringLiteral("History menu"));
    NewCommand(toolsitem_, "HISTORY MENU:", "historycaptionitem");
    toolsitem_->addSeparator();
    setmaxhistitem_ = NewCommand(toolsitem_, "Set &max. history items", "setmaxhistitem");
    toolsitem_->addSeparator();
    setmaxitemlenitem_ = NewCommand(toolsitem_, "Set ma&x. length per item", "setmaxitemlenitem");
    toolsitem_->addSeparator();
    removeallitem_ = NewCommand(toolsitem_, "Remove ALL history", "removeallitem");
    removesepitem_ = toolsitem_->addSeparator();
    removesepitem_->setObjectName(QStringLiteral("removesepitem"));
    ConnectCommand(setmaxhistitem_, &QAction::triggered, this, &TMYcustomhistory::SetMaxHistClick);
    ConnectCommand(setmaxitemlenitem_, &QAction::triggered, this,
                   &TMYcustomhistory::SetMaxItemLenClick);
    ConnectCommand(removeallitem_, &QAction::triggered, this, &TMYcustomhistory::RemoveAllClick);
    menuitem_->addMenu(toolsitem_);
  }
  list_.LoadHistory(ToBytes(folder_));
}

void TMYcustomhistory::AddItem(const QString& text) { list_.AddItem(ToBytes(text)); }

void TMYcustomhistory::RebuildMenu() { list_.RebuildMenu(); }

void TMYcustomhistory::ClearEntries() {
  for (QAction* entry : entries_) {
    if (menuitem_) menuitem_->removeAction(entry);
    // Later, never now: the entry whose click caused this rebuild is still being handled.
    entry->deleteLater();
  }
  for (QAction* entry : remove_entries_) {
    if (toolsitem_) toolsitem_->removeAction(entry);
    entry->deleteLater();
  }
  entries_.clear();
  remove_entries_.clear();
}

void TMYcustomhistory::AddEntry(std::size_t index, const std::string& caption,
                                const std::string& remove_caption) {
  if (!menuitem_ || !toolsitem_) return;
  const QVariant tag = QVariant::fromValue(static_cast<qulonglong>(index));

  QAction* entry = new QAction(FromBytes(caption), this);
  entry->setObjectName(QStringLiteral("historyitem%1").arg(index));
  entry->setData(tag);
  entry->setEnabled(enabled_);
  ConnectCommand(entry, &QAction::triggered, this, [this, entry] { EntryClick(entry); });
  menuitem_->addAction(entry);
  entries_ << entry;

  QAction* remove = new QAction(FromBytes(remove_caption), this);
  remove->setObjectName(QStringLiteral("removeitem%1").arg(index));
  remove->setData(tag);
  ConnectCommand(remove, &QAction::triggered, this, [this, remove] { RemoveEntryClick(remove); });
  toolsitem_->addAction(remove);
  remove_entries_ << remove;
}

void TMYcustomhistory::EntryClick(QAction* entry) {
  // An entry a rebuild replaced no longer stands for the item at its tag.
  if (!entries_.contains(entry)) return;
  const std::size_t tag = entry->data().toULongLong();
  const std::optional<std::string> text = list_.Pick(tag);
  if (!text) return;
  const QString str = FromBytes(*text);
  if (isSignalConnected(QMetaMethod::fromSignal(&TMYcustomhistory::Onitemclicked))) {
    emit Onitemclicked(this, str);
  } else {
    ui::ShowNotice(QStringLiteral("onitemclicked not assigned yet"));
  }
}

void TMYcustomhistory::RemoveEntryClick(QAction* entry) {
  if (!remove_entries_.contains(entry)) return;
  const std::size_t tag = entry->data().toULongLong();
  list_.RemoveEntry(tag);
}

void TMYcustomhistory::RemoveAllClick() { list_.RemoveAll(); }

void TMYcustomhistory::SetMaxHistClick() {
  const std::optional<QString> answer = ui::CurrentSeam().InputBox(
      QStringLiteral("Set maximum history items"),
      LimitPrompt("Give maximum history items (max. ", HistoryList::kMaxHistLimit),
      QString::number(list_.maxhist()));
  if (!answer) return;
  list_.SetMaxHistFromText(ToBytes(*answer));
}

void TMYcustomhistory::SetMaxItemLenClick() {
  const std::optional<QString> answer = ui::CurrentSeam().InputBox(
      QStringLiteral("Set maximum length of one history item"),
      LimitPrompt("Give maximum length of one history item (max. ", HistoryList::kMaxItemLenLimit),
      QString::number(list_.maxitemlen()));
  if (!answer) return;
  list_.SetMaxItemLenFromText(ToBytes(*answer));
}

}  // namespace quillon
