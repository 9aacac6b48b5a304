#include "HistoryGenerator.h"

#include "history/HistorySchema.h"
#include "history/SqliteConnection.h"

#include <QFile>

#include <sqlite3.h>

#include <array>
#include <chrono>
#include <random>
#include <vector>

namespace {

constexpr int64_t kDayMs = 24 * 60 * 60 * 1000;
constexpr int64_t kSecondLookAfterMs = 20 * 1000;
constexpr int kDevices = 10;
constexpr int kCameras = 10;
// The camera that is given a new address half-way, and the address.
constexpr int kMovedCamera = 3;
constexpr const char* kMovedCameraText = "192.168.1.123";

enum class Kind { Device, Camera, Process };

struct Target {
    Kind kind;
    int number;
    int64_t series = 0;
    // Checks still to come down in the outage under way; 0 when up.
    int outageLeft = 0;
    // Found down by this cycle and waiting for the second look.
    bool confirming = false;
};

// How often things go wrong, per scheduled check: cameras drop off more than switches, processes seldom stop.
struct Odds {
    double outage;
    double unknown;
};
Odds oddsOf(Kind kind)
{
    switch (kind) {
    case Kind::Device:
        return {1.0 / 900, 1.0 / 700};
    case Kind::Camera:
        return {1.0 / 350, 1.0 / 500};
    case Kind::Process:
        return {1.0 / 1500, 1.0 / 2000};
    }
    return {0, 0};
}

const char* kindName(Kind kind)
{
    return kind == Kind::Device ? "device" : kind == Kind::Camera ? "camera" : "process";
}

std::string logName(Kind kind, int number)
{
    return (kind == Kind::Device ? "Device" : kind == Kind::Camera ? "Cam" : "Process") + std::to_string(number);
}

std::string textOf(Kind kind, int number)
{
    switch (kind) {
    case Kind::Device:
        return "10.0.0." + std::to_string(number);
    case Kind::Camera:
        return "192.168.1." + std::to_string(20 + number);
    case Kind::Process:
        return "worker" + std::to_string(number);
    }
    return {};
}

class Writer {
public:
    Writer(SqliteConnection& db, HistoryGenerator::Result& result)
        : db_(db), result_(result),
          cycle_(db, "INSERT INTO cycles (ended_ms, duration_ms, started_by) VALUES (?, ?, ?)"),
          check_(db, "INSERT INTO checks (series, ended_ms, cycle, state, rtt_ms) VALUES (?, ?, ?, ?, ?)"),
          series_(db, "INSERT INTO series (kind, number, log_name, text) VALUES (?, ?, ?, ?)")
    {
    }

    bool prepared() const
    {
        return cycle_.prepared() == SQLITE_OK && check_.prepared() == SQLITE_OK && series_.prepared() == SQLITE_OK;
    }

    int64_t addSeries(Kind kind, int number, const std::string& text)
    {
        series_.reset();
        series_.bind(1, std::string_view(kindName(kind)));
        series_.bind(2, int64_t(number));
        series_.bind(3, std::string_view(logName(kind, number)));
        series_.bind(4, std::string_view(text));
        if (!done(series_.step(), "a series"))
            return 0;
        ++result_.series;
        return sqlite3_last_insert_rowid(db_.handle());
    }

    int64_t addCycle(int64_t endedMs, int64_t durationMs, const char* startedBy)
    {
        cycle_.reset();
        cycle_.bind(1, endedMs);
        cycle_.bind(2, durationMs);
        cycle_.bind(3, std::string_view(startedBy));
        if (!done(cycle_.step(), "a cycle"))
            return 0;
        ++result_.cycles;
        return sqlite3_last_insert_rowid(db_.handle());
    }

    bool addCheck(int64_t series, int64_t endedMs, int64_t cycle, const char* state, int64_t rttMs)
    {
        check_.reset();
        check_.bind(1, series);
        check_.bind(2, endedMs);
        check_.bind(3, cycle);
        check_.bind(4, std::string_view(state));
        if (rttMs >= 0)
            check_.bind(5, rttMs);
        else
            check_.bindNull(5);
        if (!done(check_.step(), "a check"))
            return false;
        ++result_.checks;
        const std::string_view s(state);
        (s == HistorySchema::kUp        ? result_.up
         : s == HistorySchema::kDown    ? result_.down
         : s == HistorySchema::kUnknown ? result_.unknown
                                        : result_.confirming)++;
        return true;
    }

    bool exec(const char* sql) { return done(db_.exec(sql) == SQLITE_OK ? SQLITE_DONE : SQLITE_ERROR, sql); }

private:
    bool done(int rc, const char* what)
    {
        if (rc == SQLITE_DONE)
            return true;
        if (result_.error.empty())
            result_.error = std::string("writing ") + what + ": " + db_.errorMessage();
        return false;
    }

    SqliteConnection& db_;
    HistoryGenerator::Result& result_;
    SqliteStatement cycle_;
    SqliteStatement check_;
    SqliteStatement series_;
};

} // namespace

std::string HistoryGenerator::currentText(const std::string& kind, int number)
{
    if (kind == "camera" && number == kMovedCamera)
        return kMovedCameraText;
    return textOf(kind == "device" ? Kind::Device : kind == "camera" ? Kind::Camera : Kind::Process, number);
}

HistoryGenerator::Result HistoryGenerator::generate(const std::string& path, const Options& options)
{
    Result result;
    // Made here first, so that an existing file, or a link planted at the name, is refused rather than filled
    // (O_EXCL, CREATE_NEW). Not fopen's "x": Windows' C library takes it for "w" and empties the file.
    QFile file(QFile::decodeName(path.c_str()));
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return {"cannot create " + path + ": " + file.errorString().toStdString()};
    file.close();
    SqliteConnection db;
    if (db.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW) != SQLITE_OK)
        return {"cannot open " + path};
    // WAL as the program keeps the file; no syncs, as a lost generator run is simply run again.
    for (const std::string& sql :
         {std::string("PRAGMA journal_mode=WAL"), std::string("PRAGMA synchronous=OFF"), std::string("BEGIN"),
          std::string(HistorySchema::kCreateV1), "PRAGMA user_version=" + std::to_string(HistorySchema::kVersion)}) {
        if (db.exec(sql) != SQLITE_OK)
            return {"making the tables: " + db.errorMessage()};
    }
    Writer rows(db, result);
    if (!rows.prepared()) {
        result.error = "preparing the statements: " + db.errorMessage();
        return result;
    }

    std::vector<Target> targets;
    for (int n = 1; n <= kDevices; ++n)
        targets.push_back({Kind::Device, n});
    for (int n = 1; n <= kCameras; ++n)
        targets.push_back({Kind::Camera, n});
    for (int n = 1; n <= kTargets - kDevices - kCameras; ++n)
        targets.push_back({Kind::Process, n});
    for (Target& target : targets) {
        target.series = rows.addSeries(target.kind, target.number, textOf(target.kind, target.number));
        if (target.series == 0)
            return result;
    }

    std::mt19937 random(options.seed);
    std::uniform_real_distribution<double> chance(0, 1);
    std::uniform_int_distribution<int64_t> drift(-60'000, 60'000);
    std::geometric_distribution<int> shortOutage(1.0 / 3);   // mean about 3 checks, under an hour
    std::geometric_distribution<int> longOutage(1.0 / 40);   // about half a day
    std::lognormal_distribution<double> deviceRtt(0.0, 0.6); // about a millisecond on the local network
    std::lognormal_distribution<double> cameraRtt(1.5, 0.7); // cameras on Wi-Fi: a few milliseconds

    const int64_t endMs =
        options.endMs != 0
            ? options.endMs
            : std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
                  .count();
    const int64_t spanMs = int64_t(options.days) * kDayMs;
    const int64_t startMs = endMs - spanMs;
    const int64_t count = options.intervalMs > 0 ? spanMs / options.intervalMs : 0;
    int64_t day = 0;
    std::vector<Target*> confirming;
    for (int64_t i = 0; i < count; ++i) {
        // Counted back from the end, which the last cycle meets exactly.
        int64_t endedMs = endMs - (count - 1 - i) * options.intervalMs;
        if (i + 1 < count)
            endedMs += drift(random);
        if (i == count / 2) {
            Target& moved = targets[kDevices + kMovedCamera - 1];
            moved.series = rows.addSeries(Kind::Camera, kMovedCamera, kMovedCameraText);
            if (moved.series == 0)
                return result;
        }
        // A day's cycles go in one transaction; the program commits each cycle, which costs time, not space.
        if ((endedMs - startMs) / kDayMs != day) {
            day = (endedMs - startMs) / kDayMs;
            if (!rows.exec("COMMIT") || !rows.exec("BEGIN"))
                return result;
        }

        struct Found {
            const char* state;
            int64_t rttMs;
        };
        std::array<Found, kTargets> found{};
        int64_t durationMs = 30 + int64_t(chance(random) * 60);
        for (size_t t = 0; t < targets.size(); ++t) {
            Target& target = targets[t];
            const Odds odds = oddsOf(target.kind);
            const bool host = target.kind != Kind::Process;
            if (target.outageLeft == 0 && chance(random) < odds.outage) {
                target.outageLeft = 1 + (chance(random) < 0.1 ? longOutage(random) : shortOutage(random));
                target.confirming = true;
            }
            if (chance(random) < odds.unknown) {
                found[t] = {HistorySchema::kUnknown, -1};
            } else if (target.confirming) {
                found[t] = {HistorySchema::kConfirming, -1};
                confirming.push_back(&target);
            } else if (target.outageLeft > 0) {
                found[t] = {HistorySchema::kDown, -1};
            } else {
                const double rtt = target.kind == Kind::Device ? deviceRtt(random) : cameraRtt(random);
                found[t] = {HistorySchema::kUp, host ? int64_t(rtt) : -1};
            }
            if (target.outageLeft > 0 && !target.confirming)
                --target.outageLeft;
            // A silent host waits out the echo's 500 ms.
            if (host && found[t].rttMs < 0 && std::string_view(found[t].state) != HistorySchema::kUnknown)
                durationMs += 500;
        }
        const char* startedBy =
            chance(random) < 1.0 / 250 ? HistorySchema::kStartedByX : HistorySchema::kStartedBySchedule;
        const int64_t cycle = rows.addCycle(endedMs, durationMs, startedBy);
        if (cycle == 0)
            return result;
        for (size_t t = 0; t < targets.size(); ++t) {
            if (!rows.addCheck(targets[t].series, endedMs, cycle, found[t].state, found[t].rttMs))
                return result;
        }

        // The second look: a cycle of its own over the targets waiting for it. A quarter were a blip.
        if (confirming.empty())
            continue;
        const int64_t lookMs = endedMs + kSecondLookAfterMs;
        const int64_t look =
            rows.addCycle(lookMs, 500 + int64_t(chance(random) * 40), HistorySchema::kStartedBySecondLook);
        if (look == 0)
            return result;
        for (Target* target : confirming) {
            target->confirming = false;
            const bool blip = chance(random) < 0.25;
            if (blip)
                target->outageLeft = 0;
            else
                --target->outageLeft;
            const bool host = target->kind != Kind::Process;
            if (!rows.addCheck(target->series, lookMs, look, blip ? HistorySchema::kUp : HistorySchema::kDown,
                               blip && host ? 1 : -1))
                return result;
        }
        confirming.clear();
    }
    // A failure here is in result.error.
    if (rows.exec("COMMIT"))
        rows.exec("PRAGMA wal_checkpoint(TRUNCATE)");
    return result;
}
