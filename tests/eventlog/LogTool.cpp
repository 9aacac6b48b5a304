// Inserts entries into a log file from a separate process, so that tests and benchmarks can kill
// it mid-write, run several of them against one file, or run it as another user or in a mount
// namespace of its own.
//   pylvane_logtool <log file> <count> <label word>
//       Entry i gets the label " - <word><i> OFF   ". Entries that had to be queued are retried at
//       the end for up to 30 s. Prints "queued <n>", the number of insertions that had to wait, and
//       exits 0 when every entry went in.
//   pylvane_logtool <log file> -
//       Inserts one entry " - <word> OFF   " per word read from standard input and answers each
//       with "ok" or "queued".
//   pylvane_logtool <log file> cycle <count> <label word>
//       As a check cycle does: holds the entries, makes <count> of them, printing "kept <word><i>"
//       for each once it is kept aside, then puts them in together and prints "done".
//   pylvane_logtool <log file> hold <ms>
//       Takes the log's lock, prints "ready", and lets it go after <ms> milliseconds.
// Either way it prints "ready" first, once it is about to insert.
#include "eventlog/EventLog.h"
#include "eventlog/LogFile.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const bool fromInput = argc == 3 && QByteArray(argv[2]) == "-";
    const bool cycle = argc == 5 && QByteArray(argv[2]) == "cycle";
    if (argc != 4 && !fromInput && !cycle) {
        std::fprintf(stderr,
                     "usage: %s <log file> <count> <label word> | %s <log file> - | %s <log file> cycle <count> "
                     "<label word> | %s <log file> hold <ms>\n",
                     argv[0], argv[0], argv[0], argv[0]);
        return 2;
    }
    if (QByteArray(argv[2]) == "hold") {
        LogFile held(QString::fromLocal8Bit(argv[1]));
        if (held.open(30'000) != LogFile::Lock::Taken)
            return 1;
        std::printf("ready\n");
        std::fflush(stdout);
        QThread::msleep(QByteArray(argv[3]).toULong());
        return 0;
    }
    const std::unique_ptr<Platform> platform = Platform::forThisSystem();
    EventLog log(*platform, QString::fromLocal8Bit(argv[1]));
    const auto label = [](const QString& word) { return QStringLiteral(" - %1 OFF   ").arg(word); };
    std::printf("ready\n");
    std::fflush(stdout);

    if (cycle) {
        const QString word = QString::fromLocal8Bit(argv[4]);
        log.holdEntries();
        for (int i = 1; i <= QByteArray(argv[3]).toInt(); ++i) {
            const QString name = word + QString::number(i);
            if (log.WriteLogEntry(HeaderStyle::HostHeader, label(name)))
                std::printf("kept %s\n", qPrintable(name));
            std::fflush(stdout);
        }
        const bool written = log.writeQueuedEntries();
        std::printf("done\n");
        return written ? 0 : 1;
    }

    if (fromInput) {
        for (std::string word; std::getline(std::cin, word);) {
            std::printf("%s\n", log.WriteLogEntry(HeaderStyle::HostHeader, label(QString::fromStdString(word)))
                                    ? "ok"
                                    : "queued");
            std::fflush(stdout);
        }
        return 0;
    }

    const int count = QByteArray(argv[2]).toInt();
    const QString word = QString::fromLocal8Bit(argv[3]);
    int queued = 0;
    for (int i = 1; i <= count; ++i) {
        if (!log.WriteLogEntry(HeaderStyle::HostHeader, label(word + QString::number(i))))
            ++queued;
    }
    QElapsedTimer retrying;
    retrying.start();
    while (!log.writeQueuedEntries() && !retrying.hasExpired(30'000))
        QThread::msleep(50);
    std::printf("queued %d\n", queued);
    return log.writeQueuedEntries() ? 0 : 1;
}
