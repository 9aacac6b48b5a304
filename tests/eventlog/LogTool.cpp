// Inserts entries into a log file from a separate process, so that tests and benchmarks can kill
// it mid-write or run two of them against one file.
//   pylvane_logtool <log file> <count> <label word>
// Entry i gets the label " - <word><i> OFF   ". Exits 0 when every insertion succeeded.
#include "eventlog/EventLog.h"
#include "platform/Platform.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <log file> <count> <label word>\n", argv[0]);
        return 2;
    }
    const std::unique_ptr<Platform> platform = Platform::forThisSystem();
    EventLog log(*platform, QString::fromLocal8Bit(argv[1]));
    const int count = QByteArray(argv[2]).toInt();
    const QString word = QString::fromLocal8Bit(argv[3]);
    int failures = 0;
    for (int i = 1; i <= count; ++i) {
        if (!log.WriteLogEntry(HeaderStyle::HostHeader, QStringLiteral(" - %1%2 OFF   ").arg(word).arg(i)))
            ++failures;
    }
    return failures == 0 ? 0 : 1;
}
