#include "support/FileBytes.h"
#include "support/RecordingEvents.h"
#include "support/TempDir.h"

#include "history/HistoryRecorder.h"
#include "monitor/ReportChanges.h"
#include "outcome/BalloonNotifier.h"
#include "outcome/CycleReporter.h"
#include "outcome/Notice.h"
#include "outcome/Notifier.h"
#include "outcome/StatusCheck.h"
#include "outcome/StatusFile.h"

#include <QApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

#include <QSignalSpy>
#include <QSystemTrayIcon>

#include <gtest/gtest.h>

namespace {

using State = TargetReport::State;

const QDateTime kEnded(QDate(2024, 5, 2), QTime(9, 3, 0), QTimeZone(7200));

// Every target ticked and up, with a text of its own; then the test sets what it needs.
CycleReport allUp()
{
    CycleReport report;
    for (TargetReport& target : report.targets) {
        target.state = State::Up;
        target.text = QStringLiteral("t%1").arg(targetIndex(target.kind, target.number));
    }
    report.ended = kEnded;
    report.durationMs = 1500;
    return report;
}

int at(TargetKind kind, int number)
{
    return targetIndex(kind, number);
}

// The status file of `report` with one field changed.
QByteArray withField(const CycleReport& report, const QString& key, const QJsonValue& value)
{
    QJsonObject status = QJsonDocument::fromJson(StatusFile::json(
                                                     report, [](int) { return kEnded; }, 1010))
                             .object();
    status.insert(key, value);
    return QJsonDocument(status).toJson();
}

class RecordingNotifier : public Notifier {
public:
    QList<Notice> shown;
    void show(const Notice& notice) override { shown << notice; }
};

TEST(Notice, NamesWhatWentDownFirstThenWhatCameBackEachInCycleOrder)
{
    CycleReport report = allUp();
    report.targets[at(TargetKind::Cam, 3)] = {TargetKind::Cam, 3, QStringLiteral("192.168.1.23"), State::Down};
    report.targets[at(TargetKind::Device, 9)].state = State::Down;
    const Notice notice =
        Notice::about(report, {{at(TargetKind::Device, 9), at(TargetKind::Cam, 3)}, {at(TargetKind::Process, 2)}});
    EXPECT_EQ(notice.title, "Pylvane: 2 targets down");
    EXPECT_EQ(notice.body(), "Down: Device 9 t8\nDown: IP Cam 3 192.168.1.23\nBack up: Services and Apps 2 t21");
    EXPECT_TRUE(notice.urgent);

    report.targets[at(TargetKind::Device, 9)].state = State::Up;
    EXPECT_EQ(Notice::about(report, {{at(TargetKind::Cam, 3)}, {}}).title, "Pylvane: 1 target down");
    report.targets[at(TargetKind::Cam, 3)].state = State::Up;
    const Notice back = Notice::about(report, {{}, {at(TargetKind::Cam, 3)}});
    EXPECT_EQ(back.title, "Pylvane: all targets up again");
    EXPECT_EQ(back.body(), "Back up: IP Cam 3 192.168.1.23");
    EXPECT_FALSE(back.urgent);
}

TEST(Notice, StopsAfterEightLinesAndFitsWholeLinesIntoALimit)
{
    CycleReport report = allUp();
    ReportChanges::Changes changes;
    for (int i = 0; i < 11; ++i) {
        report.targets[i].state = State::Down;
        changes.wentDown << i;
    }
    const QStringList lines = Notice::about(report, changes).body().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 9);
    EXPECT_EQ(lines.at(7), "Down: Device 8 t7");
    EXPECT_EQ(lines.at(8), "and 3 more");

    // Windows shows 255 characters of a balloon: whole lines only, the rest counted.
    for (TargetReport& target : report.targets)
        target.text = QString(40, QLatin1Char('x'));
    const QString fitted = Notice::about(report, changes).body(255);
    EXPECT_LE(fitted.size(), 255);
    EXPECT_TRUE(fitted.endsWith(QStringLiteral("\nand 7 more"))) << qPrintable(fitted);
    report.targets[0].text = QString(400, QLatin1Char('y'));
    EXPECT_EQ(Notice::about(report, {{0}, {}}).body(255).size(), 255);
}

// The report's consumer: a notice only after a cycle that changed something, and only while wanted;
// the status file after every cycle; the system's log hears of each target that went down or came
// back, whether notices are wanted or not.
TEST(CycleReporter, NoticesOnlyChangesWhileSwitchedOnAndWritesTheFileEveryCycle)
{
    TempDir dir;
    RecordingNotifier notifier;
    RecordingEvents events;
    CycleReporter reporter(notifier, dir.path(QStringLiteral("state/pylvane")));
    reporter.setSystemEvents(&events);
    CycleReport report = allUp();
    report.targets[5].state = State::Down;
    EXPECT_TRUE(reporter.report(report, 1010));
    ASSERT_EQ(notifier.shown.size(), 1);
    EXPECT_EQ(notifier.shown.first().lines, QStringList{"Down: Device 6 t5"});
    EXPECT_TRUE(reporter.report(report, 1010));
    EXPECT_EQ(notifier.shown.size(), 1) << "an unchanged cycle shows nothing";
    reporter.setNotifyChanges(false);
    report.targets[5].state = State::Up;
    EXPECT_TRUE(reporter.report(report, 1010));
    EXPECT_EQ(notifier.shown.size(), 1) << "switched off";
    reporter.setNotifyChanges(true);
    report.targets[5].state = State::Down;
    reporter.report(report, 1010);
    EXPECT_EQ(notifier.shown.size(), 2);
    QStringList heard;
    for (const SystemEvent& event : std::as_const(events.events))
        heard << event.message;
    EXPECT_EQ(heard, QStringList({"Device6 t5 is down", "Device6 t5 is back up", "Device6 t5 is down"}));
    EXPECT_EQ(events.events.value(0).targetKind, "device");
}

// A place that cannot hold the file costs the file and nothing else, and the next cycle tries again.
TEST(CycleReporter, AFolderThatCannotBeWrittenCostsOnlyTheFileUntilItCan)
{
    TempDir dir;
    const QString folder = dir.path(QStringLiteral("pylvane"));
    writeFile(folder, "a file in the folder's place");
    RecordingNotifier notifier;
    CycleReporter reporter(notifier, folder);
    CycleReport report = allUp();
    report.targets[0].state = State::Down;
    EXPECT_FALSE(reporter.report(report, 1010));
    EXPECT_EQ(notifier.shown.size(), 1);
    EXPECT_EQ(readFile(folder), "a file in the folder's place");
    ASSERT_TRUE(QFile::remove(folder));
    EXPECT_TRUE(reporter.report(report, 1010));
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/status.json")).isFile());
}

// Cam 1's share up over the last day, as status.json tells it after each cycle of a row: null before the first
// check that knew, then up/(up+down) of the checks of its address, unknowns and second looks counting in neither.
struct UptimeStep {
    State state;
    bool confirming = false;
    const char* text = "192.168.1.21";
};
struct UptimeRow {
    const char* name;
    std::vector<UptimeStep> steps;
    std::vector<QJsonValue> told; // after each step
};

void PrintTo(const UptimeRow& row, std::ostream* out)
{
    *out << row.name;
}

class StatusUptime : public ::testing::TestWithParam<UptimeRow> {};

TEST_P(StatusUptime, IsNullBeforeTheFirstCheckThatKnewAndTheShareUpAfter)
{
    TempDir dir;
    const QString folder = dir.path(QStringLiteral("pylvane"));
    RecordingNotifier notifier;
    HistoryRecorder history(folder, 400, nullptr);
    CycleReporter reporter(notifier, folder);
    reporter.setHistory(&history);
    CycleReport report = allUp();
    report.ended = QDateTime::currentDateTime();
    const int cam1 = at(TargetKind::Cam, 1);
    for (std::size_t i = 0; i < GetParam().steps.size(); ++i) {
        const UptimeStep& step = GetParam().steps[i];
        report.targets[cam1].state = step.state;
        report.targets[cam1].confirming = step.confirming;
        report.targets[cam1].text = QString::fromLatin1(step.text);
        report.ended = report.ended.addSecs(1000);
        ASSERT_TRUE(reporter.report(report, 1010));
        const QJsonObject target = QJsonDocument::fromJson(readFile(folder + QStringLiteral("/status.json")))
                                       .object()
                                       .value(QStringLiteral("targets"))
                                       .toArray()
                                       .at(cam1)
                                       .toObject();
        ASSERT_TRUE(target.contains(QStringLiteral("uptime_24h")));
        EXPECT_EQ(target.value(QStringLiteral("uptime_24h")), GetParam().told[i]) << "after step " << i;
    }
    ASSERT_TRUE(history.waitIdle(10'000));
    EXPECT_EQ(history.lastOutcome(), HistoryDatabase::Outcome::Written);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StatusUptime,
    ::testing::Values(
        UptimeRow{"UnknownThenUp", {{State::Unknown}, {State::Up}}, {QJsonValue::Null, 1.0}},
        UptimeRow{"SecondLookCountsInNeither", {{State::Up}, {State::Up, true}, {State::Down}}, {1.0, 1.0, 0.5}},
        UptimeRow{"UnknownsInBetween",
                  {{State::Down}, {State::Unknown}, {State::Up}, {State::Up}},
                  {0.0, 0.0, 0.5, 0.666667}},
        UptimeRow{"OffBeforeAnyCheck", {{State::Off}}, {QJsonValue::Null}},
        UptimeRow{"AChangedAddressStartsAgain", {{State::Down}, {State::Up, false, "192.168.1.99"}}, {0.0, 1.0}}),
    [](const ::testing::TestParamInfo<UptimeRow>& info) { return std::string(info.param.name); });

// The plugin line from the file: OK, CRITICAL, and UNKNOWN for no file, a damaged one or a stale one.
TEST(StatusCheck, GivesTheLineAndCodeOfAMonitoringPlugin)
{
    const auto check = [](const CycleReport& report, const QDateTime& now) {
        return StatusCheck::evaluate(StatusFile::json(
                                         report, [](int) { return kEnded; }, 1010),
                                     now);
    };
    const QDateTime soon = kEnded.addSecs(600);
    CycleReport report = allUp();
    for (int i = 20; i < kTargetCount; ++i)
        report.targets[i].state = State::Off;
    StatusCheck::Result result = check(report, soon);
    EXPECT_EQ(result.code, StatusCheck::Ok);
    EXPECT_EQ(result.line, "PYLVANE OK - 20 targets up | down=0;;1;0;35 unknown=0;;;0;35 confirming=0;;;0;35");

    report.targets[at(TargetKind::Cam, 3)] = {TargetKind::Cam, 3, QStringLiteral("192.168.1.23"), State::Down};
    report.targets[at(TargetKind::Process, 2)] = {TargetKind::Process, 2, QStringLiteral("backup.exe"), State::Down};
    result = check(report, soon);
    EXPECT_EQ(result.code, StatusCheck::Critical);
    EXPECT_EQ(result.line, "PYLVANE CRITICAL - 2 down: Cam3 192.168.1.23, Process2 backup.exe | down=2;;1;0;35 "
                           "unknown=0;;;0;35 confirming=0;;;0;35");

    // Two whole intervals (1010 s to the next cycle, 1.5 s of cycle) and a minute's grace.
    EXPECT_EQ(check(report, kEnded.addSecs(2 * 1011 + 60)).code, StatusCheck::Critical);
    result = check(report, kEnded.addSecs(3 * 3600 + 200));
    EXPECT_EQ(result.code, StatusCheck::Unknown);
    EXPECT_EQ(result.line, "PYLVANE UNKNOWN - no check for 3 h; is Pylvane running?");
    EXPECT_EQ(check(report, kEnded.addSecs(2 * 1011 + 61)).code, StatusCheck::Unknown);
    // A check that ended ahead of the clock would never go stale; five minutes of clocks apart are allowed.
    EXPECT_EQ(check(report, kEnded.addSecs(-300)).code, StatusCheck::Critical);
    result = check(report, kEnded.addSecs(-301));
    EXPECT_EQ(result.code, StatusCheck::Unknown);
    EXPECT_EQ(result.line, "PYLVANE UNKNOWN - the last check's time lies ahead of this computer's clock");

    // Down outweighs could not be checked, which outweighs up: nothing down is not known while a target is unknown.
    report.targets[0].state = State::Unknown;
    EXPECT_EQ(check(report, soon).code, StatusCheck::Critical);
    EXPECT_TRUE(check(report, soon).line.endsWith("| down=2;;1;0;35 unknown=1;;;0;35 confirming=0;;;0;35"));
    report = allUp();
    report.targets[0] = {TargetKind::Device, 1, QStringLiteral("127.0.0.1"), State::Unknown};
    report.targets[1] = {TargetKind::Device, 2, QStringLiteral("localhost"), State::Unknown};
    result = check(report, soon);
    EXPECT_EQ(result.code, StatusCheck::Unknown);
    EXPECT_EQ(result.line, "PYLVANE UNKNOWN - 2 targets could not be checked: Device1 127.0.0.1, Device2 localhost; "
                           "Pylvane may lack the right to send echo, or an address is not IPv4 | down=0;;1;0;35 "
                           "unknown=2;;;0;35 confirming=0;;;0;35");
    report.targets[21] = {TargetKind::Process, 1, QStringLiteral("a.exe"), State::Unknown};
    EXPECT_TRUE(check(report, soon).line.contains("IPv4; the list of running programs could not be read |"));

    // A target found down once and being looked at again is neither down nor unknown, whatever was last known of it
    // (nothing, in a run's first cycle): the others' state is reported, and how many are being looked at again.
    report = allUp();
    for (int i = 20; i < kTargetCount; ++i)
        report.targets[i].state = State::Off;
    report.targets[20] = {TargetKind::Process, 1, QStringLiteral("a.exe"), State::Unknown, true};
    result = check(report, soon);
    EXPECT_EQ(result.code, StatusCheck::Ok);
    EXPECT_EQ(result.line, "PYLVANE OK - 20 targets up (1 target being checked again) | down=0;;1;0;35 "
                           "unknown=0;;;0;35 confirming=1;;;0;35");
    report.targets[12].confirming = true; // last known up
    EXPECT_TRUE(check(report, soon).line.startsWith("PYLVANE OK - 19 targets up (2 targets being checked again) |"));
    report.targets[13].state = State::Down;
    result = check(report, soon);
    EXPECT_EQ(result.code, StatusCheck::Critical);
    EXPECT_EQ(result.line, "PYLVANE CRITICAL - 1 down: Cam4 t13 (2 targets being checked again) | down=1;;1;0;35 "
                           "unknown=0;;;0;35 confirming=2;;;0;35");
    report.targets[13].state = State::Unknown;
    EXPECT_TRUE(check(report, soon)
                    .line.endsWith("IPv4 (2 targets being checked again) | down=0;;1;0;35 "
                                   "unknown=1;;;0;35 confirming=2;;;0;35"));
    // A file that may not be read says why.
    result = StatusCheck::evaluate(std::nullopt, soon, QStringLiteral("the status file belongs to another user"));
    EXPECT_EQ(result.code, StatusCheck::Unknown);
    EXPECT_EQ(result.line, "PYLVANE UNKNOWN - the status file belongs to another user");

    EXPECT_EQ(StatusCheck::evaluate(std::nullopt, soon).code, StatusCheck::Unknown);
    for (const QByteArray& damaged :
         {QByteArray("not json"), QByteArray("[]"), QByteArray("{\"format\":2}"), QByteArray(),
          withField(report, "next_in", -5), withField(report, "next_in", "soon"), withField(report, "ended", "09:03"),
          withField(report, "duration", 1e12), withField(report, "targets", QJsonArray{1, 2})}) {
        result = StatusCheck::evaluate(damaged, soon);
        EXPECT_EQ(result.code, StatusCheck::Unknown) << damaged.left(80).toStdString();
        EXPECT_EQ(result.line, "PYLVANE UNKNOWN - the status file is damaged") << damaged.left(80).toStdString();
    }
}

// The file is the user's to change: a text may not break the one line or its performance data.
TEST(StatusCheck, KeepsOneLineWhateverTheTextsHold)
{
    CycleReport report = allUp();
    report.targets[0] = {TargetKind::Device, 1, QStringLiteral("a|b\nc\rd") + QString(500, QLatin1Char('z')),
                         State::Down};
    const StatusCheck::Result result = StatusCheck::evaluate(StatusFile::json(
                                                                 report, [](int) { return kEnded; }, 1010),
                                                             kEnded);
    EXPECT_EQ(result.code, StatusCheck::Critical);
    EXPECT_FALSE(result.line.contains(QLatin1Char('\n')) || result.line.contains(QLatin1Char('\r')));
    EXPECT_EQ(result.line.count(QLatin1Char('|')), 1);
    EXPECT_TRUE(result.line.startsWith("PYLVANE CRITICAL - 1 down: Device1 a?b?c?d")) << qPrintable(result.line);
    EXPECT_LT(result.line.size(), 180);
}

} // namespace

namespace {

// Records what the tray icon is given to show.
class TrayRecordingBalloon : public BalloonNotifier {
public:
    using BalloonNotifier::BalloonNotifier;
    QStringList shown; // title, text
    bool urgent = false;

protected:
    void showTrayMessage(QSystemTrayIcon*, const QString& title, const QString& text, bool isUrgent) override
    {
        shown = {title, text};
        urgent = isUrgent;
    }
};

// The Windows notice: the tray icon's balloon, within 63 characters of title and 255 of text, whole lines
// first; a click on it is a click on the notice. Without a tray, nothing.
TEST(Balloon, KeepsWithinTheLimitsOfWindowsAndTellsOfAClick)
{
    CycleReport report = allUp();
    ReportChanges::Changes changes;
    for (int i = 0; i < 6; ++i) {
        report.targets[20 + i].state = State::Down;
        report.targets[20 + i].text = QString(50, QLatin1Char('p')) + QStringLiteral(".exe");
        changes.wentDown << 20 + i;
    }
    Notice notice = Notice::about(report, changes);
    notice.title += QString(80, QLatin1Char('!'));

    QSystemTrayIcon icon(QIcon(QStringLiteral(":/icons/pylvane-32.png")));
    TrayRecordingBalloon none([] { return nullptr; });
    none.show(notice);
    EXPECT_TRUE(none.shown.isEmpty()) << "no tray";
    TrayRecordingBalloon hidden([&icon] { return &icon; });
    hidden.show(notice);
    EXPECT_TRUE(hidden.shown.isEmpty()) << "a tray icon not shown";

    icon.show();
    TrayRecordingBalloon balloon([&icon] { return &icon; });
    QSignalSpy clicked(&balloon, &Notifier::clicked);
    balloon.show(notice);
    const QStringList texts = balloon.shown;
    ASSERT_EQ(texts.size(), 2);
    EXPECT_TRUE(balloon.urgent);
    EXPECT_EQ(texts.at(0), notice.title.left(63));
    EXPECT_LE(texts.at(1).size(), 255);
    EXPECT_TRUE(texts.at(1).startsWith(QStringLiteral("Down: Services and Apps 1 ppp"))) << qPrintable(texts.at(1));
    EXPECT_TRUE(texts.at(1).endsWith(QStringLiteral("\nand 3 more"))) << qPrintable(texts.at(1));
    emit icon.messageClicked();
    EXPECT_EQ(clicked.count(), 1);
}

} // namespace
