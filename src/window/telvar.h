#pragma once

#include <QByteArray>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/platform.h"
#include "platform/scheduler.h"
#include "platform/serial.h"
#include "widgets/canvas.h"
#include "widgets/console_text_area.h"
#include "widgets/group_box.h"
#include "widgets/radio_button.h"
#include "window/count_series.h"

class Drawing;

// The connect button's captions: "Disconnect" while the user's connection is open, "Connect"
// otherwise. The program keeps no other record of the connection: the caption is its state
// (link/connection.h reads it).
inline const QString kConnectCaption = QStringLiteral("Connect");
inline const QString kDisconnectCaption = QStringLiteral("Disconnect");

// The program's one window. It holds the whole state of the program: the fields below, its
// controls (the serial port, the timers and the worker threads among them) and the handlers of
// their events, which live in the files of their subsystems.
class TELVAR : public QMainWindow {
  Q_OBJECT
 public:
  // Size of the content area in the design; the controls' positions are given in it.
  static constexpr int kDesignWidth = 628;
  static constexpr int kDesignHeight = 404;

  explicit TELVAR(const Platform& platform);
  ~TELVAR() override;

  // The main window of the application: the first request creates and shows it, later ones
  // return it unchanged.
  static TELVAR& shared(const Platform& platform);
  // Lets the main window go as the program ends.
  static void releaseShared();

  // For tests: told the name of each handler as it starts, in any window, from the moment a
  // window is made. It stays because no seam can tell it: the handlers are wired to the
  // controls' signals inside the window, so only here is it known which handler an event ran and
  // whether it ran as a handler or on a thread. It is static so that a test can watch the
  // window's construction itself (which must run no handler); a test that sets it resets it.
  static inline std::function<void(const char* handler)> handlerObserver;

  Platform platform;

  // Fields, with their values at creation.
  QByteArray Model;
  QByteArray TxBuffer;
  std::vector<qint64> CPS = std::vector<qint64>(kCPSSize, 0);
  bool GetCPSThreadRunning = false;
  qint64 CPMStart = kNewestMinuteStart;
  bool download_started = false;
  std::optional<QString> file;        // none after a refused save dialog
  std::unique_ptr<QFile> fileStream;  // the open comma-separated history file
  bool download_save = false;
  qint64 download_progress = 0;
  bool download_finished = false;
  // Set with download_finished when the history worker could not complete its files: the
  // message for the tick to show in place of the completion's.
  QString download_failure;
  std::unique_ptr<QFile> binaryStream;  // the open raw history dump
  std::optional<QString> file_bin;

 private:
  ContentArea* content_;  // owned by the window; the visual controls sit in it

 public:
  // Controls, in creation order.
  Serial UART;
  QPushButton ConnectButton;
  QComboBox SerialPortsPopupMenu;
  Timer PortListUpdater;
  ConsoleTextArea SerialText;
  QComboBox Command1;
  QPushButton SendCommand1;
  QLineEdit Command2;
  QPushButton SendCommand2;
  Timer SerialTimer;
  QPushButton ClearButton;
  QLineEdit SerialSize;
  Canvas Graph;
  QScrollBar ScrollCPS{Qt::Horizontal};
  Thread GetCPS;
  Timer GetCPSTimer;
  GroupBox AsciiHex;
  RadioButton ASCIIButton;
  RadioButton HEXButton;
  QPushButton DHButton;
  QProgressBar DownloadProgressBar;
  QPushButton SaveButton;
  QLabel DownloadingLabel;
  Thread DHThread;
  Timer Timer100ms;
  QPushButton DSButton;
  GroupBox GroupBox1;
  RadioButton SS3;
  RadioButton SS4;
  RadioButton SS1;
  RadioButton SS2;

  // The two design steps, run once while the window is made.
  void Layout();
  void CreateControls();
  // Command1's rows: the console's preset commands, spelt by the device protocol.
  static QStringList PresetCommands();

  // Event handlers, each in the file of its subsystem.
  void ConnectButton_Action();
  void SerialPortsPopupMenu_Change();
  void PortListUpdater_Action();
  void SerialText_TextChange();
  void SendCommand1_Action();
  void SendCommand2_Action();
  void SerialTimer_Action();
  void ClearButton_Action();
  void Graph_Paint(Drawing& g);
  void ScrollCPS_ValueChanged();
  void GetCPS_Run();
  void GetCPSTimer_Action();
  void DHButton_Action();
  void SaveButton_Action();
  void DHThread_Run();
  void Timer100ms_Action();
  void DSButton_Action();

  void Event_Close();

  // The device features off (disconnected) and on (connected).
  void DisableUI();
  void EnableUI();

  // Scrolls a text area to the end of its text.
  void ScrollDown(ConsoleTextArea& area);

  // The area that holds the controls; window coordinates are its coordinates.
  QWidget& contentArea() const { return *content_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // A visual control's place in the design, in its parent's coordinates.
  struct Placement {
    QWidget* control;
    QRect design;
    QSize parent_design;
    unsigned locks;
  };

  void place(QWidget& control, const char* name, QWidget& parent, QRect window_rect,
             unsigned locks);
  void coverChild(GroupBox& box, const QRect& child);
  void applyEdgeLocks(const QWidget& parent);
  void applyTabOrder();
  void handle(const char* name, void (TELVAR::*handler)());
  static void notifyHandler(const char* name);

  std::vector<Placement> placements_;
};
