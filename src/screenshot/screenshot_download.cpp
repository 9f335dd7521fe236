#include "screenshot/screenshot_download.h"

#include <QDir>
#include <QFile>

#include "app/dialogs.h"
#include "link/protocol.h"
#include "monitor/sampling.h"
#include "screenshot/bitmap.h"
#include "window/paint_at_once.h"
#include "window/telvar.h"

namespace {

constexpr int kTimestampWaitMs = 500;
constexpr int kTimestampAttempts = 6;
constexpr int kPictureWaitMs = 1000;
constexpr int kPictureAttempts = 4;

const QString kIdleCaption = QStringLiteral("Download Screenshot");
const QString kBusyCaption = QStringLiteral("Please wait...");

QString twoDigits(QByteArrayView bytes, qsizetype index) {
  const int value = index < bytes.size() ? quint8(bytes[index]) : 0;
  return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

QString fileFailure(const char* what, const QString& path, const QString& reason) {
  return QStringLiteral("Could not %1 %2: %3")
      .arg(QLatin1String(what), QDir::toNativeSeparators(path), reason);
}

// A write may stop short without an error (the first write to reach a size limit does); the
// next one then tells why.
bool writeWhole(QFile& target, const QByteArray& bytes) {
  for (qsizetype done = 0; done < bytes.size();) {
    const qint64 written = target.write(bytes.constData() + done, bytes.size() - done);
    if (written <= 0) return false;
    done += written;
  }
  return true;
}

int chosenImage(const TELVAR& window) {
  if (window.SS1.isChecked()) return 1;
  if (window.SS2.isChecked()) return 2;
  if (window.SS3.isChecked()) return 3;
  return 4;
}

// Asks until a reply passes or the attempts are spent; the reply that passed, if any.
std::optional<QByteArray> ask(TELVAR& window, const QByteArray& command, int wait_ms, int reads,
                              int attempts, bool (*passes)(QByteArrayView)) {
  for (int left = attempts; left > 0; --left) {
    QByteArray reply = exchange(window.UART, window.platform.scheduler, command, wait_ms, reads);
    if (passes(reply)) return reply;
  }
  return std::nullopt;
}

void restoreIdle(TELVAR& window) {
  window.DSButton.setText(kIdleCaption);
  window.GetCPSTimer.setMode(Timer::kRepeating);
}

// A failure is told with the caption already back, and before the poll may use the port again.
void endWithFailure(TELVAR& window, const QString& text) {
  window.DSButton.setText(kIdleCaption);
  window.platform.dialogs.message(&window, text);
  window.GetCPSTimer.setMode(Timer::kRepeating);
}

}  // namespace

QString proposedScreenshotName(QByteArrayView timestamp) {
  return QStringLiteral("kavscreenshot_") + twoDigits(timestamp, 2) + twoDigits(timestamp, 1) +
         twoDigits(timestamp, 0) + QStringLiteral("_") + twoDigits(timestamp, 3) +
         twoDigits(timestamp, 4) + twoDigits(timestamp, 5) + QStringLiteral(".bmp");
}

std::optional<QString> writeScreenshotFile(const QString& path, const QByteArray& bytes) {
  QFile target(path);
  if (target.exists() && !target.remove())
    return fileFailure("delete", path, target.errorString());
  if (!target.open(QIODevice::WriteOnly | QIODevice::NewOnly))
    return fileFailure("create", path, target.errorString());
  if (!writeWhole(target, bytes) || !target.flush()) {
    const QString reason = target.errorString();
    target.remove();  // a picture cut short is no picture
    return fileFailure("write", path, reason);
  }
  target.close();
  if (target.error() != QFileDevice::NoError) {
    const QString reason = target.errorString();
    target.remove();
    return fileFailure("close", path, reason);
  }
  return std::nullopt;
}

void TELVAR::DSButton_Action() {
  if (download_started) {
    platform.dialogs.message(this, QStringLiteral("Downloading history.") + QStringLiteral("\n") +
                                       QStringLiteral("Please wait."));
    return;
  }
  DSButton.setText(kBusyCaption);
  PaintAtOnce(DSButton);  // the window is held from here to the end
  WaitForRunningPoll(*this);
  GetCPSTimer.setMode(Timer::kOff);
  const int image = chosenImage(*this);

  const std::optional<QByteArray> timestamp =
      ask(*this, commandGETSSN(image), kTimestampWaitMs, 1, kTimestampAttempts, isTimestampReply);
  if (!timestamp) {
    endWithFailure(*this, QStringLiteral("Failed to download. Please try again."));
    return;
  }
  if (timestampMarksNoImage(*timestamp)) {
    platform.dialogs.message(
        this, QStringLiteral("Screenshot ") + QString::number(image) + QStringLiteral(" not found."));
    restoreIdle(*this);
    return;
  }

  const std::optional<QByteArray> picture =
      ask(*this, commandGETSS(image), kPictureWaitMs, kPictureReads, kPictureAttempts,
          isPictureReply);
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
