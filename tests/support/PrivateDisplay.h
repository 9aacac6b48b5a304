#pragma once

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>

#include <signal.h>

// An X display of the test's own, as hostile as a row needs it: a real server (Xvfb) that can be stopped with
// SIGSTOP, a display number with nothing behind it, or a server that answers the first connection and then no
// other, as a server that stops just after a look would. Everything it starts ends with it, and no socket or lock
// file stays behind.
class PrivateDisplay {
public:
    enum class Kind { Xvfb, Nothing, AnswersOnce };

    explicit PrivateDisplay(Kind kind)
    {
        if (kind == Kind::Xvfb) {
            // Xvfb picks a free number and says it on standard output.
            server_.start(QStringLiteral("Xvfb"),
                          {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                           QStringLiteral("0"), QStringLiteral("800x600x24"), QStringLiteral("-nolisten"),
                           QStringLiteral("tcp")});
            if (server_.waitForReadyRead(10'000))
                name_ = QLatin1Char(':') + QString::fromLatin1(server_.readLine()).trimmed();
            return;
        }
        // A number that no server uses: neither a lock file nor a socket file names it.
        for (int n = 900 + int(QCoreApplication::applicationPid() % 90); n < 1'000 && name_.isEmpty(); ++n) {
            if (!QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)) &&
                !QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
                name_ = QStringLiteral(":%1").arg(n);
        }
        if (kind == Kind::AnswersOnce && !name_.isEmpty()) {
            // In the abstract namespace, where libxcb looks first: no file to leave behind.
            server_.start(QStringLiteral("python3"),
                          {QStringLiteral("-c"), QString::fromLatin1(kAnswersOnce), name_.mid(1)});
            if (!server_.waitForReadyRead(10'000) || !server_.readLine().startsWith("ready"))
                name_.clear();
        }
    }
    ~PrivateDisplay()
    {
        if (server_.state() == QProcess::NotRunning)
            return;
        resume();
        // Xvfb removes its socket and lock file when asked to end.
        server_.terminate();
        if (!server_.waitForFinished(10'000)) {
            server_.kill();
            server_.waitForFinished(5'000);
        }
    }
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;

    static bool available() { return !QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty(); }
    // ":N"; empty when the display could not be made.
    const QString& name() const { return name_; }
    // A server that holds every connection and answers none, until resumed.
    void pause() { ::kill(pid_t(server_.processId()), SIGSTOP); }
    void resume() { ::kill(pid_t(server_.processId()), SIGCONT); }

private:
    static constexpr const char* kAnswersOnce = R"(
import socket, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
s.bind("\0/tmp/.X11-unix/X" + sys.argv[1])
s.listen(16)
print("ready", flush=True)
c, _ = s.accept()
c.recv(64)
c.send(b"\0")
c.close()
held = []
while True:
    held.append(s.accept()[0])
)";

    QProcess server_;
    QString name_;
};
