// The program's folders are layers: an include may point only down them, so a newcomer can read
// the code from the bottom up and a change below never needs one above. This test reads every
// include of the source tree and fails on one that points up, or into a folder with no place in
// the layers.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <map>
#include <optional>

namespace {

// Higher stands above lower. Folders of one height are siblings and keep out of each other.
const std::map<QString, int>& layerHeights() {
  static const std::map<QString, int> heights = {
      {"platform", 0}, {"widgets", 1}, {"window", 2},     {"link", 3},
      {"monitor", 4},  {"history", 5}, {"screenshot", 5}, {"app", 6},
  };
  return heights;
}

std::optional<int> heightOf(const QString& folder) {
  const auto found = layerHeights().find(folder);
  if (found == layerHeights().end()) return std::nullopt;
  return found->second;
}

// Why `from` (a folder) may not include `to` (the first part of an included path); empty when it
// may.
QString refusal(const QString& from, const QString& to) {
  const std::optional<int> from_height = heightOf(from);
  const std::optional<int> to_height = heightOf(to);
  if (!from_height) return QStringLiteral("the folder %1 has no place in the layers").arg(from);
  if (!to_height) return QStringLiteral("%1 is no folder of the layers").arg(to);
  if (from == to) return {};
  if (*to_height > *from_height) return QStringLiteral("%1 lies above %2").arg(to, from);
  if (*to_height == *from_height) return QStringLiteral("%1 and %2 are siblings").arg(to, from);
  return {};
}

// Every include of our own code under src that breaks the layers, one line each:
// "file:line: include "path": reason".
QStringList layerViolations(const QString& src) {
  static const QRegularExpression include(QStringLiteral(R"re(^\s*#\s*include\s*"([^"]+)")re"));
  QStringList violations;
  QDirIterator files(src, {"*.h", "*.cpp"}, QDir::Files, QDirIterator::Subdirectories);
  while (files.hasNext()) {
    const QString path = files.next();
    const QString relative = QDir(src).relativeFilePath(path);
    const QString from = relative.section(QLatin1Char('/'), 0, 0);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
      violations.append(relative + QStringLiteral(": cannot be read"));
      continue;
    }
    int line_number = 0;
    while (!file.atEnd()) {
      const QString line = QString::fromUtf8(file.readLine());
      ++line_number;
      const QRegularExpressionMatch match = include.match(line);
      if (!match.hasMatch()) continue;
      const QString included = match.captured(1);
      const QString to = included.contains(QLatin1Char('/'))
                             ? included.section(QLatin1Char('/'), 0, 0)
                             : QStringLiteral("(no folder)");
      if (const QString why = refusal(from, to); !why.isEmpty())
        violations.append(QStringLiteral("%1:%2: include \"%3\": %4")
                              .arg(relative)
                              .arg(line_number)
                              .arg(included, why));
    }
  }
  violations.sort();
  return violations;
}

TEST(IncludeLayers, EveryIncludeOfTheProgramPointsDown) {
  const QStringList violations = layerViolations(QStringLiteral(TELVAR_SOURCE_DIR "/src"));
  EXPECT_TRUE(violations.isEmpty()) << violations.join(QLatin1Char('\n')).toStdString();
}

TEST(IncludeLayers, TheCheckRefusesIncludesThatPointUpOrSideways) {
  struct Case {
    const char* file;
    const char* include;
    bool allowed;
  };
  const Case cases[] = {
      {"app/main.cpp", "history/download_control.h", true},
      {"history/download_control.cpp", "monitor/sampling.h", true},
      {"screenshot/screenshot_download.cpp", "link/protocol.h", true},
      {"monitor/sampling.cpp", "link/protocol.h", true},
      {"link/console.cpp", "window/telvar.h", true},
      {"window/telvar.h", "widgets/canvas.h", true},
      {"widgets/canvas.h", "platform/drawing.h", true},
      {"platform/scheduler.cpp", "platform/scheduler.h", true},
      {"window/telvar.cpp", "app/menu_bar.h", false},
      {"window/telvar.h", "link/serial.h", false},
      {"link/protocol.cpp", "monitor/sampling.h", false},
      {"history/memory_reader.cpp", "screenshot/bitmap.h", false},
      {"screenshot/bitmap.cpp", "history/history_files.h", false},
      {"platform/serial.h", "widgets/canvas.h", false},
      {"widgets/canvas.cpp", "window/telvar.h", false},
      {"window/design.cpp", "menu_bar.h", false},
      {"tools/extra.cpp", "platform/clock.h", false},
  };
  for (const Case& c : cases) {
    QTemporaryDir tree;
    ASSERT_TRUE(tree.isValid());
    const QString path = tree.filePath(QString::fromLatin1(c.file));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("#include <QString>\n\n  #include \"") + c.include + "\"  // why\n");
    file.close();

    const QStringList violations = layerViolations(tree.path());
    EXPECT_EQ(violations.isEmpty(), c.allowed) << c.file << " includes " << c.include << ": "
                                               << violations.join(QLatin1Char('\n')).toStdString();
    if (!c.allowed && !violations.isEmpty()) {
      EXPECT_TRUE(violations.first().startsWith(QString::fromLatin1(c.file) + ":3: include"))
          << violations.first().toStdString();
    }
  }
}

}  // namespace
