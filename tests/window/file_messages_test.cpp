#include "window/file_messages.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>

namespace {

QString native(const QString& path) { return QDir::toNativeSeparators(path); }

TEST(RemoveUnfinishedFile, SaysWhatBecameOfTheFile) {
  struct Case {
    const char* name;
    std::function<void(const QString& path)> prepare;
    QString line_start;  // the line begins so; empty: no line
    bool gone;
  };
  const Case cases[] = {
      {"a file that was cut short",
       [](const QString& path) {
         QFile f(path);
         ASSERT_TRUE(f.open(QIODevice::WriteOnly));
         f.write("half");
       },
       "Removed the unfinished file %1.", true},
      {"a link to nothing",
       [](const QString& path) { ASSERT_TRUE(QFile::link(path + ".gone", path)); },
       "Removed the unfinished file %1.", true},
      {"nothing there", [](const QString&) {}, {}, true},
      // A folder in the way cannot be removed as a file, even by root.
      {"a folder put in its place",
       [](const QString& path) { ASSERT_TRUE(QDir().mkpath(path + "/inside")); },
       "Could not remove the unfinished file %1: ", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir folder;
    const QString path = folder.filePath("picture.bmp");
    c.prepare(path);

    const QString line = removeUnfinishedFile(path);

    if (c.line_start.isEmpty()) {
      EXPECT_TRUE(line.isEmpty()) << line.toStdString();
    } else {
      const QString start = c.line_start.arg(native(path));
      EXPECT_TRUE(line.startsWith(start)) << line.toStdString();
      if (start.endsWith(": ")) {
        EXPECT_GT(line.size(), start.size() + 1) << "no reason given";
        EXPECT_TRUE(line.endsWith('.')) << line.toStdString();
      }
    }
    EXPECT_EQ(fileExists(path), !c.gone);
  }
}

TEST(FileFailure, NamesTheActionThePathAndTheReasonAndEndsInAPeriod) {
  EXPECT_EQ(fileFailure("write", "shots/a b.bmp", "File too large"),
            "Could not write " + native("shots/a b.bmp") + ": File too large.");
}

TEST(CreateNewFile, RefusesANameThatIsTakenAndLeavesThatFileAlone) {
  QTemporaryDir folder;
  const QString path = folder.filePath("taken.csv");
  {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("earlier");
  }
  QString failure;
  EXPECT_EQ(createNewFile(path, failure), nullptr);
  EXPECT_TRUE(failure.startsWith("Could not create " + native(path) + ": "))
      << failure.toStdString();
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), QByteArray("earlier"));
}

}  // namespace
