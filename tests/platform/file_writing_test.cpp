#include "platform/file_writing.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

TEST(RemoveFile, RemovesWhatIsThereAndTellsWhyAFileStays) {
  QTemporaryDir folder;
  const QString written = folder.filePath("half.bin");
  std::optional<FileFailure> not_made;
  ASSERT_NE(openNewFile(written, not_made), nullptr);
  EXPECT_EQ(removeFile(written), std::nullopt);
  EXPECT_FALSE(fileExists(written));
  EXPECT_EQ(removeFile(written), std::nullopt) << "nothing there is nothing to fail on";

  // A folder in the way cannot be removed as a file, even by root.
  const QString in_the_way = folder.filePath("picture.bmp");
  ASSERT_TRUE(QDir().mkpath(in_the_way + "/inside"));
  const std::optional<FileFailure> failure = removeFile(in_the_way);
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->action, FileFailure::Action::Remove);
  EXPECT_EQ(failure->path, in_the_way);
  EXPECT_FALSE(failure->reason.isEmpty());
  EXPECT_TRUE(fileExists(in_the_way));
}

TEST(OpenNewFile, TellsWhyANameThatIsTakenIsRefused) {
  QTemporaryDir folder;
  const QString taken = folder.filePath("taken.csv");
  ASSERT_TRUE(QDir().mkpath(taken));
  std::optional<FileFailure> failure;
  EXPECT_EQ(openNewFile(taken, failure), nullptr);
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->action, FileFailure::Action::Create);
  EXPECT_EQ(failure->path, taken);
  EXPECT_FALSE(failure->reason.isEmpty());

  const QString free = folder.filePath("free.csv");
  failure.reset();
  const std::unique_ptr<QFile> created = openNewFile(free, failure);
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(failure, std::nullopt);
  EXPECT_TRUE(created->isOpen());
}

}  // namespace
