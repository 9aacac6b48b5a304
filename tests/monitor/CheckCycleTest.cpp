#include "CycleRig.h"

#include "monitor/ReportChanges.h"

#include <QFile>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

TEST(CheckCycle, NothingEnabledShowsGreenAndStartsNothing)
{
    CycleRig rig;
    rig.run();
    EXPECT_TRUE(rig.lamp.only(StatusLamp::Image1));
    EXPECT_TRUE(rig.probes.calls.isEmpty());
    EXPECT_TRUE(rig.platform.started.isEmpty());
    EXPECT_FALSE(rig.timer1.isActive());
    EXPECT_EQ(rig.cycle.t, "1");
    for (const TargetRef& t : allTargets())
        EXPECT_EQ(rig.cycle.state(t.kind, t.number), "neu");
}

TEST(CheckCycle, AllUpShowsGreenWithoutCommand)
{
    CycleRig rig;
    enableAllUp(rig);
    rig.run();
    EXPECT_TRUE(rig.lamp.only(StatusLamp::Image1));
    EXPECT_TRUE(rig.platform.started.isEmpty());
    EXPECT_TRUE(rig.log.entries.isEmpty());
    for (const TargetRef& t : allTargets())
        EXPECT_EQ(rig.cycle.state(t.kind, t.number), "on");
}

TEST(CheckCycle, EachTargetDownInTurnShowsRedAndStartsCommandOnce)
{
    for (const TargetRef& down : allTargets()) {
        CycleRig rig;
        enableAllUp(rig);
        markDown(rig, down);
        rig.run();
        const QString which = logLabel(down.kind, down.number);
        EXPECT_TRUE(rig.lamp.only(StatusLamp::Image2)) << qPrintable(which);
        EXPECT_EQ(rig.platform.started, QStringList{rig.command}) << qPrintable(which);
        EXPECT_EQ(rig.cycle.state(down.kind, down.number), "off") << qPrintable(which);
        EXPECT_EQ(rig.log.entries.size(), 1) << qPrintable(which);
        EXPECT_TRUE(rig.log.entries.value(0).endsWith(which)) << qPrintable(which);
        EXPECT_FALSE(rig.timer1.isActive());
    }
}

TEST(CheckCycle, AllDownLogsInTableOrderAndStartsCommandOnce)
{
    CycleRig rig;
    enableAllUp(rig);
    for (const TargetRef& t : allTargets())
        markDown(rig, t);
    rig.run();
    EXPECT_TRUE(rig.lamp.only(StatusLamp::Image2));
    EXPECT_EQ(rig.platform.started.size(), 1);
    ASSERT_EQ(rig.log.entries.size(), kTargetCount);
    EXPECT_EQ(rig.log.entries.first(), "H| - Device1 OFF   ");
    EXPECT_EQ(rig.log.entries.at(10), "H| - Cam1 OFF   ");
    EXPECT_EQ(rig.log.entries.at(20), "P| - Process1 DOWN   ");
    EXPECT_EQ(rig.log.entries.last(), "P| - Process15 DOWN   ");
    // The lamp hears of the start and of the end, with one report naming every one in cycle order.
    EXPECT_EQ(rig.lamp.told, (QStringList{"start", "end"}));
    ASSERT_EQ(rig.lamp.reports.size(), 1);
    const CycleReport& report = rig.lamp.reports.first();
    EXPECT_TRUE(report.red);
    EXPECT_EQ(report.count(TargetReport::State::Down), kTargetCount);
    EXPECT_EQ(report.targets[0].described(), "Device 1 t0");
    EXPECT_EQ(report.targets[10].described(), "IP Cam 1 t10");
    EXPECT_EQ(report.targets[20].described(), "Services and Apps 1 t20");
    EXPECT_EQ(report.targets[34].logName(), "Process15");
}

TEST(CheckCycle, UnclearResultsCountAsNotDown)
{
    CycleRig rig;
    rig.fields.set(TargetKind::Device, 1, "192.0.2.1");
    rig.probes.statusOf["192.0.2.1"] = 11003;
    rig.fields.set(TargetKind::Cam, 1, "not-an-address");
    rig.probes.statusOf["not-an-address"] = -1;
    rig.fields.set(TargetKind::Process, 1, "flaky.exe");
    rig.probes.exeAnswers["flaky.exe"] = {-1, 0};
    rig.fields.set(TargetKind::Process, 2, "unlisted.exe");
    rig.probes.exeAnswers["unlisted.exe"] = {std::nullopt};
    rig.run();
    EXPECT_TRUE(rig.lamp.only(StatusLamp::Image1));
    EXPECT_TRUE(rig.platform.started.isEmpty());
    EXPECT_TRUE(rig.log.entries.isEmpty());
}

// The probes hear once per cycle, after the hosts and before the first process lookup, that the process lookups
// begin, whether Process 1 is enabled or not.
TEST(CheckCycle, ProcessLookupsBeginOncePerCycleAfterTheHosts)
{
    CycleRig rig;
    rig.fields.set(TargetKind::Cam, 10, "cam10");
    rig.fields.set(TargetKind::Process, 1, "off.exe", TargetFields::Unticked);
    rig.fields.set(TargetKind::Process, 2, "p2.exe");
    rig.run();
    EXPECT_EQ(rig.probes.calls, (QStringList{"start", "echo cam10 1", "stop", "exe p2.exe", "exe p2.exe"}));
    EXPECT_EQ(rig.probes.processChecksBegan, (QList<qsizetype>{3}));
    rig.run();
    EXPECT_EQ(rig.probes.processChecksBegan, (QList<qsizetype>{3, 8}));
}

TEST(CheckCycle, RedCycleFollowedByGreenCycle)
{
    CycleRig rig;
    rig.fields.set(TargetKind::Cam, 3, "cam3");
    rig.run();
    EXPECT_TRUE(rig.lamp.only(StatusLamp::Image2));
    rig.probes.statusOf["cam3"] = 0;
    rig.run();
    EXPECT_TRUE(rig.lamp.only(StatusLamp::Image1));
    EXPECT_EQ(rig.cycle.state(TargetKind::Cam, 3), "on");
    EXPECT_EQ(rig.platform.started.size(), 1);
}

TEST(CheckCycle, FailureCommandMustNameAnOrdinaryFileWhole)
{
    CycleRig rig;
    QFile hidden(rig.dir.path(".hidden.sh"));
    ASSERT_TRUE(hidden.open(QIODevice::WriteOnly));
    hidden.close();
    const QStringList refused = {
        QString(),
        rig.command + " --now",                             // file name followed by arguments
        rig.dir.path(),                                     // a directory
        rig.dir.path("missing.sh"),                         // no such file
        rig.dir.path("*.sh"),                               // wildcards never match
        rig.dir.path("on-failure.s?"),                      //
        rig.dir.path(".hidden.sh"),                         // hidden file
        rig.command + "; touch " + rig.dir.path("reached"), // only the whole text names the file
    };
    rig.fields.set(TargetKind::Device, 1, "down");
    for (const QString& command : refused) {
        rig.fields.command = command;
        rig.run();
        EXPECT_TRUE(rig.lamp.only(StatusLamp::Image2));
        EXPECT_TRUE(rig.platform.started.isEmpty()) << qPrintable(command);
    }
}

// A path copied with its quotes, as file managers copy it, names the file within; any other quote
// keeps the text from naming a file.
TEST(CheckCycle, QuotedFailureCommandStartsTheFileWithin)
{
    CycleRig rig;
    rig.fields.set(TargetKind::Device, 1, "down");
    const QString file = rig.command;
    for (const QString& command :
         {'"' + file, file + '"', '"' + file + "\" \"\"", "\"\"" + file + "\"\"", QStringLiteral("\"\"")}) {
        rig.fields.command = command;
        rig.run();
        EXPECT_TRUE(rig.platform.started.isEmpty()) << qPrintable(command);
    }
    rig.fields.command = '"' + file + '"';
    rig.run();
    EXPECT_EQ(rig.platform.started, QStringList{file});
}

TEST(CheckCycle, CommandThatCannotStartIsPassedOverQuietly)
{
    CycleRig rig;
    rig.platform.startSucceeds = false;
    rig.fields.set(TargetKind::Device, 1, "down");
    rig.run();
    EXPECT_EQ(rig.platform.started.size(), 1);
    EXPECT_TRUE(rig.lamp.only(StatusLamp::Image2));
    EXPECT_FALSE(rig.timer1.isActive());
    EXPECT_TRUE(rig.platform.messages.isEmpty());
}

TEST(CheckCycle, FailingProbeStillEndsCycleWithLampAndTimerDisarmed)
{
    CycleRig rig;
    rig.fields.set(TargetKind::Process, 2, "gone.exe");
    rig.fields.set(TargetKind::Device, 4, "127.0.0.1");
    rig.probes.throwOnEcho = true;
    rig.run();
    EXPECT_FALSE(rig.timer1.isActive());
    EXPECT_FALSE(rig.lamp.isPictureVisible(StatusLamp::Image3));
    EXPECT_TRUE(rig.lamp.isPictureVisible(StatusLamp::Image1) != rig.lamp.isPictureVisible(StatusLamp::Image2));
}

// The entries found are held and go into the log together after the probes, and before the failure
// command, which may read the log; they are written even when reading the command fails.
TEST(CheckCycle, EntriesGoInTogetherBeforeTheFailureCommandStarts)
{
    CycleRig rig;
    rig.fields.set(TargetKind::Device, 1, "down");
    rig.fields.set(TargetKind::Process, 2, "down");
    QList<qsizetype> startedBeforeWrite;
    rig.log.onWriteQueued = [&] { startedBeforeWrite << rig.platform.started.size(); };
    rig.run();
    EXPECT_EQ(startedBeforeWrite, QList<qsizetype>{0});
    EXPECT_EQ(rig.platform.started.size(), 1);
    EXPECT_EQ(rig.log.heldEntries, rig.log.entries);
    EXPECT_EQ(rig.log.entries.size(), 2);
    EXPECT_FALSE(rig.log.holding);

    struct UnreadableCommand : FakeFields {
        QString failureCommand() const override { throw std::runtime_error("unreadable"); }
    } fields;
    fields.set(TargetKind::Device, 1, "down");
    rig.cycle.setFields(&fields);
    rig.run();
    EXPECT_EQ(startedBeforeWrite, (QList<qsizetype>{0, 1}));
    EXPECT_FALSE(rig.timer1.isActive());
}

// Each target's state in the report: ticked and found up or down, not ticked (whatever its probe
// would say), or ticked with no clear answer; with its kind, number, log name and field text.
TEST(CheckCycle, ReportGivesEachTargetItsStateInCycleOrder)
{
    CycleRig rig;
    rig.fields.set(TargetKind::Device, 2, "127.0.0.1");
    rig.probes.statusOf["127.0.0.1"] = 0;
    rig.probes.rttOf["127.0.0.1"] = 12;
    rig.fields.set(TargetKind::Device, 3, "127.0.0.3");
    rig.probes.statusOf["127.0.0.3"] = 0; // a round trip under a millisecond
    rig.fields.set(TargetKind::Cam, 3, "192.168.1.23");
    rig.probes.rttOf["192.168.1.23"] = 40; // the reply record of an echo that timed out
    rig.fields.set(TargetKind::Cam, 4, "192.168.1.24", TargetFields::Grayed);
    rig.fields.set(TargetKind::Device, 5, "192.0.2.5");
    rig.probes.statusOf["192.0.2.5"] = 11003; // neither up nor down
    rig.fields.set(TargetKind::Process, 2, "backup.exe");
    // No address the probe would send to, so never checked: a host name, and nothing at all.
    rig.fields.set(TargetKind::Device, 6, "localhost");
    rig.probes.statusOf["localhost"] = -1;
    rig.fields.set(TargetKind::Cam, 7, "");
    rig.probes.statusOf[""] = -1;
    rig.run();
    ASSERT_EQ(rig.lamp.reports.size(), 1);
    const CycleReport& report = rig.lamp.reports.first();
    using S = TargetReport::State;
    const auto at = [&](TargetKind kind, int n) { return report.targets[targetIndex(kind, n)]; };
    EXPECT_EQ(at(TargetKind::Device, 2).state, S::Up);
    EXPECT_EQ(at(TargetKind::Cam, 3).state, S::Down);
    EXPECT_EQ(at(TargetKind::Cam, 4).state, S::Off);
    EXPECT_EQ(at(TargetKind::Device, 5).state, S::Unknown);
    EXPECT_EQ(at(TargetKind::Process, 2).state, S::Down);
    EXPECT_EQ(at(TargetKind::Device, 1).state, S::Off);
    EXPECT_EQ(report.count(S::Off), kTargetCount - 7);
    // The round trip where the echo came back; none for a target that did not answer, and none for a process.
    EXPECT_EQ(at(TargetKind::Device, 2).rttMs, 12);
    EXPECT_EQ(at(TargetKind::Device, 3).rttMs, 0);
    EXPECT_EQ(at(TargetKind::Cam, 3).rttMs, std::nullopt);
    EXPECT_EQ(at(TargetKind::Device, 5).rttMs, std::nullopt);
    EXPECT_EQ(at(TargetKind::Process, 2).rttMs, std::nullopt);
    EXPECT_EQ(report.startedBy, CycleReport::StartedBy::Schedule);
    EXPECT_EQ(at(TargetKind::Device, 6).state, S::Unknown);
    EXPECT_EQ(at(TargetKind::Device, 6).reason, "not an IPv4 address, so it is never checked");
    EXPECT_EQ(at(TargetKind::Cam, 7).reason, "no address, so it is never checked");
    EXPECT_EQ(at(TargetKind::Device, 5).reason, "") << "an address that gave no clear answer this time";
    EXPECT_EQ(at(TargetKind::Cam, 3).logName(), "Cam3");
    EXPECT_EQ(at(TargetKind::Cam, 3).text, "192.168.1.23");
    EXPECT_EQ(at(TargetKind::Process, 2).described(), "Services and Apps 2 backup.exe");
    for (int i = 0; i < kTargetCount; ++i)
        EXPECT_EQ(targetIndex(report.targets[i].kind, report.targets[i].number), i);
    EXPECT_TRUE(report.red);
    EXPECT_TRUE(report.ended.isValid());
    EXPECT_GE(report.durationMs, 0);
    EXPECT_LE(report.ended, QDateTime::currentDateTime());
}

// Against the report before: down now and not before went down; up now and down before came back.
struct ChangeRig : CycleRig {
    ReportChanges changes;
    ReportChanges::Changes cycle()
    {
        run();
        return changes.update(lamp.reports.last());
    }
};

TEST(CheckCycle, FirstReportCountsEveryDownTargetAsGoneDown)
{
    ChangeRig rig;
    enableAllUp(rig);
    markDown(rig, {TargetKind::Cam, 3});
    markDown(rig, {TargetKind::Device, 7});
    const ReportChanges::Changes first = rig.cycle();
    EXPECT_EQ(first.wentDown, (QList<int>{6, 12}));
    EXPECT_TRUE(first.cameBack.isEmpty());
    EXPECT_FALSE(rig.cycle().any()) << "an unchanged cycle changes nothing";
}

TEST(CheckCycle, UpToDownGoesDownAndDownToUpComesBack)
{
    ChangeRig rig;
    enableAllUp(rig);
    EXPECT_FALSE(rig.cycle().any());
    const QDateTime upSince = rig.changes.since(12);
    markDown(rig, {TargetKind::Cam, 3});
    EXPECT_EQ(rig.cycle().wentDown, QList<int>{12});
    EXPECT_GT(rig.changes.since(12), upSince.addMSecs(-1));
    EXPECT_EQ(rig.changes.since(0), upSince) << "a target still up keeps the time it was first seen up";
    rig.probes.statusOf["t12"] = 0;
    const ReportChanges::Changes back = rig.cycle();
    EXPECT_TRUE(back.wentDown.isEmpty());
    EXPECT_EQ(back.cameBack, QList<int>{12});
}

TEST(CheckCycle, DownTargetSwitchedOffNeitherGoesNorComesBack)
{
    ChangeRig rig;
    enableAllUp(rig);
    markDown(rig, {TargetKind::Process, 2});
    EXPECT_EQ(rig.cycle().wentDown, QList<int>{21});
    rig.fields.enable[21] = TargetFields::Unticked;
    EXPECT_FALSE(rig.cycle().any());
    // Ticked again and still down: down now and not down (off) before.
    rig.fields.enable[21] = TargetFields::Ticked;
    EXPECT_EQ(rig.cycle().wentDown, QList<int>{21});
}

// A cycle that could not check a target does not count as its state: what it was last known to be does.
TEST(CheckCycle, ATargetFlappingThroughUnknownIsJudgedByItsLastKnownState)
{
    ChangeRig rig;
    enableAllUp(rig);
    markDown(rig, {TargetKind::Device, 1});
    EXPECT_EQ(rig.cycle().wentDown, QList<int>{0});
    const QDateTime downSince = rig.changes.since(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(5)); // the next cycles end later
    rig.probes.statusOf["t0"] = 11003;
    EXPECT_FALSE(rig.cycle().any());
    rig.probes.statusOf["t0"] = 11010;
    EXPECT_FALSE(rig.cycle().any()) << "down, unknown, down went down once";
    EXPECT_EQ(rig.changes.since(0), downSince) << "down since it was first found down";
    rig.probes.statusOf["t0"] = 11003;
    EXPECT_FALSE(rig.cycle().any());
    rig.probes.statusOf["t0"] = 0;
    EXPECT_EQ(rig.cycle().cameBack, QList<int>{0}) << "down, unknown, up came back";
    rig.probes.statusOf["t0"] = 11003;
    EXPECT_FALSE(rig.cycle().any());
    rig.probes.statusOf["t0"] = 11010;
    EXPECT_EQ(rig.cycle().wentDown, QList<int>{0}) << "up, unknown, down went down";
}

} // namespace
