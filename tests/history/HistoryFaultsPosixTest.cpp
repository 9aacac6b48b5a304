#include "history/HistoryTestData.h"
#include "support/FileBytes.h"
#include "support/RecordingEvents.h"
#include "support/TempDir.h"
#include "support/WaitFor.h"

#include "history/HistoryDatabase.h"
#include "history/HistoryFiles.h"
#include "history/HistoryRecorder.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace HistoryTestData;
using Outcome = HistoryDatabase::Outcome;

constexpr int64_t kNow = 1'780'000'000'000;
const QByteArray kPrivate = "the victim's own bytes\n";

// A database of `cycles` cycles, closed, so that all of it is in the file itself.
void makeDatabase(const QString& folder, int cycles)
{
    HistoryDatabase database(folder);
    ASSERT_EQ(database.open(), HistoryDatabase::Open::Ready);
    for (int i = 0; i < cycles; ++i)
        ASSERT_EQ(database.writeCycle(HistoryTestData::cycle(kNow - 100'000'000 + i * 1000, 10)), Outcome::Written);
}

struct Fault {
    const char* name;
    // Puts the fault in place; what it returns is held until the first cycle was tried.
    std::function<std::shared_ptr<void>(const QString& folder, const QString& victim)> plant;
    Outcome first;    // what becomes of the first cycle
    const char* said; // a part of the one event told; the fault is told once however many cycles meet it
    bool off;         // no history in this run: the second cycle is not written either
    bool needsRoot = false;
};

void PrintTo(const Fault& fault, std::ostream* out)
{
    *out << fault.name;
}

std::shared_ptr<void> nothing()
{
    return nullptr;
}

std::shared_ptr<void> linkAt(const QString& folder, const QString& victim, const char* name)
{
    EXPECT_TRUE(QFile::link(victim, folder + QLatin1Char('/') + QLatin1String(name)));
    return nothing();
}

const Fault kFaults[] = {
    {"LinkAtTheDatabase", [](const QString& f, const QString& v) { return linkAt(f, v, "history.sqlite"); },
     Outcome::Failed, "history.sqlite is a link; no history is kept in this run", true},
    {"LinkAtTheWal", [](const QString& f, const QString& v) { return linkAt(f, v, "history.sqlite-wal"); },
     Outcome::Failed, "history.sqlite-wal is a link", true},
    {"LinkAtTheShm", [](const QString& f, const QString& v) { return linkAt(f, v, "history.sqlite-shm"); },
     Outcome::Failed, "history.sqlite-shm is a link", true},
    {"LinkToNothingAtTheWal",
     [](const QString& f, const QString& v) { return linkAt(f, v + QStringLiteral(".made"), "history.sqlite-wal"); },
     Outcome::Failed, "history.sqlite-wal is a link", true},
    {"FolderAtTheDatabase",
     [](const QString& f, const QString&) {
         QDir(f).mkdir(QStringLiteral("history.sqlite"));
         return nothing();
     },
     Outcome::Failed, "history.sqlite is a folder", true},
    {"FolderAtTheShm",
     [](const QString& f, const QString&) {
         QDir(f).mkdir(QStringLiteral("history.sqlite-shm"));
         return nothing();
     },
     Outcome::Failed, "history.sqlite-shm is a folder", true},
    {"SecondNameOfTheDatabase",
     [](const QString& f, const QString& v) {
         EXPECT_EQ(::link(QFile::encodeName(v).constData(), QFile::encodeName(f + "/history.sqlite").constData()), 0);
         return nothing();
     },
     Outcome::Failed, "history.sqlite has more than one name", true},
    {"AnotherUsersDatabase",
     [](const QString& f, const QString&) {
         makeDatabase(f, 1);
         EXPECT_EQ(::chown(QFile::encodeName(f + "/history.sqlite").constData(), 65534, 65534), 0);
         return nothing();
     },
     Outcome::Failed, "history.sqlite belongs to another user", true, true},
    {"AFolderOthersMayChange",
     [](const QString& f, const QString&) {
         ::chmod(QFile::encodeName(f).constData(), 0777);
         return nothing();
     },
     Outcome::Failed, "the state folder may be changed by another user", true},
    {"NotADatabase",
     [](const QString& f, const QString&) {
         writeFile(f + QStringLiteral("/history.sqlite"), QByteArray("not a database, only text\n").repeated(300));
         return nothing();
     },
     Outcome::Written, "history.sqlite was damaged and is kept as history.sqlite.damaged-", false},
    {"APageDamaged",
     [](const QString& f, const QString&) {
         makeDatabase(f, 300);
         QFile file(f + QStringLiteral("/history.sqlite"));
         EXPECT_TRUE(file.open(QIODevice::ReadWrite));
         EXPECT_GT(file.size(), 20 * 4096);
         file.seek(8 * 4096);
         file.write(QByteArray(8 * 4096, '\x5a'));
         return nothing();
     },
     Outcome::Written, "history.sqlite was damaged and is kept as history.sqlite.damaged-", false},
    {"HeldByAnotherProgram",
     [](const QString& f, const QString&) -> std::shared_ptr<void> {
         makeDatabase(f, 1);
         auto holder = std::make_shared<SqliteConnection>();
         EXPECT_EQ(holder->open((f + QStringLiteral("/history.sqlite")).toStdString(), SQLITE_OPEN_READWRITE),
                   SQLITE_OK);
         EXPECT_EQ(holder->exec("BEGIN EXCLUSIVE; INSERT INTO cycles (ended_ms, duration_ms, started_by) "
                                "VALUES (1, 1, 'X')"),
                   SQLITE_OK);
         return holder;
     },
     Outcome::Locked, "was held by another program for over 1 s: the cycle of", false},
    {"WrittenByANewerPylvane",
     [](const QString& f, const QString&) {
         SqliteConnection connection;
         EXPECT_EQ(connection.open((f + QStringLiteral("/history.sqlite")).toStdString(),
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE),
                   SQLITE_OK);
         EXPECT_EQ(connection.exec("CREATE TABLE later (x); PRAGMA user_version = 2"), SQLITE_OK);
         return nothing();
     },
     Outcome::Failed, "written by a newer Pylvane (layout 2; this one knows 1)", true},
};

class HistoryFaults : public ::testing::TestWithParam<Fault> {};

// Each fault costs the history at most, never the cycle: the recorder answers at once, says the fault once in the
// system's log, and leaves what it found as it was, apart from a damaged file, which it keeps under another name.
TEST_P(HistoryFaults, CostTheHistoryOnlyAndAreSaidOnce)
{
    const Fault& fault = GetParam();
    if (fault.needsRoot && ::geteuid() != 0)
        GTEST_SKIP() << "needs root: only root can give a file to another user";
    TempDir dir;
    const QString folder = dir.path(QStringLiteral("pylvane"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ::chmod(QFile::encodeName(folder).constData(), 0700);
    const QString victim = dir.path(QStringLiteral("victim"));
    writeFile(victim, kPrivate);
    std::shared_ptr<void> held = fault.plant(folder, victim);
    const QStringList before = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

    RecordingEvents events;
    HistoryRecorder recorder(folder, 400, &events);
    recorder.record(report(kNow));
    ASSERT_TRUE(recorder.waitIdle(10'000));
    EXPECT_EQ(recorder.lastOutcome(), fault.first);
    held.reset();
    recorder.record(report(kNow + 1000));
    ASSERT_TRUE(recorder.waitIdle(10'000));
    EXPECT_EQ(recorder.lastOutcome(), fault.off ? Outcome::Failed : Outcome::Written);

    ASSERT_TRUE(waitFor([&] { return !events.events.isEmpty(); }));
    QTest::qWait(50); // nothing more comes
    ASSERT_EQ(events.messages().size(), 1) << events.messages().join('\n').toStdString();
    EXPECT_EQ(events.events.first().kind, SystemEventKind::HistoryProblem);
    EXPECT_TRUE(events.messages().first().contains(QLatin1String(fault.said)))
        << events.messages().first().toStdString();

    EXPECT_EQ(readFile(victim), kPrivate) << "what a link led to is untouched";
    EXPECT_FALSE(QFileInfo::exists(victim + QStringLiteral(".made"))) << "nothing is made where a link leads";
    if (fault.off) {
        const QStringList after = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        EXPECT_EQ(after, before) << "nothing is added beside what was found";
    } else {
        EXPECT_EQ(scalar(folder + QStringLiteral("/history.sqlite"), "PRAGMA integrity_check"), "ok");
    }
    const QStringList aside = HistoryFiles::setAsideFiles(folder);
    if (QLatin1String(fault.said).contains(QLatin1String("damaged"))) {
        ASSERT_EQ(aside.size(), 1);
        EXPECT_EQ(scalar(folder + QStringLiteral("/history.sqlite"), "SELECT count(*) FROM cycles"), "2")
            << "a new file holds both cycles";
    } else {
        EXPECT_TRUE(aside.isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(Table, HistoryFaults, ::testing::ValuesIn(kFaults),
                         [](const ::testing::TestParamInfo<Fault>& info) { return std::string(info.param.name); });

// A full disk costs the cycles that meet it, is said once while it lasts, and keeps every cycle committed before;
// once there is room the next cycle goes in.
TEST(HistoryFullDisk, LosesOnlyTheCyclesThatMeetItAndIsSaidOnce)
{
    TempDir dir;
    const QString folder = dir.path(QStringLiteral("pylvane"));
    RecordingEvents events;
    HistoryRecorder recorder(folder, 400, &events);
    recorder.setPageLimit(12);
    int written = 0;
    int full = 0;
    for (int i = 0; i < 400 && full < 3; ++i) {
        recorder.record(report(kNow + i * 1000, 10));
        ASSERT_TRUE(recorder.waitIdle(10'000));
        const std::optional<Outcome> outcome = recorder.lastOutcome();
        ASSERT_TRUE(outcome == Outcome::Written || outcome == Outcome::DiskFull)
            << int(outcome.value_or(Outcome::Failed));
        (outcome == Outcome::Written ? written : full) += 1;
    }
    ASSERT_EQ(full, 3) << "the file never filled";
    ASSERT_GT(written, 0);
    ASSERT_TRUE(waitFor([&] { return !events.events.isEmpty(); }));
    QTest::qWait(50);
    ASSERT_EQ(events.messages().size(), 1) << events.messages().join('\n').toStdString();
    EXPECT_TRUE(events.messages().first().contains(QLatin1String("the disk is full")));
    const QString path = folder + QStringLiteral("/history.sqlite");
    EXPECT_EQ(scalar(path, "SELECT count(*) FROM cycles"), std::to_string(written));
    EXPECT_EQ(scalar(path, "SELECT count(*) FROM checks"), std::to_string(written * 10));
    EXPECT_EQ(scalar(path, "PRAGMA integrity_check"), "ok");

    recorder.setPageLimit(0);
    recorder.record(report(kNow + 500'000, 10));
    ASSERT_TRUE(recorder.waitIdle(10'000));
    EXPECT_EQ(recorder.lastOutcome(), Outcome::Written);
    EXPECT_EQ(scalar(path, "SELECT count(*) FROM cycles"), std::to_string(written + 1));
}

} // namespace
