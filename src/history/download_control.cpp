#include "history/download_control.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <memory>
#include <optional>
#include <utility>

#include "history/history_files.h"
#include "link/connection.h"
#include "link/exchange.h"
#include "link/port_hand_over.h"
#include "monitor/graph_view.h"
#include "platform/dialogs.h"
#include "platform/format.h"
#include "widgets/paint_at_once.h"
#include "window/file_messages.h"
#include "window/telvar.h"

namespace {

constexpr int kCancelSettleMs = 1000;
constexpr qint64 kBytesPerKB = 1000;
constexpr qint64 kFullBarBytes = 1048000;

const QString kIdleCaption = QStringLiteral("Download History");
const QString kCancelCaption = QStringLiteral("Cancel");
const QString kCancellingCaption = QStringLiteral("Cancelling...");
const QString kSaveCaption = QStringLiteral("Save");
const QString kSavingCaption = QStringLiteral("Saving...");

QString kilobytes(qint64 bytes) { return QString::number(bytes / kBytesPerKB); }

// A start that cannot go on: only the count-rate timer has changed so far.
void abandonStart(TELVAR& window, const QStringList& lines) {
  window.platform.dialogs.message(&window, lines.join(QLatin1Char('\n')));
  GivePortBack(window, PortUser::Download);
}

// The same, once the comma-separated file has been created: it holds nothing yet.
void abandonStartWithFile(TELVAR& window, const QString& failure) {
  window.fileStream->close();
  QStringList lines{failure};
  if (const QString line = removeUnfinishedFile(*window.file); !line.isEmpty()) lines.append(line);
  abandonStart(window, lines);
}

bool sameExistingFile(const QString& a, const QString& b) {
  const QFileInfo first(a), second(b);
  return first.exists() && second.exists() &&
         first.canonicalFilePath() == second.canonicalFilePath();
}

void startDownload(TELVAR& window) {
  TakePort(window, PortUser::Download);
  const QString base = proposedHistoryBaseName(window.platform.scheduler.clock().localDateTime());

  window.file = window.platform.dialogs.saveFile(&window, base + QStringLiteral(".csv"));
  if (!window.file) {
    GivePortBack(window, PortUser::Download);
    return;
  }
  const QString csv_path = *window.file;
  const QDir folder = QFileInfo(csv_path).absoluteDir();
  if (!folder.exists()) {
    abandonStart(window, {fileFailure(QStringLiteral("find the folder of"), csv_path,
                                      QStringLiteral("No such folder"))});
    return;
  }
  window.file_bin = folder.filePath(base + QStringLiteral(".bin"));
  const QString bin_path = *window.file_bin;
  // Deleting the one would delete the other, and the dump would then overwrite the text.
  if (isHistoryDumpFile(csv_path, bin_path)) {
    abandonStart(window, {chosenFileIsDumpMessage(csv_path)});
    return;
  }

  if (const std::optional<QString> failure = deleteExistingFile(csv_path)) {
    abandonStart(window, {*failure});
    return;
  }
  QString failure;
  window.fileStream = createNewFile(csv_path, failure);
  if (!window.fileStream) {
    abandonStart(window, {failure});
    return;
  }
  // Two names for one file show only now on a file system that ignores case.
  if (sameExistingFile(csv_path, bin_path)) {
    abandonStartWithFile(window, chosenFileIsDumpMessage(csv_path));
    return;
  }
  if (const std::optional<QString> delete_failure = deleteExistingFile(bin_path)) {
    abandonStartWithFile(window, *delete_failure);
    return;
  }
  window.binaryStream = createNewFile(bin_path, failure);
  if (!window.binaryStream) {
    abandonStartWithFile(window, failure);
    return;
  }

  window.SaveButton.setText(kSaveCaption);
  window.SaveButton.setVisible(true);
  window.download_started = true;
  window.DHButton.setText(kCancelCaption);
  window.DownloadingLabel.setVisible(true);
  window.DHThread.Run();
}

// Closes a stream of the cancelled download and deletes its file; the failures it met.
QStringList discard(std::unique_ptr<QFile>& stream, const std::optional<QString>& path) {
  QStringList failures;
  if (stream && stream->isOpen()) {
    stream->close();
    if (stream->error() != QFileDevice::NoError)
      failures.append(
          fileFailure(QStringLiteral("close"), stream->fileName(), stream->errorString()));
  }
  if (path)
    if (const std::optional<QString> failure = deleteExistingFile(*path)) failures.append(*failure);
  return failures;
}

enum class Ending { Cancelled, Completed };

// The window as it is between downloads, whichever way this one ended. A completion reports its
// outcome with the controls back and before the poll may use the port again; a cancel reports
// only what went wrong with its files, once the window is idle. A completion also gives Download
// History back, which a cancel's own press shows to be enabled already, or which a Disconnect
// during the download disabled.
void endDownload(TELVAR& window, Ending ending, const QStringList& cancel_failures = {}) {
  window.DHButton.setText(kIdleCaption);
  if (ending == Ending::Completed) window.DHButton.setEnabled(HoldsUserConnection(window));
  window.DownloadingLabel.setVisible(false);
  window.SaveButton.setVisible(false);
  window.download_save = false;
  window.download_started = false;
  // After a cancel too: the worker may have finished since the last tick, and that tick must not
  // complete a download whose files are gone.
  window.download_finished = false;
  const QString failure = std::exchange(window.download_failure, QString());
  if (ending == Ending::Completed) {
    if (failure.isEmpty()) {
      window.platform.dialogs.beep();
      window.platform.dialogs.message(&window, downloadFinishedMessage(window.download_progress));
    } else {
      window.platform.dialogs.message(&window, failure);
    }
  }
  window.download_progress = 0;
  GivePortBack(window, PortUser::Download);
  if (!cancel_failures.isEmpty())
    window.platform.dialogs.message(&window, cancel_failures.join(QLatin1Char('\n')));
}

void cancelDownload(TELVAR& window) {
  window.DHButton.setText(kCancellingCaption);
  PaintAtOnce(window.DHButton);  // the window is held for the settle time
  window.DHThread.Kill();
  window.platform.scheduler.sleepCurrentThread(kCancelSettleMs);
  drainStoppedExchange(window.UART, window.platform.scheduler);
  QStringList failures = discard(window.binaryStream, window.file_bin);
  failures += discard(window.fileStream, window.file);
  endDownload(window, Ending::Cancelled, failures);
}

}  // namespace

QString proposedHistoryBaseName(const QDateTime& now) {
  const QDate date = now.date();
  const QTime time = now.time();
  return QStringLiteral("kavhistory_") + formatTwoDigits(date.month()) +
         formatTwoDigits(date.day()) + formatTwoDigits(date.year()) + QStringLiteral("_") +
         formatTwoDigits(time.hour()) + formatTwoDigits(time.minute()) +
         formatTwoDigits(time.second());
}

QString downloadingLabelText(qint64 progress) {
  return QStringLiteral("Downloading...") + kilobytes(progress) + QStringLiteral(" KB");
}

int downloadProgressBarValue(qint64 progress) { return int(progress * 100 / kFullBarBytes); }

QString downloadFinishedMessage(qint64 progress) {
  return QStringLiteral("Finished!") + QStringLiteral("\n") + QStringLiteral("Downloaded ") +
         kilobytes(progress) + QStringLiteral(" KB.");
}

bool isHistoryDumpFile(const QString& chosen, const QString& dump) {
  const QFileInfo chosen_info(chosen), dump_info(dump);
  return chosen_info.absoluteFilePath() == dump_info.absoluteFilePath() ||
         sameExistingFile(chosen, dump);
}

QString chosenFileIsDumpMessage(const QString& chosen) {
  return QStringLiteral(
             "The history cannot be saved as %1: the raw dump of the download is "
             "written to that file.")
             .arg(QDir::toNativeSeparators(chosen)) +
         QStringLiteral("\n") + QStringLiteral("Please choose another name.");
}

void TELVAR::DHButton_Action() {
  if (download_started)
    cancelDownload(*this);
  else
    startDownload(*this);
}

void TELVAR::SaveButton_Action() {
  SaveButton.setText(kSavingCaption);
  DHButton.setEnabled(false);
  download_save = true;
}

void TELVAR::Timer100ms_Action() {
  DownloadingLabel.setText(downloadingLabelText(download_progress));
  DownloadProgressBar.setValue(downloadProgressBarValue(download_progress));
  RefreshGraph(*this);
  if (download_finished) endDownload(*this, Ending::Completed);
}
