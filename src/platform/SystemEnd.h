#pragma once

#include <QObject>

#include <memory>

// The ways the system, rather than the user at the main window, ends the program. On POSIX the
// signals SIGTERM, SIGHUP and SIGINT arrive as endRequested() through the event loop, never inside
// the signal handler; a second one of the same kind ends the program at once. On Windows the end
// of the session comes through Qt (commitDataRequest, then aboutToQuit), and the program asks the
// system to start it again, in the same working directory, when an installer closes it.
class SystemEnd : public QObject {
    Q_OBJECT
public:
    // One at a time: it takes the process's end signals over until it is destroyed. On Windows a
    // start by the system after such a close first returns to the working directory of the run closed.
    // Without `hangUpEnds` SIGHUP is left to whoever else handles it: a run without a desktop reads its settings
    // again on it (see ServiceSignals).
    static std::unique_ptr<SystemEnd> install(bool hangUpEnds = true);

signals:
    void endRequested();

protected:
    SystemEnd() = default;
};
