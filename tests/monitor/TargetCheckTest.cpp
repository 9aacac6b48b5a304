#include "MonitorFakes.h"

#include "monitor/HostTargetCheck.h"
#include "monitor/ProcessTargetCheck.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct HostCase {
    int32_t status;
    QString pi;
    QString state;
    bool logged;
};

void PrintTo(const HostCase& row, std::ostream* out)
{
    *out << "echo status " << row.status;
}

class HostOutcome : public ::testing::TestWithParam<HostCase> {};

TEST_P(HostOutcome, ResultTextDecidesStateAndLog)
{
    FakeProbes probes;
    FakeLog log;
    FakeFields fields;
    HostTargetCheck check(probes, log);
    fields.set(TargetKind::Cam, 10, "192.0.2.10");
    probes.statusOf["192.0.2.10"] = GetParam().status;
    QString state = kStateUnchecked;

    check.check(TargetKind::Cam, 10, fields, state);

    EXPECT_EQ(check.pi, GetParam().pi);
    EXPECT_EQ(check.echoStatus, GetParam().status);
    EXPECT_EQ(state, GetParam().state);
    EXPECT_EQ(log.entries, GetParam().logged ? QStringList{"H| - Cam10 OFF   "} : QStringList{});
    EXPECT_EQ(probes.calls, (QStringList{"start", "echo 192.0.2.10 1", "stop"}));
}

INSTANTIATE_TEST_SUITE_P(Statuses, HostOutcome,
                         ::testing::Values(HostCase{0, "0   [ ip success ]", "on", false},
                                           HostCase{11010, "11010   [ ip req timed out ]", "off", true},
                                           HostCase{11003, "11003   [ ip dest host unreachable ]", "neu", false},
                                           HostCase{11002, "11002   [ ip dest net unreachable ]", "neu", false},
                                           HostCase{-1, "-1   [ inet_addr: bad IP format ]", "neu", false},
                                           HostCase{11050, "11050   [ ip general failure ]", "neu", false}));

TEST(HostTargetCheck, DisabledOrGrayedTargetIsNotProbed)
{
    FakeProbes probes;
    FakeLog log;
    FakeFields fields;
    HostTargetCheck check(probes, log);
    check.pi = "0   [ ip success ]";
    fields.set(TargetKind::Device, 1, "127.0.0.1", TargetFields::Unticked);
    fields.set(TargetKind::Device, 2, "127.0.0.1", TargetFields::Grayed);
    QString s1 = kStateUnchecked, s2 = kStateUnchecked;
    check.check(TargetKind::Device, 1, fields, s1);
    check.check(TargetKind::Device, 2, fields, s2);
    EXPECT_TRUE(probes.calls.isEmpty());
    EXPECT_EQ(s1, "neu");
    EXPECT_EQ(s2, "neu");
    EXPECT_EQ(check.pi, "0   [ ip success ]");
    EXPECT_TRUE(log.entries.isEmpty());
}

// A session that cannot start leaves the target unprobed: it is neither decided on the text an
// earlier target's echo left behind nor logged, and that text stays as it was.
TEST(HostTargetCheck, FailedSessionLeavesTargetUncheckedWhatEverPiHolds)
{
    for (const QString& previous : {QString(), HostTargetCheck::kTimedOut, HostTargetCheck::kSuccess}) {
        FakeProbes probes;
        FakeLog log;
        FakeFields fields;
        HostTargetCheck check(probes, log);
        check.pi = previous;
        probes.sessionStarts = false;
        fields.set(TargetKind::Device, 2, "127.0.0.1");
        QString state = kStateUnchecked;
        check.check(TargetKind::Device, 2, fields, state);
        EXPECT_EQ(probes.calls, QStringList{"start"}) << "no echo and no stop after a failed start";
        EXPECT_EQ(state, "neu");
        EXPECT_EQ(check.pi, previous);
        EXPECT_TRUE(log.entries.isEmpty());
    }
}

TEST(HostTargetCheck, AddressTextGoesToTheProbeUnchanged)
{
    FakeProbes probes;
    FakeLog log;
    FakeFields fields;
    HostTargetCheck check(probes, log);
    fields.set(TargetKind::Device, 10, " camera.local ");
    probes.statusOf[" camera.local "] = -1;
    QString state = kStateUnchecked;
    check.check(TargetKind::Device, 10, fields, state);
    EXPECT_EQ(probes.calls.value(1), "echo  camera.local  1");
    EXPECT_EQ(state, "neu");
}

struct ProcessCase {
    std::deque<std::optional<int>> answers; // first and second lookup; empty: the list could not be read
    bool logged;
    QString state;
};

void PrintTo(const ProcessCase& row, std::ostream* out)
{
    *out << "lookups";
    for (const std::optional<int>& answer : row.answers)
        *out << ' ' << (answer ? std::to_string(*answer) : std::string("unanswered"));
}

class ProcessOutcome : public ::testing::TestWithParam<ProcessCase> {};

TEST_P(ProcessOutcome, FirstLookupDecidesOffSecondDecidesOn)
{
    FakeProbes probes;
    FakeLog log;
    FakeFields fields;
    ProcessTargetCheck check(probes, log);
    fields.set(TargetKind::Process, 15, "svc.exe");
    probes.exeAnswers["svc.exe"] = GetParam().answers;
    QString state = kStateUnchecked;

    check.check(15, fields, state);

    EXPECT_EQ(probes.count("exe svc.exe"), 2);
    EXPECT_EQ(log.entries, GetParam().logged ? QStringList{"P| - Process15 DOWN   "} : QStringList{});
    EXPECT_EQ(state, GetParam().state);
}

// A lookup without an answer decides nothing: a running process is never logged down because the system could
// not be asked, and the state stays as it was.
INSTANTIATE_TEST_SUITE_P(Answers, ProcessOutcome,
                         ::testing::Values(ProcessCase{{0, 0}, true, "off"}, ProcessCase{{0, -1}, true, "on"},
                                           ProcessCase{{-1, -1}, false, "on"}, ProcessCase{{-1, 0}, false, "neu"},
                                           ProcessCase{{std::nullopt, std::nullopt}, false, "neu"},
                                           ProcessCase{{std::nullopt, -1}, false, "on"},
                                           ProcessCase{{std::nullopt, 0}, false, "neu"},
                                           ProcessCase{{0, std::nullopt}, true, "off"},
                                           ProcessCase{{-1, std::nullopt}, false, "neu"}));

TEST(ProcessTargetCheck, DisabledGrayedAndEmptyNames)
{
    FakeProbes probes;
    FakeLog log;
    FakeFields fields;
    ProcessTargetCheck check(probes, log);
    fields.set(TargetKind::Process, 1, "a.exe", TargetFields::Unticked);
    fields.set(TargetKind::Process, 2, "a.exe", TargetFields::Grayed);
    fields.set(TargetKind::Process, 3, "");
    QString s1 = kStateUnchecked, s2 = kStateUnchecked, s3 = kStateUnchecked;
    check.check(1, fields, s1);
    check.check(2, fields, s2);
    check.check(3, fields, s3);
    EXPECT_EQ(s1, "neu");
    EXPECT_EQ(s2, "neu");
    EXPECT_EQ(s3, "off");
    EXPECT_EQ(probes.calls, (QStringList{"exe ", "exe "}));
    EXPECT_EQ(log.entries, QStringList{"P| - Process3 DOWN   "});
}

TEST(TargetLabels, FirstAndLastOfEachKind)
{
    EXPECT_EQ(logLabel(TargetKind::Device, 1), " - Device1 OFF   ");
    EXPECT_EQ(logLabel(TargetKind::Device, 10), " - Device10 OFF   ");
    EXPECT_EQ(logLabel(TargetKind::Cam, 10), " - Cam10 OFF   ");
    EXPECT_EQ(logLabel(TargetKind::Process, 15), " - Process15 DOWN   ");
    EXPECT_EQ(logLabel(TargetKind::Process, 15).size(), 20);
}

} // namespace
