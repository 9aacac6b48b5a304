#pragma once

#include <QString>
#include <QStringList>

// How the display that the environment names took a connection, asked before the application object exists and
// without Qt, whose own connection to a server that does not answer waits for good, and to one that refuses ends
// the program.
struct DisplayAnswer {
    enum Kind {
        NoDisplay, // DISPLAY and WAYLAND_DISPLAY are unset
        Answered,  // the server answered, or the display is not one that can be asked this way (Wayland, Windows)
        Refused,   // nothing takes connections there
        Silent,    // the connection was taken and no answer came within the limit: a server that is stopped
    };
    Kind kind = NoDisplay;
    QString name; // as DISPLAY names it: ":99"
};

// DISPLAY's X server is sent the opening of a connection, and any answer within `limitMs` counts.
DisplayAnswer askDisplay(int limitMs);

// Before the application object exists: where the system has no display to show windows on (an SSH session, a
// board without a screen), or the display named refuses or does not answer, Qt would abort or wait for good. The
// program then runs on Qt's offscreen platform, where monitoring, the log and everything else but the windows work,
// and says so in one line on standard error. A platform that QT_QPA_PLATFORM or "-platform" among `arguments` names
// is left as it is.
void chooseOffscreenWithoutDisplay(const QStringList& arguments);
