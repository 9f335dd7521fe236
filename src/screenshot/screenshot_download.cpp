#include "screenshot/screenshot_download.h"

#include <QFile>
#include <memory>

#include "link/connection.h"
#include "link/port_hand_over.h"
#include "link/protocol.h"
#include "platform/dialogs.h"
#include "platform/format.h"
#include "screenshot/bitmap.h"
#include "widgets/paint_at_once.h"
#include "window/file_messages.h"
#include "window/telvar.h"

namespace {

constexpr int kTimestampWaitMs = 500;
constexpr int kTimestampAttempts = 6;
constexpr int kPictureWaitMs = 1000;
constexpr int kPictureAttempts = 4;

const QString kIdleCaption = QStringLiteral("Download Screenshot");
const QString kBusyCaption = QStringLiteral("Please wait...");

int chosenImage(const TELVAR& window) {
  if (window.SS1.isChecked()) return kFirstScreenImage;
  if (window.SS2.isChecked()) return kFirstScreenImage + 1;
  if (window.SS3.isChecked()) return kFirstScreenImage + 2;
  return kLastScreenImage;
}

void restoreIdle(TELVAR& window) {
  window.DSButton.setText(kIdleCaption);
  GivePortBack(window, PortUser::Download);
}

// A failure is told with the caption already back, and before the poll may use the port again.
void endWithFailure(TELVAR& window, const QString& text) {
  window.DSButton.setText(kIdleCaption);
  window.platform.dialogs.message(&window, text);
  GivePortBack(window, PortUser::Download);
}

}  // namespace

QString proposedScreenshotName(QByteArrayView timestamp) {
  const CounterTimestamp at = decodeCounterTimestamp(timestamp);
  return QStringLiteral("kavscreenshot_") + formatTwoDigits(at.day) + formatTwoDigits(at.month) +
         formatTwoDigits(at.yearInCentury()) + QStringLiteral("_") + formatTwoDigits(at.hour) +
         formatTwoDigits(at.minute) + formatTwoDigits(at.second) + QStringLiteral(".bmp");
}

std::optional<QString> writeScreenshotFile(const QString& path, const QByteArray& bytes) {
  if (std::optional<QString> failure = deleteExistingFile(path)) return failure;
  QString failure;
  const std::unique_ptr<QFile> target = createNewFile(path, failure);
  if (!target) return failure;
  if (!writeWhole(*target, bytes.constData(), bytes.size()))
    failure = fileFailure(QStringLiteral("write"), path, target->errorString());
  if (!closedCleanly(*target) && failure.isEmpty())
    failure = fileFailure(QStringLiteral("close"), path, target->errorString());
  if (failure.isEmpty()) return std::nullopt;
  // A picture cut short is no picture.
  if (const QString line = removeUnfinishedFile(path); !line.isEmpty())
    failure += QLatin1Char('\n') + line;
  return failure;
}

void TELVAR::DSButton_Action() {
  if (download_started) {
    platform.dialogs.message(this, QStringLiteral("Downloading history.") + QStringLiteral("\n") +
                                       QStringLiteral("Please wait."));
    return;
  }
  DSButton.setText(kBusyCaption);
  PaintAtOnce(DSButton);  // the window is held from here to the end
  TakePort(*this, PortUser::Download);
  const int image = chosenImage(*this);

  const std::optional<QByteArray> timestamp = AskOverUserConnection(
      *this, {commandGETSSN(image), kTimestampWaitMs, isTimestampReply}, kTimestampAttempts);
  if (!timestamp) {
    endWithFailure(*this, QStringLiteral("Failed to download. Please try again."));
    return;
  }
  if (timestampMarksNoImage(*timestamp)) {
    platform.dialogs.message(this, QStringLiteral("Screenshot ") + QString::number(image) +
                                       QStringLiteral(" not found."));
    restoreIdle(*this);
    return;
  }

  const std::optional<QByteArray> picture = AskOverUserConnection(
      *this, {commandGETSS(image), kPictureWaitMs, isPictureReply, kPictureReads},
      kPictureAttempts);
  if (!picture) {
    endWithFailure(*this, QStringLiteral("Download Failed."));
    return;
  }
  const QByteArray bitmap = PictureToBitmap(picture->left(kPictureBytes));

  file = platform.dialogs.saveFile(this, proposedScreenshotName(*timestamp));
  if (file) {
    if (const std::optional<QString> failure = writeScreenshotFile(*file, bitmap)) {
      endWithFailure(*this, *failure);
      return;
    }
    platform.dialogs.message(this, QStringLiteral("Download Finished."));
  }
  restoreIdle(*this);
}
