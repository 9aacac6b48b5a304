#include "platform/DisplayChoice.h"

#include <cstdio>

void chooseOffscreenWithoutDisplay(const QStringList& arguments)
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return;
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("-platform") || argument == QLatin1String("--platform") ||
            argument.startsWith(QLatin1String("-platform=")) || argument.startsWith(QLatin1String("--platform=")))
            return;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    std::fputs("pylvane: no display found (DISPLAY and WAYLAND_DISPLAY are unset): running on Qt's offscreen "
               "platform; monitoring and the log work as usual\n",
               stderr);
}
