#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

// The service manager's notification protocol, spoken by hand as the journal is: one datagram to the socket that
// $NOTIFY_SOCKET names (a path, or an abstract name after '@'), never waiting for it. READY=1 once the schedule is
// armed, RELOADING=1 and READY=1 around a reload, STATUS= with the last cycle's outcome, and WATCHDOG=1 from the
// event loop at half of $WATCHDOG_USEC, STOPPING=1 at the orderly end, so that an event loop that hangs stops it and
// the manager restarts the program. Without $NOTIFY_SOCKET everything here does nothing; a socket that is not there or
// a name too long is said once on standard error and then left alone.
class ServiceNotify : public QObject {
    Q_OBJECT
public:
    // From the environment; the variables are then removed, so that the failure command does not inherit them.
    ServiceNotify();
    ~ServiceNotify() override;
    ServiceNotify(const ServiceNotify&) = delete;
    ServiceNotify& operator=(const ServiceNotify&) = delete;

    void ready();
    void reloading();
    void status(const QString& line);
    void stopping();
    // Starts the watchdog's timer where the manager asked for one.
    void startWatchdog();

    bool active() const { return socket_ >= 0; }
    // The watchdog's interval in milliseconds; 0 for none.
    int watchdogIntervalMs() const { return watchdogMs_; }

    // The monotonic clock in microseconds, as the protocol's MONOTONIC_USEC wants it.
    static quint64 monotonicMicroseconds();

private:
    void send(const QByteArray& message);

    QByteArray address_; // the socket's name as given, '@' made a null byte
    QByteArray shown_;   // as given
    int socket_ = -1;
    bool failedOnce_ = false;
    int watchdogMs_ = 0;
    QTimer watchdog_;
};
