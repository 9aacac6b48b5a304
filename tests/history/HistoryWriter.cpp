// Writes cycles into history.sqlite in a folder, one after another, until killed, printing each cycle's end time
// as soon as its commit returned. Usage: history_writer <folder> <first end time in ms>
#include "history/HistoryDatabase.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    if (argc < 3)
        return 2;
    HistoryDatabase database(QString::fromLocal8Bit(argv[1]));
    if (database.open() != HistoryDatabase::Open::Ready) {
        std::fprintf(stderr, "not open: %s\n", qPrintable(database.problem()));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (int64_t ended = std::atoll(argv[2]);; ended += 1000) {
        HistoryCycle cycle;
        cycle.endedMs = ended;
        cycle.durationMs = 700;
        cycle.startedBy = QStringLiteral("schedule");
        for (int n = 1; n <= 35; ++n)
            cycle.checks.push_back({QStringLiteral("camera"), n, QStringLiteral("Cam%1").arg(n),
                                    QStringLiteral("10.0.0.%1").arg(n),
                                    n % 3 == 0 ? QStringLiteral("down") : QStringLiteral("up"),
                                    n % 3 == 0 ? std::nullopt : std::optional<int>(n)});
        if (database.writeCycle(cycle) != HistoryDatabase::Outcome::Written) {
            std::fprintf(stderr, "not written: %s\n", qPrintable(database.problem()));
            return 1;
        }
        std::printf("%lld\n", static_cast<long long>(ended));
        std::fflush(stdout);
    }
}
