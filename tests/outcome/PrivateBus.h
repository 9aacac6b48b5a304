#pragma once

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <vector>

#include <signal.h>

// A session bus of the test's own (a dbus-daemon it starts and stops), and on it, when asked, the
// notification stand-ins recording every Notify call into a file.
class PrivateBus {
public:
    PrivateBus()
    {
        // Reached by the programs a test runs as another user, as the socket in /tmp was.
        QFile::setPermissions(socketDir_.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                     QFileDevice::ExeOwner | QFileDevice::ExeGroup |
                                                     QFileDevice::ExeOther);
        // The socket in a folder of the test's own, removed with it: a daemon that is killed leaves its socket,
        // and the default place is /tmp.
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address"),
                       QStringLiteral("--address=unix:dir=") + socketDir_.path()});
        if (daemon_.waitForReadyRead(10'000))
            address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        resume();
        stopStandIns();
        // Asked to end, the daemon removes its socket from /tmp; killed, it would leave it there.
        daemon_.terminate();
        if (!daemon_.waitForFinished(5'000)) {
            daemon_.kill();
            daemon_.waitForFinished(5'000);
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

    // Starts a stand-in with `record` as its file; true once it holds the service name, taken from any
    // stand-in before it, which stays on the bus.
    bool startStandIn(const QString& program, const QString& record)
    {
        QProcess& standIn = *standIns_.emplace_back(std::make_unique<QProcess>());
        standIn.setProcessEnvironment(environment());
        standIn.start(program, {record});
        return standIn.waitForReadyRead(10'000) && standIn.readLine().startsWith("ready");
    }
    void stopStandIns()
    {
        for (const auto& standIn : standIns_) {
            standIn->kill();
            standIn->waitForFinished(5'000);
        }
        standIns_.clear();
    }

    // A bus daemon that takes calls and answers none, until resumed.
    void pause() { ::kill(pid_t(daemon_.processId()), SIGSTOP); }
    void resume() { ::kill(pid_t(daemon_.processId()), SIGCONT); }

    // To stop the latest stand-in (SIGSTOP), so that it holds the name and never answers.
    qint64 standInPid() const { return standIns_.empty() ? 0 : standIns_.back()->processId(); }

private:
    QTemporaryDir socketDir_;
    QProcess daemon_;
    std::vector<std::unique_ptr<QProcess>> standIns_;
    QString address_;
};
