#pragma once

#include <QObject>

#include <memory>

// The signals that ask a running Pylvane for something other than its end: SIGUSR1 checks now (`pylvane
// --check-now` sends it), and, for a run without a desktop only, SIGHUP reads the settings again, as daemons do;
// the desktop program leaves SIGHUP to SystemEnd, since a closed terminal sends it. Each arrives through the event
// loop, never inside the handler; signals that come while one is handled fold into one more request, so a storm
// of them costs one request at a time. On Windows neither signal exists: `pylvane --check-now` there sets a named
// event of the running program's own instead.
class ServiceSignals : public QObject {
    Q_OBJECT
public:
    enum class HangUp { LeftAlone, Reloads };

    // One at a time, from before the program says where it runs (see RunMarker) until it ends. `stateFolder`
    // names the running program on systems whose request goes by name.
    static std::unique_ptr<ServiceSignals> install(HangUp hangUp, const QString& stateFolder);

signals:
    void reloadRequested();
    void checkRequested();

protected:
    ServiceSignals() = default;
};
