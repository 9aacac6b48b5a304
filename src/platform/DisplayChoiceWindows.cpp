#include "platform/DisplayChoice.h"

// A Windows session always has its desktop to show windows on.
void chooseOffscreenWithoutDisplay(const QStringList&) {}
