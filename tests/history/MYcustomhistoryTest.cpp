#include <QAccessible>
#include <QAction>
#include <QFile>
#include <QMenu>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "history/MYcustomhistory.h"
#include "support/RecordingSeam.h"

using namespace quillon;
using quillon::testing::RecordingSeam;
using quillon::ui::BoxKind;

namespace {

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return "<missing>";
  return file.readAll();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(bytes);
}

QByteArray Lines(const QStringList& items) {
  QByteArray bytes;
  for (const QString& item : items) bytes += item.toUtf8() + "\r\n";
  return bytes;
}

// Separators as "-", the rest by caption.
QStringList Captions(const QMenu* menu) {
  QStringList captions;
  for (const QAction* action : menu->actions())
    captions << (action->isSeparator() ? QStringLiteral("-") : action->text());
  return captions;
}

QAction* Named(const QMenu* menu, const QString& name) {
  for (QAction* action : menu->actions())
    if (action->objectName() == name) return action;
  return nullptr;
}

// A menu as the window's layout makes it, with its design-time entries.
struct BoundMenu {
  BoundMenu() {
    menu.setObjectName("EnterMI");
    menu.addAction("&Browse...");
    menu.addSeparator();
  }
  QMenu menu;
};

}  // namespace

class HistoryMenuTest : public QObject {
  Q_OBJECT

 private:
  QString File(const QString& name) const { return dir->filePath(name); }
  std::unique_ptr<TMYcustomhistory> Make(BoundMenu& bound) {
    auto history = std::make_unique<TMYcustomhistory>();
    history->setMenuitem(&bound.menu);
    history->setFolder(dir->path());
    return history;
  }
  QAction* Entry(const BoundMenu& bound, int index) const {
    return Named(&bound.menu, QStringLiteral("historyitem%1").arg(index));
  }
  QAction* RemoveEntry(TMYcustomhistory& history, int index) const {
    return Named(history.toolsitem(), QStringLiteral("removeitem%1").arg(index));
  }
  static void ReleaseReplacedEntries() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  std::unique_ptr<QTemporaryDir> dir;
  std::unique_ptr<RecordingSeam> seam;

 private slots:
  void init() {
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    seam = std::make_unique<RecordingSeam>();
  }
  void cleanup() {
    ReleaseReplacedEntries();
    seam.reset();
    dir.reset();
  }

  void defaultsArePublishedProperties() {
    BoundMenu bound;
    TMYcustomhistory history;
    QCOMPARE(history.property("maxhist").toInt(), 10);
    QCOMPARE(history.property("maxitemlen").toInt(), 2000);
    QCOMPARE(history.property("histname").toString(), QString("files.his"));
    QCOMPARE(history.property("maxhistname").toString(), QString("max.his"));
    QCOMPARE(history.property("maxitemlenname").toString(), QString("maxlen.his"));
    QCOMPARE(history.property("Enabled").toBool(), true);
    QVERIFY(history.setProperty("Menuitem", QVariant::fromValue(&bound.menu)));
    QCOMPARE(history.Menuitem(), &bound.menu);
  }

  void loadBuildsBothSubmenusAfterTheDesignTimeEntries() {
    WriteFile(File("files.his"), Lines({"/a/one.txt", "/b/two.txt"}));
    BoundMenu bound;
    auto history = Make(bound);
    history->LoadHistory();

    QCOMPARE(Captions(&bound.menu),
             QStringList({"&Browse...", "-", ">>>", "/a/one.txt", "/b/two.txt"}));
    QMenu* tools = history->toolsitem();
    QVERIFY(tools);
    QCOMPARE(tools->objectName(), QString("toolsitem"));
    QCOMPARE(QAccessible::queryAccessibleInterface(tools)->text(QAccessible::Name),
             QString("History menu"));
    QCOMPARE(bound.menu.actions().at(2), tools->menuAction());
    QCOMPARE(Captions(tools), QStringList({"HISTORY MENU:", "-", "Set &max. history items", "-",
                                           "Set ma&x. length per item", "-", "Remove ALL history",
                                           "-", "remove /a/one.txt", "remove /b/two.txt"}));
    QCOMPARE(tools->actions().at(7)->objectName(), QString("removesepitem"));
    QVERIFY(seam->boxes.empty());
  }

  void aLongHistoryShowsTheLimitWithOneNotice() {
    QStringList fifteen;
    for (int i = 0; i < 15; ++i) fifteen << QStringLiteral("p%1").arg(i);
    WriteFile(File("files.his"), Lines(fifteen));
    BoundMenu bound;
    auto history = Make(bound);
    history->LoadHistory();
    QCOMPARE(seam->texts(), QStringList({"count > maxhist??"}));
    QCOMPARE(seam->boxes.front().kind, BoxKind::Notice);
    QCOMPARE(bound.menu.actions().size(), 3 + 10);
    QCOMPARE(ReadFile(File("files.his")), Lines(fifteen));
  }

  void pickingAnEntryHandsOverTheFullTextAndMovesItUp() {
    WriteFile(File("maxlen.his"), "20\r\n");
    const QString deep = "/home/ann/Tom & Jerry/episodes.txt";
    WriteFile(File("files.his"), Lines({"/x.txt", deep}));
    BoundMenu bound;
    auto history = Make(bound);
    history->LoadHistory();
    QCOMPARE(Entry(bound, 1)->text(), "..." + deep.right(17));
    QCOMPARE(RemoveEntry(*history, 1)->text(), "remove ..." + deep.right(10));

    QSignalSpy spy(history.get(), &TMYcustomhistory::Onitemclicked);
    QPointer<QAction> picked = Entry(bound, 1);
    picked->trigger();

    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(0).value<TMYcustomhistory*>(), history.get());
    QCOMPARE(spy.at(0).at(1).toString(), deep);
    QCOMPARE(history->items(), QStringList({deep, "/x.txt"}));
    QCOMPARE(ReadFile(File("files.his")), Lines({deep, "/x.txt"}));
    QCOMPARE(Entry(bound, 0)->text(), "..." + deep.right(17));
    // The picked entry was replaced while its click was handled, and outlives that handling.
    QVERIFY(picked);
    QVERIFY(!bound.menu.actions().contains(picked.data()));
    ReleaseReplacedEntries();
    QVERIFY(!picked);
    QVERIFY(seam->boxes.empty());
  }

  void anEntryReplacedByARebuildDoesNothing() {
    WriteFile(File("files.his"), Lines({"a", "b", "c"}));
    BoundMenu bound;
    auto history = Make(bound);
    history->LoadHistory();
    QSignalSpy spy(history.get(), &TMYcustomhistory::Onitemclicked);
    QPointer<QAction> stale_entry = Entry(bound, 2);
    QPointer<QAction> stale_remove = RemoveEntry(*history, 1);

    RemoveEntry(*history, 0)->trigger();
    QCOMPARE(history->items(), QStringList({"b", "c"}));
    QVERIFY(stale_entry && stale_remove);
    stale_entry->trigger();   // its tag 2 names no item now
    stale_remove->trigger();  // it stood for "b", but its tag 1 names "c" now
    QCOMPARE(spy.size(), 0);
    QCOMPARE(history->items(), QStringList({"b", "c"}));
    QCOMPARE(ReadFile(File("files.his")), Lines({"b", "c"}));
    QCOMPARE(Captions(history->toolsitem()).mid(8), QStringList({"remove b", "remove c"}));
  }

  void anUnconnectedPickStillMovesTheItem() {
    WriteFile(File("files.his"), Lines({"a", ""}));
    BoundMenu bound;
    auto history = Make(bound);
    history->LoadHistory();
    QCOMPARE(Entry(bound, 1)->text(), QString());
    Entry(bound, 1)->trigger();
    QCOMPARE(seam->texts(), QStringList({"onitemclicked not assigned yet"}));
    QCOMPARE(ReadFile(File("files.his")), Lines({"", "a"}));
  }

  void disabledEntriesStayDisabledAcrossRebuilds() {
    WriteFile(File("files.his"), Lines({"a"}));
    BoundMenu bound;
    auto history = Make(bound);
    history->LoadHistory();
    history->setEnabled(false);
    QVERIFY(!Entry(bound, 0)->isEnabled());
    history->AddItem("b");
    QVERIFY(!Entry(bound, 0)->isEnabled());
    QVERIFY(!Entry(bound, 1)->isEnabled());
    QVERIFY(bound.menu.actions().at(0)->isEnabled());
    QVERIFY(history->toolsitem()->menuAction()->isEnabled());
    for (const QAction* action : history->toolsitem()->actions()) QVERIFY(action->isEnabled());
    history->setProperty("Enabled", true);
    QVERIFY(Entry(bound, 0)->isEnabled());
  }

  void dialogRangeErrorsChangeNothing() {
    WriteFile(File("files.his"), Lines({"a", "b", "c"}));
    BoundMenu bound;
    auto history = Make(bound);
    history->LoadHistory();
    QAction* set_max = Named(history->toolsitem(), "setmaxhistitem");
    QAction* set_len = Named(history->toolsitem(), "setmaxitemlenitem");
    seam->inputAnswers = {QString("101"), QString("-1"), QString("ten"), std::nullopt};
    for (int i = 0; i < 4; ++i) set_max->trigger();
    seam->inputAnswers = {QString("10001"), QString("-1"), QString("x"), std::nullopt};
    for (int i = 0; i < 4; ++i) set_len->trigger();

    QCOMPARE(seam->texts(),
             QStringList({"Number must be between 0 and 100", "Number must be between 0 and 100",
                          "Invalid number!!", "Number must be between 0 and 10000",
                          "Number must be between 0 and 10000", "Invalid number!!"}));
    for (const auto& box : seam->boxes) QCOMPARE(box.kind, BoxKind::Error);
    QCOMPARE(seam->inputs.size(), std::size_t{8});
    QCOMPARE(seam->inputs[0].caption, QString("Set maximum history items"));
    QCOMPARE(seam->inputs[0].prompt, QString("Give maximum history items (max. 100)"));
    QCOMPARE(seam->inputs[0].value, QString("10"));
    QCOMPARE(seam->inputs[4].caption, QString("Set maximum length of one history item"));
    QCOMPARE(seam->inputs[4].prompt,
             QString("Give maximum length of one history item (max. 10000)"));
    QCOMPARE(seam->inputs[4].value, QString("2000"));
    QCOMPARE(history->maxhist(), 10);
    QCOMPARE(history->maxitemlen(), 2000);
    QCOMPARE(ReadFile(File("files.his")), Lines({"a", "b", "c"}));
    QVERIFY(!QFile::exists(File("max.his")));
    QVERIFY(!QFile::exists(File("maxlen.his")));
    QCOMPARE(bound.menu.actions().size(), 6);
  }

  void newLimitsTrimRecaptionAndAreSaved() {
    WriteFile(File("files.his"), Lines({"abcdefghij", "b", "c"}));
    BoundMenu bound;
    auto history = Make(bound);
    history->LoadHistory();
    seam->inputAnswers = {QString("2"), QString("8")};
    Named(history->toolsitem(), "setmaxhistitem")->trigger();
    Named(history->toolsitem(), "setmaxitemlenitem")->trigger();

    QCOMPARE(ReadFile(File("max.his")), QByteArray("2\r\n"));
    QCOMPARE(ReadFile(File("maxlen.his")), QByteArray("8\r\n"));
    QCOMPARE(ReadFile(File("files.his")), Lines({"abcdefghij", "b"}));
    QCOMPARE(Captions(&bound.menu).mid(3), QStringList({"...fghij", "b"}));
    QCOMPARE(Captions(history->toolsitem()).mid(8), QStringList({"remove ...", "remove b"}));
    QVERIFY(seam->boxes.empty());

    seam->inputAnswers = {QString("0")};
    Named(history->toolsitem(), "setmaxhistitem")->trigger();
    QCOMPARE(seam->inputs.back().value, QString("2"));
    QCOMPARE(ReadFile(File("files.his")), QByteArray());
    QCOMPARE(ReadFile(File("max.his")), QByteArray("0\r\n"));
    QCOMPARE(Captions(&bound.menu), QStringList({"&Browse...", "-", ">>>"}));
  }

  void removeAllAsksAndClears() {
    BoundMenu bound;
    auto history = Make(bound);
    history->LoadHistory();
    QAction* remove_all = Named(history->toolsitem(), "removeallitem");
    remove_all->trigger();
    QCOMPARE(seam->texts(), QStringList({"History is already empty!"}));
    QVERIFY(seam->questions.isEmpty());

    history->AddItem("a");
    seam->clear();
    seam->answers = {false, true};
    remove_all->trigger();
    QCOMPARE(seam->questions, QStringList({"Really want to remove all history items??"}));
    QCOMPARE(ReadFile(File("files.his")), Lines({"a"}));
    remove_all->trigger();
    QCOMPARE(ReadFile(File("files.his")), QByteArray());
    QCOMPARE(Captions(&bound.menu).size(), 3);
    QCOMPARE(Captions(history->toolsitem()).size(), 8);
  }

  // The window's pair: both name one file set, and every use goes to Enter, then Open.
  void aPairSharesOnlyItsFiles() {
    WriteFile(File("files.his"), Lines({"a", "b", "c"}));
    BoundMenu enter_menu, open_menu;
    auto enter = Make(enter_menu);
    auto open = Make(open_menu);
    enter->LoadHistory();
    open->LoadHistory();
    QStringList opened;
    connect(open.get(), &TMYcustomhistory::Onitemclicked, open.get(),
            [&](TMYcustomhistory*, const QString& str) {
              opened << str;
              enter->AddItem(str);
              open->AddItem(str);
            });

    RemoveEntry(*enter, 1)->trigger();
    QCOMPARE(ReadFile(File("files.his")), Lines({"a", "c"}));
    QCOMPARE(open->items(), QStringList({"a", "b", "c"}));

    Entry(open_menu, 2)->trigger();
    QCOMPARE(opened, QStringList({"c"}));
    QCOMPARE(enter->items(), QStringList({"c", "a"}));
    QCOMPARE(open->items(), QStringList({"c", "a", "b"}));
    QCOMPARE(ReadFile(File("files.his")), Lines({"c", "a", "b"}));

    BoundMenu next_start;
    auto reloaded = Make(next_start);
    reloaded->LoadHistory();
    QCOMPARE(Captions(&next_start.menu).mid(3), QStringList({"c", "a", "b"}));
  }

  void aFailedWriteFromAMenuCommandIsReported() {
    WriteFile(File("files.his"), Lines({"a", "b"}));
    BoundMenu bound;
    auto history = Make(bound);
    history->LoadHistory();
    QVERIFY(dir->remove());
    RemoveEntry(*history, 0)->trigger();
    QCOMPARE(seam->boxes.size(), std::size_t{1});
    QCOMPARE(seam->boxes.front().kind, BoxKind::ApplicationError);
    QCOMPARE(seam->boxes.front().text, "Unable to write to " + File("files.his") + ".");
  }

  void theComponentReleasesWhatItMade() {
    BoundMenu bound;
    auto history = Make(bound);
    history->LoadHistory();
    history->AddItem("a");
    history.reset();
    QCOMPARE(Captions(&bound.menu), QStringList({"&Browse...", "-"}));
  }
};

QTEST_MAIN(HistoryMenuTest)
#include "MYcustomhistoryTest.moc"
