#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

// A session bus of the test's own (a dbus-daemon it starts and stops), and on it, when asked, the
// notification stand-in recording every Notify call into a file.
class PrivateBus {
public:
    PrivateBus()
    {
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        if (daemon_.waitForReadyRead(10'000))
            address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        for (QProcess* process : {&standIn_, &daemon_}) {
            process->kill();
            process->waitForFinished(5'000);
        }
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // Empty when no bus could be started.
    const QString& address() const { return address_; }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
        return environment;
    }

    // Starts the stand-in with `record` as its file; true once it holds the service name.
    bool startStandIn(const QString& program, const QString& record)
    {
        standIn_.setProcessEnvironment(environment());
        standIn_.start(program, {record});
        return standIn_.waitForReadyRead(10'000) && standIn_.readLine().startsWith("ready");
    }

    // To stop the stand-in (SIGSTOP), so that it holds the name and never answers.
    qint64 standInPid() const { return standIn_.processId(); }

private:
    QProcess daemon_;
    QProcess standIn_;
    QString address_;
};
