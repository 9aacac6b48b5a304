#include "platform/SystemColours.h"

QColor applicationWorkspaceColour()
{
    // The desktops here have no such system colour: the classic workspace grey stands in.
    return QColor(0xab, 0xab, 0xab);
}
