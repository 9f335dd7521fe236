#include "window/telvar.h"

void TELVAR::GetCPS_Run() {}

void TELVAR::GetCPSTimer_Action() {}
