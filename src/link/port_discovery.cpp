#include "window/telvar.h"

void TELVAR::PortListUpdater_Action() {}

void TELVAR::SerialPortsPopupMenu_Change() {}

void TELVAR::ConnectButton_Action() {}
