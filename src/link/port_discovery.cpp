#include <QComboBox>
#include <QString>

#include "link/connection.h"
#include "link/exchange.h"
#include "link/protocol.h"
#include "platform/dialogs.h"
#include "window/telvar.h"

namespace {

constexpr int kProbeWaitMs = 100;

// The row that ends a rebuild in which no counter answered.
int rowSelectedAfterRebuild(int rows_now, int rows_before) {
  if (rows_now == 0) return -1;
  return rows_now < rows_before ? 0 : rows_now - 1;
}

// Each row keeps the port it was built for, so that Connect opens that very port.
void addPortRow(QComboBox& menu, const QString& text, const SerialPort& port) {
  menu.addItem(text, port.location);
}

// The rows stand for the system's ports as they are now: one row per port, in port order, each
// built for that very port. Counting alone would miss a port that left while another came, as
// a re-plugged adapter does when it comes back under a new name.
bool rowsFollowPorts(SerialSystem& serial, const QComboBox& menu) {
  const int ports = serial.SerialPortCount();
  if (menu.count() != ports) return false;
  for (int i = 0; i < ports; ++i)
    if (menu.itemData(i).toString() != serial.SerialPortAt(i).location) return false;
  return true;
}

// The port a row was built for, as the system lists it now; a port with empty fields, which
// cannot be opened, when it has gone since. Going by the row's index alone would open another
// port once this one or one before it has left the list.
SerialPort presentPortOfRow(SerialSystem& serial, const QComboBox& menu, int row) {
  const QString location = menu.itemData(row).toString();
  if (location.isEmpty()) return {};
  for (int i = 0; i < serial.SerialPortCount(); ++i) {
    SerialPort port = serial.SerialPortAt(i);
    if (port.location == location) return port;
  }
  return {};
}

}  // namespace

void TELVAR::PortListUpdater_Action() {
  if (rowsFollowPorts(platform.serial, SerialPortsPopupMenu)) return;
  const int rows_before = SerialPortsPopupMenu.count();

  SerialPortsPopupMenu.clear();
  bool counter_answered = false;
  for (int i = 0; i < platform.serial.SerialPortCount(); ++i) {
    const SerialPort port = platform.serial.SerialPortAt(i);
    UART.setSerialPort(port);
    if (!UART.Open()) {
      addPortRow(SerialPortsPopupMenu, port.Name, port);
    } else {
      Model = exchange(UART, platform.scheduler, {commandGETVER(), kProbeWaitMs, isCounterVersion})
                  .value_or(QByteArray());
      if (isCounterVersion(Model)) {
        // A reply is shown byte for byte, one character a byte, line ends included.
        addPortRow(SerialPortsPopupMenu, QString::fromLatin1(Model), port);
        SerialPortsPopupMenu.setCurrentIndex(SerialPortsPopupMenu.count() - 1);
        counter_answered = true;
      } else {
        addPortRow(SerialPortsPopupMenu, port.Name, port);
      }
      UART.Close();
    }
    platform.scheduler.yieldCurrentThread();
  }
  // A counter's row stays selected: it is the port the user came for.
  if (!counter_answered)
    SerialPortsPopupMenu.setCurrentIndex(
        rowSelectedAfterRebuild(SerialPortsPopupMenu.count(), rows_before));
}

void TELVAR::SerialPortsPopupMenu_Change() {
  ConnectButton.setEnabled(SerialPortsPopupMenu.currentIndex() != -1);
}

void TELVAR::ConnectButton_Action() {
  if (HoldsUserConnection(*this)) {
    UART.Close();
    ConnectButton.setText(kConnectCaption);
    SerialPortsPopupMenu.setEnabled(true);
    PortListUpdater.setMode(Timer::kRepeating);
    DisableUI();
    return;
  }

  // A port that has left the system since the list was built fails to open like any other port
  // that cannot be opened.
  UART.setSerialPort(
      presentPortOfRow(platform.serial, SerialPortsPopupMenu, SerialPortsPopupMenu.currentIndex()));
  if (!UART.Open()) {
    platform.dialogs.beep();
    platform.dialogs.message(this, QStringLiteral("The selected serial port could not be opened."));
    return;
  }
  ConnectButton.setText(kDisconnectCaption);
  SerialPortsPopupMenu.setEnabled(false);
  PortListUpdater.setMode(Timer::kOff);
  UART.ReadAll();
  EnableUI();
}
