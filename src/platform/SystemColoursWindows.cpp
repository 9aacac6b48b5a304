#include "platform/SystemColours.h"

#include <windows.h>

QColor applicationWorkspaceColour()
{
    const COLORREF colour = GetSysColor(COLOR_APPWORKSPACE);
    return QColor(GetRValue(colour), GetGValue(colour), GetBValue(colour));
}
