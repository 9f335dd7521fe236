#include "window/telvar.h"

void TELVAR::DHThread_Run() {}
