#include "CycleRig.h"
#include "support/RecordingEvents.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

// "Check twice before an alarm": a target found down for the first time counts only when the next cycle finds it
// down again; each row is a run of cycles, each cycle the targets found down (Cam3 "c", Process2 "p"; Cam3 could
// not be checked "u"), what came before it ("x": the user pressed "X"; "n": Cam3's address was changed to another)
// and what the cycle must then have done. A cycle that follows one that left a target to look at again is there for
// that look only: it logs and alarms what it confirms, not again what was down already.
struct SecondLook {
    const char* name;
    std::vector<const char*> down; // per cycle
    std::vector<int> entries;      // log entries written so far, after each cycle
    std::vector<const char*> lamp; // "green" or "red" after each cycle
    std::vector<const char*> confirming;
    std::vector<const char*> cam3; // Cam3's state in the report: found, or last known while confirming
    std::vector<const char*> told; // what the failure command was told by each cycle ("": it did not start)
    QStringList events;            // target events, in order
    const char* startedBy;         // what started each cycle: "s" its schedule, "x" the user's X, "2" a second look
};

void PrintTo(const SecondLook& row, std::ostream* out)
{
    *out << row.name;
}

class CheckCycleSecondLook : public ::testing::TestWithParam<SecondLook> {};

TEST_P(CheckCycleSecondLook, CountsATargetDownOnlyWhenFoundDownTwiceInARow)
{
    const SecondLook& row = GetParam();
    CycleRig rig;
    RecordingEvents events;
    rig.cycle.setSystemEvents(&events);
    rig.cycle.setConfirmDown(true);
    enableAllUp(rig);
    for (size_t c = 0; c < row.down.size(); ++c) {
        const QString down = QString::fromLatin1(row.down[c]);
        if (down.contains('x'))
            rig.cycle.wholeCycleAsked();
        if (down.contains('n'))
            rig.fields.set(TargetKind::Cam, 3, rig.fields.targetText(TargetKind::Cam, 3) + 'n');
        rig.probes.statusOf[rig.fields.targetText(TargetKind::Cam, 3).toStdString()] = down.contains('c')   ? 11010
                                                                                       : down.contains('u') ? 11003
                                                                                                            : 0;
        rig.probes.exeAnswers["t21"] = {down.contains('p') ? 0 : -1};
        const qsizetype started = rig.platform.started.size();
        rig.run();
        const CycleReport& report = rig.lamp.reports.last();
        QStringList confirming;
        for (const TargetReport& target : report.targets)
            if (target.confirming)
                confirming << target.logName();
        EXPECT_EQ(rig.log.entries.size(), row.entries[c]) << "cycle " << c;
        EXPECT_TRUE(rig.lamp.only(QLatin1String(row.lamp[c]) == "red" ? StatusLamp::Image2 : StatusLamp::Image1))
            << "cycle " << c;
        EXPECT_EQ(confirming.join(' '), QLatin1String(row.confirming[c])) << "cycle " << c;
        EXPECT_EQ(stateName(report.targets[12].state), QLatin1String(row.cam3[c])) << "cycle " << c;
        const char startedBy = report.startedBy == CycleReport::StartedBy::X            ? 'x'
                               : report.startedBy == CycleReport::StartedBy::SecondLook ? '2'
                                                                                        : 's';
        EXPECT_EQ(startedBy, row.startedBy[c]) << "cycle " << c;
        QString told;
        for (const auto& [name, value] : rig.platform.startedWith)
            if (rig.platform.started.size() > started && name == "PYLVANE_DOWN")
                told = value;
        EXPECT_EQ(told, QLatin1String(row.told[c])) << "cycle " << c;
    }
    QStringList heard;
    for (const SystemEvent& event : std::as_const(events.events))
        if (event.kind == SystemEventKind::TargetAnsweredAgain)
            heard << event.message.section(QLatin1Char(';'), 0, 0);
    EXPECT_EQ(heard, row.events);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CheckCycleSecondLook,
    ::testing::Values(SecondLook{"OneMissedEchoThenAnAnswer",
                                 {"c", ""},
                                 {0, 0},
                                 {"green", "green"},
                                 {"Cam3", ""},
                                 {"unknown", "up"},
                                 {"", ""},
                                 {"Cam3 t12 did not answer once"},
                                 "s2"},
                      SecondLook{"DownTwiceCountsFromTheSecond",
                                 {"c", "c", "c"},
                                 {0, 1, 2},
                                 {"green", "red", "red"},
                                 {"Cam3", "", ""},
                                 {"unknown", "down", "down"},
                                 {"", "IP Cam 3 t12", "IP Cam 3 t12"},
                                 {},
                                 "s2s"},
                      SecondLook{"ANewTargetInTheConfirmingCycleGetsItsOwnLookAndNothingElseIsAlarmedAgain",
                                 {"c", "cp", "c"},
                                 {0, 1, 1},
                                 {"green", "red", "red"},
                                 {"Cam3", "Process2", ""},
                                 {"unknown", "down", "down"},
                                 {"", "IP Cam 3 t12", ""},
                                 {"Process2 t21 did not answer once"},
                                 "s22"},
                      SecondLook{"TheSecondLookAlarmsOnlyWhatItConfirms",
                                 {"p", "p", "pc", "pc"},
                                 {0, 1, 2, 3},
                                 {"green", "red", "red", "red"},
                                 {"Process2", "", "Cam3", ""},
                                 {"up", "up", "up", "down"},
                                 {"", "Services and Apps 2 t21", "Services and Apps 2 t21", "IP Cam 3 t12"},
                                 {},
                                 "s2s2"},
                      SecondLook{"XDuringTheWaitAsksForAWholeCycle",
                                 {"c", "cp", "xc"},
                                 {0, 1, 2},
                                 {"green", "red", "red"},
                                 {"Cam3", "Process2", ""},
                                 {"unknown", "down", "down"},
                                 {"", "IP Cam 3 t12", "IP Cam 3 t12"},
                                 {"Process2 t21 did not answer once"},
                                 "s2x"},
                      SecondLook{"ACycleThatCouldNotCheckIsNoNews",
                                 {"c", "u", "c"},
                                 {0, 0, 1},
                                 {"green", "green", "red"},
                                 {"Cam3", "", ""},
                                 {"unknown", "unknown", "down"},
                                 {"", "", "IP Cam 3 t12"},
                                 {},
                                 "s2s"},
                      SecondLook{"ConfirmedAcrossACycleThatCouldNotCheckItTheSecondLookAlarms",
                                 {"c", "up", "c"},
                                 {0, 0, 1},
                                 {"green", "green", "red"},
                                 {"Cam3", "Process2", ""},
                                 {"unknown", "unknown", "down"},
                                 {"", "", "IP Cam 3 t12"},
                                 {"Process2 t21 did not answer once"},
                                 "s22"},
                      SecondLook{"BackUpAtOnceAndDownAgainLooksAgain",
                                 {"c", "c", "", "c"},
                                 {0, 1, 1, 1},
                                 {"green", "red", "green", "green"},
                                 {"Cam3", "", "", "Cam3"},
                                 {"unknown", "down", "up", "up"},
                                 {"", "IP Cam 3 t12", "", ""},
                                 {},
                                 "s2ss"},
                      SecondLook{"AnAddressChangedDuringTheWaitStartsAfresh",
                                 {"c", "nc", "c"},
                                 {0, 0, 1},
                                 {"green", "green", "red"},
                                 {"Cam3", "Cam3", ""},
                                 {"unknown", "unknown", "down"},
                                 {"", "", "IP Cam 3 t12n"},
                                 {},
                                 "s22"},
                      SecondLook{"AnAddressChangedDuringTheWaitThatAnswersMissedNothing",
                                 {"c", "n"},
                                 {0, 0},
                                 {"green", "green"},
                                 {"Cam3", ""},
                                 {"unknown", "up"},
                                 {"", ""},
                                 {},
                                 "s2"},
                      SecondLook{"AnAddressChangedAfterItWasConfirmedStartsAfresh",
                                 {"", "c", "c", "nc"},
                                 {0, 0, 1, 1},
                                 {"green", "green", "red", "green"},
                                 {"", "Cam3", "", "Cam3"},
                                 {"up", "up", "down", "unknown"},
                                 {"", "", "IP Cam 3 t12", ""},
                                 {},
                                 "ss2s"}),
    [](const ::testing::TestParamInfo<SecondLook>& info) { return info.param.name; });

// The time between the looks is measured on the clock that only goes forward: the time of day set back an hour
// between them changes nothing, nor does it make the cycle's length negative.
TEST(CheckCycle, TheTimeBetweenTheLooksIsTakenFromTheClockThatOnlyGoesForward)
{
    CycleRig rig;
    RecordingEvents events;
    rig.cycle.setSystemEvents(&events);
    rig.cycle.setConfirmDown(true);
    rig.fields.set(TargetKind::Cam, 3, "192.0.2.23");
    rig.platform.clock = QDateTime(QDate(2026, 10, 25), QTime(3, 0, 30));
    rig.platform.monotonic = 5'000'000;
    rig.run();
    ASSERT_TRUE(rig.lamp.reports.last().targets[12].confirming);
    rig.platform.clock = rig.platform.clock.addSecs(-3600 + 21);
    rig.platform.monotonic = 5'021'400;
    rig.probes.statusOf["192.0.2.23"] = 0;
    rig.run();
    EXPECT_EQ(events.messages(), QStringList{"Cam3 192.0.2.23 did not answer once; it answered 21 s later"});
    EXPECT_EQ(rig.lamp.reports.last().ended, rig.platform.clock);
    EXPECT_EQ(rig.lamp.reports.last().durationMs, 0);
}

} // namespace
