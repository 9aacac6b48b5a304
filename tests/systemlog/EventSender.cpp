// Sends one event of every kind through this system's log, as the program does, for the tests that read
// the log back. Usage: event_sender <target text> [<repeat the text to at least this many bytes>]
#include "systemlog/SystemEvents.h"

#include <QCoreApplication>
#include <QFile>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    QString text = QString::fromUtf8(argv[1]);
    if (argc > 2) {
        const qsizetype size = QByteArray(argv[2]).toLongLong();
        while (text.toUtf8().size() < size)
            text += text;
    }
    const std::unique_ptr<SystemEvents> events = SystemEvents::forThisSystem();
    events->started(QStringLiteral("9.8.7"));
    events->targetDown(QStringLiteral("camera"), QStringLiteral("Cam3"), text);
    events->targetBackUp(QStringLiteral("camera"), QStringLiteral("Cam3"), text);
    events->failureCommandStarted(QStringLiteral("/usr/local/bin/alarm"));
    events->failureCommandFailed(QStringLiteral("/usr/local/bin/alarm"), QStringLiteral("no such file"));
    events->entryKeptAside(QStringLiteral("PylvaneLog.txt"), QStringLiteral("1/2/2026 10:00:00  - Cam 3 is down"));
    events->keptEntryWentIn(QStringLiteral("PylvaneLog.txt"), QStringLiteral("1/2/2026 10:00:00  - Cam 3 is down"));
    events->settingsNotSaved(QStringLiteral("/home/u/.config/Pylvane/Pylvane.conf"));
    events->metricsNotWritten(QStringLiteral("/srv/metrics"), QStringLiteral("the folder does not exist"));
    events->metricsWrittenAgain(QStringLiteral("/srv/metrics"));
    events->historyProblem(QStringLiteral("the disk is full: the cycle of 2026-01-02T10:00:00 is not in it"));
    events->ended(QStringLiteral("9.8.7"));
    return 0;
}
