#include "window/telvar.h"

void TELVAR::Graph_Paint(Drawing&) {}

void TELVAR::ScrollCPS_ValueChanged() {}
