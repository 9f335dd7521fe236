#include "window/telvar.h"

void TELVAR::SerialText_TextChange() {}

void TELVAR::SendCommand1_Action() {}

void TELVAR::SendCommand2_Action() {}

void TELVAR::SerialTimer_Action() {}

void TELVAR::ClearButton_Action() {}

void TELVAR::ScrollDown(QPlainTextEdit&) {}
