#pragma once

#include <QStringList>

// Before the application object exists: where the system has no display to show windows on (an SSH session, a
// board without a screen), Qt would abort for want of a platform plugin. The program then runs on Qt's offscreen
// platform, where monitoring, the log and everything else but the windows work, and says so on standard error.
// A platform that QT_QPA_PLATFORM or "-platform" among `arguments` names is left as it is.
void chooseOffscreenWithoutDisplay(const QStringList& arguments);
