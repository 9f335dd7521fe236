#include "window/telvar.h"

void TELVAR::DSButton_Action() {}
