// The history's database after 400 days of 35 targets (about 1.2 million checks, bench/HistoryGenerator.h), made
// afresh for each run with another mix of outages. Prints
//   bench: history_db_400d_MB value=<median size> min= max=
// the file's size in millions of bytes once its -wal is checkpointed into it (with what is left of the -wal, which
// should be nothing). The time each database took to make goes to standard error.
#include "HistoryGenerator.h"
#include "Spread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {

constexpr int kDays = 400;

qint64 sizeOf(const QString& path)
{
    return QFile::exists(path) ? QFile(path).size() : 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Beside the build, on the disk the program's state folder would be on, not in a tmpfs.
    QTemporaryDir dir(QCoreApplication::applicationDirPath() + QStringLiteral("/history-bench-XXXXXX"));
    if (!dir.isValid()) {
        std::printf("bench: history_db_400d_MB skipped: no folder for the databases\n");
        return 0;
    }
    std::vector<double> megabytes;
    std::vector<double> seconds;
    for (uint32_t run = 1; run <= Spread::kMinRuns; ++run) {
        const QString path = dir.filePath(QStringLiteral("history-%1.sqlite").arg(run));
        HistoryGenerator::Options options;
        options.days = kDays;
        options.seed = run;
        QElapsedTimer timer;
        timer.start();
        const HistoryGenerator::Result result =
            HistoryGenerator::generate(QFile::encodeName(path).toStdString(), options);
        seconds.push_back(double(timer.elapsed()) / 1000);
        if (!result.error.empty()) {
            std::printf("bench: history_db_400d_MB skipped: %s\n", result.error.c_str());
            return 0;
        }
        const qint64 bytes = sizeOf(path) + sizeOf(path + QStringLiteral("-wal"));
        megabytes.push_back(double(bytes) / 1e6);
        std::fprintf(stderr,
                     "  history %u: %lld cycles, %lld checks (%lld up, %lld down, %lld unknown, %lld confirming), "
                     "%.1f MB, made in %.1f s\n",
                     run, static_cast<long long>(result.cycles), static_cast<long long>(result.checks),
                     static_cast<long long>(result.up), static_cast<long long>(result.down),
                     static_cast<long long>(result.unknown), static_cast<long long>(result.confirming),
                     megabytes.back(), seconds.back());
        // Only the size is kept; nine databases would fill the disk for nothing.
        for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
            QFile::remove(path + suffix);
    }
    Spread::of(megabytes).print("history_db_400d_MB", 1);
    std::fprintf(stderr, "  made in %s s\n", Spread::of(seconds).figures(1).c_str());
    return 0;
}
