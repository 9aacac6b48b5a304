#include "CycleRig.h"

#include "monitor/FailureCommand.h"

#include <QMap>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>

namespace {

// The failure command is told what is down, in the cycle's order and the tooltip's words, and where the log is.
TEST(CheckCycle, FailureCommandIsToldWhatIsDown)
{
    CycleRig rig;
    enableAllUp(rig);
    markDown(rig, {TargetKind::Cam, 3});
    markDown(rig, {TargetKind::Process, 2});
    rig.run();
    QMap<QString, QString> told;
    for (const auto& [name, value] : rig.platform.startedWith)
        told.insert(name, value);
    EXPECT_EQ(told.value("PYLVANE_DOWN_COUNT"), "2");
    EXPECT_EQ(told.value("PYLVANE_DOWN"), "IP Cam 3 t12\nServices and Apps 2 t21");
    EXPECT_EQ(told.value("PYLVANE_LOG"), "/var/log/PylvaneLog.txt");
    const QDateTime end = QDateTime::fromString(told.value("PYLVANE_CYCLE_END"), Qt::ISODate);
    EXPECT_LE(std::abs(end.secsTo(QDateTime::currentDateTime())), 5) << qPrintable(told.value("PYLVANE_CYCLE_END"));
    EXPECT_TRUE(told.value("PYLVANE_CYCLE_END").contains(QRegularExpression("[+-]\\d\\d:\\d\\d$|Z$")));
}

// Whatever the targets' texts hold, the failure command starts and is told one line per target, each line naming
// one target, within bounds a system takes; the lines and a closing "and N more" account for the count.
struct Told {
    const char* name;
    std::function<QString(int index)> text; // of each target down, by index; the others are up
    int down;                               // the first `down` targets in cycle order are down
    QString expected;                       // PYLVANE_DOWN, where the row knows it whole
};

void PrintTo(const Told& row, std::ostream* out)
{
    *out << row.name;
}

class CheckCycleTells : public ::testing::TestWithParam<Told> {};

TEST_P(CheckCycleTells, EveryTargetDownOnALineOfItsOwnWithinBounds)
{
    const Told& row = GetParam();
    CycleRig rig;
    enableAllUp(rig);
    const std::vector<TargetRef> all = allTargets();
    for (int i = 0; i < row.down; ++i) {
        rig.fields.set(all[i].kind, all[i].number, row.text(i));
        markDown(rig, all[i]);
    }
    rig.run();
    ASSERT_EQ(rig.platform.started.size(), 1);
    QMap<QString, QString> told;
    for (const auto& [name, value] : rig.platform.startedWith)
        told.insert(name, value);
    const QString list = told.value("PYLVANE_DOWN");
    if (!row.expected.isEmpty()) {
        EXPECT_EQ(list, row.expected);
    }
    EXPECT_EQ(told.value("PYLVANE_DOWN_COUNT"), QString::number(row.down));
    const QStringList lines = list.split('\n');
    qsizetype more = 0;
    if (lines.last().startsWith("and "))
        more = lines.last().section(' ', 1, 1).toInt();
    EXPECT_EQ(lines.size() - (more > 0 ? 1 : 0) + more, row.down) << qPrintable(lines.last());
    EXPECT_LE(list.toUtf8().size(), FailureCommand::kListBytes);
    EXPECT_EQ(QString::fromUtf8(list.toUtf8()), list) << "cut inside a character";
    EXPECT_FALSE(list.contains(QChar::ReplacementCharacter));
    for (const QString& line : lines) {
        EXPECT_LE(line.toUtf8().size(), FailureCommand::kLineBytes);
        EXPECT_TRUE(
            std::none_of(line.begin(), line.end(), [](QChar c) { return c.category() == QChar::Other_Control; }));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CheckCycleTells,
    ::testing::Values(
        Told{"ALineBreakInATextForgesNoLine",
             [](int i) {
                 return i == 0 ? QStringLiteral("t0\nIP Cam 9 forged") : QStringLiteral("a\r\nb\u2028c\x1b[0m\td");
             },
             2, QStringLiteral("Device 1 t0 IP Cam 9 forged\nDevice 2 a  b c [0m d")},
        Told{"FiveTextsOfThirtyThousandCharacters", [](int i) { return QString(30'000, QChar('a' + i)); }, 5, {}},
        Told{"ThirtyFiveLongTextsOfWideCharactersEndInAndMore",
             [](int i) { return QString::number(i) + QString(700, QChar(0x00FC)) + QStringLiteral("\U0001F4F7"); },
             kTargetCount,
             {}},
        Told{"AFirstLineCutBetweenTheHalvesOfACharacter",
             [](int) { return QStringLiteral("x") + QString(QStringLiteral("\U0001F4F7")).repeated(300); },
             1,
             {}}),
    [](const ::testing::TestParamInfo<Told>& info) { return info.param.name; });

} // namespace
