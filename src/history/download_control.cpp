#include "window/telvar.h"

void TELVAR::DHButton_Action() {}

void TELVAR::SaveButton_Action() {}

void TELVAR::Timer100ms_Action() {}
