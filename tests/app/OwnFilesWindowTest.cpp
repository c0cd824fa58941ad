// The window's own files, the settings and the histories, as the user may have set them: read
// without blocking, written keeping their mode, owners and links, never replaced when the user
// made them read-only or something other than a file.
#include <sys/stat.h>
#include <unistd.h>

#include <QtTest>
#include <filesystem>
#include <functional>

#include "app/quillonU.h"
#include "support/RecordingSeam.h"
#include "support/TempDir.h"
#include "util/ui/Seam.h"

using namespace quillon;
using quillon::testing::ReadBytes;
using quillon::testing::RecordingSeam;
using quillon::testing::TempDir;
using quillon::ui::BoxKind;
using quillon::ui::FromBytes;

namespace fs = std::filesystem;

namespace {

const std::string kSettings = "; mine\r\n[Output extension]\r\nExtension=log\r\n";

QString UnableToWrite(const std::string& path) {
  return "Unable to write to " + FromBytes(path) + ".";
}

// Starts the window on the folder as prepared, closes it, and gives the boxes shown.
QStringList StartAndClose(const TempDir& dir, std::string* extension = nullptr) {
  RecordingSeam seam;
  TmainF window(dir / "quillon");
  if (extension) *extension = window.RunSettings().OutputExtension;
  window.RunSettings().FillSize = 7;
  window.close();
  for (const RecordingSeam::Box& box : seam.boxes) {
    if (box.kind != BoxKind::ApplicationError) return {"not an application error: " + box.text};
  }
  return seam.texts();
}

}  // namespace

class OwnFilesWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void settingsThatAreNoFileReadAsDefaultsAndStayAsTheyAre() {
    const std::function<void(const std::string&)> makers[] = {
        [](const std::string& path) { QCOMPARE(mkfifo(path.c_str(), 0600), 0); },
        [](const std::string& path) { fs::create_symlink("/dev/zero", path); },
        [](const std::string& path) { fs::create_directory(path); },
    };
    for (const auto& make : makers) {
      TempDir dir;
      const std::string ini = dir / "quillon.ini";
      make(ini);
      const fs::file_status before = fs::symlink_status(ini);
      std::string extension;
      QCOMPARE(StartAndClose(dir, &extension), QStringList{UnableToWrite(ini)});
      QCOMPARE(extension, std::string("txt"));
      QCOMPARE(fs::symlink_status(ini).type(), before.type());
    }
  }

  void settingsTooLargeToBeTheirsAreLeftWhole() {
    TempDir dir;
    const std::string content = kSettings + std::string(std::size_t{2} << 20, ';');
    dir.Write("quillon.ini", content);
    std::string extension;
    QCOMPARE(StartAndClose(dir, &extension), QStringList{UnableToWrite(dir / "quillon.ini")});
    QCOMPARE(extension, std::string("txt"));
    QVERIFY(ReadBytes(dir / "quillon.ini") == content);
  }

  void closingKeepsModeOwnersAndLinks() {
    TempDir dir;
    const std::string ini = dir.Write("quillon.ini", kSettings);
    QCOMPARE(chmod(ini.c_str(), 0600), 0);
    const bool root = geteuid() == 0;
    if (root) QCOMPARE(chown(ini.c_str(), 65534, 65534), 0);
    QCOMPARE(StartAndClose(dir), QStringList{});
    struct stat info {};
    QCOMPARE(stat(ini.c_str(), &info), 0);
    QCOMPARE(info.st_mode & 07777, 0600u);
    if (root) QCOMPARE(info.st_uid, 65534u);
    QVERIFY(ReadBytes(ini).find("Size=7\r\n") != std::string::npos);

    // The user keeps the settings elsewhere and links them here.
    TempDir linked;
    fs::create_directory(linked / "dotfiles");
    const std::string kept = linked.Write("dotfiles/quillon.ini", kSettings);
    fs::create_symlink(kept, linked / "quillon.ini");
    std::string extension;
    QCOMPARE(StartAndClose(linked, &extension), QStringList{});
    QCOMPARE(extension, std::string("log"));
    QVERIFY(fs::is_symlink(linked / "quillon.ini"));
    QVERIFY(ReadBytes(kept).find("; mine\r\n") == 0);
    QVERIFY(ReadBytes(kept).find("Size=7\r\n") != std::string::npos);
  }

  void readOnlyFilesAreNotReplaced() {
    TempDir dir;
    const std::string ini = dir.Write("quillon.ini", kSettings);
    const std::string history = dir.Write("files.his", "/home/ann/names.txt\r\n");
    for (const std::string& path : {ini, history}) QCOMPARE(chmod(path.c_str(), 0444), 0);
    // Both file histories load it and find it as they would write it; the window closes last.
    QCOMPARE(StartAndClose(dir), QStringList({UnableToWrite(ini)}));
    QVERIFY(ReadBytes(ini) == kSettings);
    QVERIFY(ReadBytes(history) == "/home/ann/names.txt\r\n");
  }
};

QTEST_MAIN(OwnFilesWindowTest)
#include "OwnFilesWindowTest.moc"
