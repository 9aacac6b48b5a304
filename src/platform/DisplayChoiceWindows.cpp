#include "platform/DisplayChoice.h"

// A Windows session always has its desktop to show windows on.
DisplayAnswer askDisplay(int)
{
    return {DisplayAnswer::Answered, {}};
}

void chooseOffscreenWithoutDisplay(const QStringList&) {}
