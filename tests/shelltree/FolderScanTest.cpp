// File masks, path normalising and folder scanning of the folder tree.
#include <QtTest>
#include <filesystem>
#include <unistd.h>

#include "shelltree/FolderScan.h"
#include "tests/support/TempDir.h"

using namespace quillon::shelltree;
using quillon::testing::TempDir;
namespace fs = std::filesystem;

class FolderScanTest : public QObject {
  Q_OBJECT

 private slots:
  void masksMatchWithBacktracking() {
    QVERIFY(MatchFileMask("a.txt.txt", "*.txt"));
    QVERIFY(MatchFileMask("abcde", "a*c*e"));
    QVERIFY(MatchFileMask("a.txt", "*.tx?"));
    QVERIFY(MatchFileMask("abcbcd", "a*bcd"));
    QVERIFY(MatchFileMask("README.TXT", "*.txt"));
    QVERIFY(MatchFileMask("", "*"));
    QVERIFY(MatchFileMask("noext", "*"));
    QVERIFY(!MatchFileMask("noext", "*.*"));
    QVERIFY(MatchFileMask(".profile", "*.*"));
    QVERIFY(MatchFileMask("Name.Txt", "name.txt"));
    QVERIFY(!MatchFileMask("name.txt2", "name.txt"));
    QVERIFY(!MatchFileMask("a.tx", "*.tx?"));
    QVERIFY(!MatchFileMask("a.txt.bak", "*.txt"));
    QVERIFY(!MatchFileMask("abcd", "a*c"));
    QVERIFY(MatchFileMask("\xc3\xa9.txt", "?.txt"));  // "?" takes one UTF-8 character
    QVERIFY(MatchFileMask("x", "**"));
  }

  void maskTextsSplitAtSemicolons() {
    QCOMPARE(ParseFileMask(" *.txt; ;*.log ;"), (std::vector<std::string>{"*.txt", "*.log"}));
    QCOMPARE(ParseFileMask("   "), (std::vector<std::string>{"*.*"}));
    QCOMPARE(JoinFileMask({"*.txt", "*.log"}), std::string("*.txt;*.log"));
    QVERIFY(MatchesAnyMask("a.log", {"*.txt", "*.log"}));
    QVERIFY(!MatchesAnyMask("a.doc", {"*.txt", "*.log"}));
    QVERIFY(MatchesAnyMask("a.doc", {}));
  }

  void pathsNormaliseToExistingFolders() {
    TempDir dir;
    fs::create_directories(dir / "a/b");
    QCOMPARE(NormalizeTreePath(dir / "a/b"), dir / "a/b");
    QCOMPARE(NormalizeTreePath(dir.path() + "/a/b/"), dir / "a/b");
    QCOMPARE(NormalizeTreePath(dir.path() + "//a///b//"), dir / "a/b");
    QCOMPARE(NormalizeTreePath(dir / "a/b/missing/more"), dir / "a/b");
    QCOMPARE(NormalizeTreePath(dir / "a/./b/../b"), dir / "a/b");
    QCOMPARE(NormalizeTreePath("/"), std::string("/"));
    QCOMPARE(NormalizeTreePath("/no-such-folder-here/x"), std::string("/"));
    QCOMPARE(NormalizeTreePath("a/b"), std::string());
    QCOMPARE(NormalizeTreePath("C:\\Data"), std::string());
    QCOMPARE(NormalizeTreePath(""), std::string());
    dir.Write("a/file", "x");
    QCOMPARE(NormalizeTreePath(dir / "a/file"), dir / "a");
  }

  void componentsBelowABase() {
    std::vector<std::string> parts;
    QVERIFY(ComponentsBelow("/a", "/a/b/c", parts));
    QCOMPARE(parts, (std::vector<std::string>{"b", "c"}));
    QVERIFY(ComponentsBelow("/", "/a", parts));
    QCOMPARE(parts, (std::vector<std::string>{"a"}));
    QVERIFY(ComponentsBelow("/a", "/a", parts));
    QVERIFY(parts.empty());
    QVERIFY(!ComponentsBelow("/a", "/ab", parts));
    QVERIFY(!ComponentsBelow("/a", "relative", parts));
  }

  void scanningUsesEntryTypesAndFollowsLinks() {
    TempDir dir;
    fs::create_directories(dir / "sub");
    dir.Write("file", "x");
    fs::create_directory_symlink(dir / "sub", dir / "linkdir");
    fs::create_symlink(dir / "file", dir / "linkfile");
    fs::create_symlink(dir / "missing", dir / "dangling");
    std::map<std::string, std::pair<bool, bool>> seen;
    QVERIFY(ScanFolder(dir.path(), [&](const FolderEntry& e) {
      seen[e.name] = {e.folder, e.link};
      return true;
    }));
    QCOMPARE(seen.size(), std::size_t(5));
    QCOMPARE(seen["sub"], std::make_pair(true, false));
    QCOMPARE(seen["file"], std::make_pair(false, false));
    QCOMPARE(seen["linkdir"], std::make_pair(true, true));
    QCOMPARE(seen["linkfile"], std::make_pair(false, true));
    QCOMPARE(seen["dangling"], std::make_pair(false, true));
    QVERIFY(!ScanFolder(dir / "nothing", [](const FolderEntry&) { return true; }));
    QVERIFY(FolderHasEntry(dir.path(), [](const FolderEntry& e) { return e.folder; }));
    QVERIFY(!FolderHasEntry(dir / "sub", [](const FolderEntry&) { return true; }));
  }
};

QTEST_GUILESS_MAIN(FolderScanTest)
#include "FolderScanTest.moc"
