#include "support/FileBytes.h"
#include "support/TempDir.h"

#include "monitor/CycleReport.h"
#include "outcome/StatusFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using State = TargetReport::State;

const QDateTime kEnded(QDate(2024, 5, 2), QTime(9, 3, 0), QTimeZone(7200));

CycleReport allUp()
{
    CycleReport report;
    for (TargetReport& target : report.targets)
        target.state = State::Up;
    report.ended = kEnded;
    report.durationMs = 1500;
    return report;
}

TEST(StatusFile, APlantedLinkInTheFilesOrTheFoldersPlaceIsNeitherFollowedNorRead)
{
    TempDir dir;
    const QString victim = dir.path(QStringLiteral("victim"));
    writeFile(victim, "keep me");
    const QByteArray json = StatusFile::json(
        allUp(), [](int) { return kEnded; }, 1010);

    const QString folder = dir.path(QStringLiteral("pylvane"));
    ASSERT_TRUE(QDir().mkdir(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    ASSERT_TRUE(QFile::link(victim, folder + QStringLiteral("/status.json")));
    EXPECT_FALSE(StatusFile::write(folder, json));
    EXPECT_EQ(readFile(victim), "keep me");
    EXPECT_FALSE(StatusFile::read(folder).has_value());

    const QString linkedFolder = dir.path(QStringLiteral("linked"));
    ASSERT_TRUE(QDir().mkdir(dir.path(QStringLiteral("elsewhere"))));
    ASSERT_TRUE(QFile::link(dir.path(QStringLiteral("elsewhere")), linkedFolder));
    EXPECT_FALSE(StatusFile::write(linkedFolder, json));
    EXPECT_FALSE(QFileInfo::exists(dir.path(QStringLiteral("elsewhere/status.json"))));

    // A folder others may write into could get a link between the look and the rename.
    const QString shared = dir.path(QStringLiteral("shared"));
    ASSERT_TRUE(QDir().mkdir(shared));
    ASSERT_TRUE(QFile::setPermissions(shared, QFileDevice::Permissions(0x7777)));
    EXPECT_FALSE(StatusFile::write(shared, json));

    // Nothing is read that the writer would not have written, and the reader says why.
    QString why;
    writeFile(shared + QStringLiteral("/status.json"), json);
    EXPECT_FALSE(StatusFile::read(shared, &why).has_value());
    EXPECT_EQ(why, "the status folder may be changed by another user");
    ASSERT_TRUE(QFile::remove(folder + QStringLiteral("/status.json")));
    ASSERT_TRUE(StatusFile::write(folder, json));
    ASSERT_EQ(::link(QFile::encodeName(folder + QStringLiteral("/status.json")).constData(),
                     QFile::encodeName(dir.path(QStringLiteral("second"))).constData()),
              0);
    EXPECT_FALSE(StatusFile::read(folder, &why).has_value());
    EXPECT_EQ(why, "the status file has more than one name");
    ASSERT_TRUE(QFile::remove(dir.path(QStringLiteral("second"))));
    if (geteuid() == 0) {
        ASSERT_EQ(::chown(QFile::encodeName(folder + QStringLiteral("/status.json")).constData(), 65534, 65534), 0);
        EXPECT_FALSE(StatusFile::read(folder, &why).has_value());
        EXPECT_EQ(why, "the status file belongs to another user");
    }
}

// A run killed between writing its own file and the rename leaves it; the next write of any run removes it,
// while the file of a run that still runs stays.
TEST(StatusFile, AKilledRunsLeftoverGoesWithTheNextWrite)
{
    TempDir dir;
    const QString folder = dir.path(QStringLiteral("pylvane"));
    ASSERT_TRUE(QDir().mkdir(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    writeFile(folder + QStringLiteral("/.status.json.999999999"), "{");  // above any process id Linux gives
    writeFile(folder + QStringLiteral("/.status.json.0999999998"), "{"); // ten digits, leading zero
    writeFile(folder + QStringLiteral("/.status.json.1"), "{");          // init runs
    // Names a run does not write stay, however close: no digits, too many, other characters, other digits.
    QStringList kept{".status.json.1", "status.json"};
    for (const QString& name : {QStringLiteral(".status.json."), QStringLiteral(".status.json.12345678901"),
                                QStringLiteral(".status.json.999999997x"), QStringLiteral(".status.json.-5"),
                                QStringLiteral(".status.json. 5"), QStringLiteral("x.status.json.999999997"),
                                QStringLiteral(".status.json.\u0663"), QStringLiteral(".status.json")}) {
        writeFile(folder + QLatin1Char('/') + name, "{");
        kept << name;
    }
    // A link with a leftover's name is not the writer's file either.
    writeFile(dir.path(QStringLiteral("elsewhere")), "{");
    ASSERT_TRUE(QFile::link(dir.path(QStringLiteral("elsewhere")), folder + QStringLiteral("/.status.json.999999996")));
    kept << ".status.json.999999996";
    ASSERT_TRUE(StatusFile::write(folder, StatusFile::json(
                                              allUp(), [](int) { return kEnded; }, 1010)));
    QStringList left = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
    left.sort();
    kept.sort();
    EXPECT_EQ(left.join(QLatin1Char('|')).toStdString(), kept.join(QLatin1Char('|')).toStdString());
    EXPECT_TRUE(QFile::exists(dir.path(QStringLiteral("elsewhere"))));
}

TEST(StatusFile, AFifoOrAnOversizedFileIsNotRead)
{
    TempDir dir;
    const QString folder = dir.path();
    ASSERT_EQ(mkfifo(QFile::encodeName(dir.path(QStringLiteral("status.json"))).constData(), 0600), 0);
    EXPECT_FALSE(StatusFile::read(folder).has_value()) << "and it returned instead of waiting on the FIFO";
    ASSERT_TRUE(QFile::remove(dir.path(QStringLiteral("status.json"))));
    writeFile(dir.path(QStringLiteral("status.json")), QByteArray(StatusFile::kMaxSize + 1, ' '));
    EXPECT_FALSE(StatusFile::read(folder).has_value());
}

TEST(StatusFile, IsPrivateInANewPrivateFolderAndReadsBackWhole)
{
    TempDir dir;
    const QString folder = dir.path(QStringLiteral("state/pylvane"));
    CycleReport report = allUp();
    report.targets[12] = {TargetKind::Cam, 3, QStringLiteral("192.168.1.23"), State::Down};
    report.targets[34].state = State::Off;
    report.targets[0].state = State::Unknown;
    const QDateTime since(QDate(2024, 5, 2), QTime(8, 0, 0), QTimeZone(-3600));
    ASSERT_TRUE(StatusFile::write(folder, StatusFile::json(
                                              report, [&](int i) { return i == 12 ? since : QDateTime(); }, 1012)));
    ASSERT_TRUE(StatusFile::write(folder, StatusFile::json(
                                              report, [&](int i) { return i == 12 ? since : QDateTime(); }, 1012)));
    EXPECT_EQ(QFileInfo(folder).permissions() & 0x0777, QFileDevice::Permissions(0x0700));
    EXPECT_EQ(QFileInfo(folder + "/status.json").permissions() & 0x0777, QFileDevice::Permissions(0x0600));
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"status.json"});

    const std::optional<QByteArray> bytes = StatusFile::read(folder);
    ASSERT_TRUE(bytes.has_value());
    const QJsonObject status = QJsonDocument::fromJson(*bytes).object();
    EXPECT_EQ(status.value("format").toInt(), 1);
    EXPECT_FALSE(status.value("version").toString().isEmpty());
    EXPECT_EQ(status.value("ended").toString(), "2024-05-02T09:03:00+02:00");
    EXPECT_EQ(status.value("duration").toDouble(), 1.5);
    EXPECT_EQ(status.value("next_in").toInt(), 1012);
    const QJsonArray targets = status.value("targets").toArray();
    ASSERT_EQ(targets.size(), kTargetCount);
    const QJsonObject cam = targets.at(12).toObject();
    EXPECT_EQ(cam.value("kind").toString(), "camera");
    EXPECT_EQ(cam.value("number").toInt(), 3);
    EXPECT_EQ(cam.value("name").toString(), "Cam3");
    EXPECT_EQ(cam.value("text").toString(), "192.168.1.23");
    EXPECT_EQ(cam.value("state").toString(), "down");
    EXPECT_EQ(cam.value("since").toString(), "2024-05-02T08:00:00-01:00");
    EXPECT_EQ(targets.at(0).toObject().value("state").toString(), "unknown");
    EXPECT_EQ(targets.at(0).toObject().value("kind").toString(), "device");
    EXPECT_EQ(targets.at(34).toObject().value("state").toString(), "off");
    EXPECT_EQ(targets.at(34).toObject().value("name").toString(), "Process15");
    EXPECT_EQ(targets.at(34).toObject().value("kind").toString(), "process");
    EXPECT_EQ(targets.at(20).toObject().value("state").toString(), "up");
    EXPECT_EQ(targets.at(20).toObject().value("since").toString(), "2024-05-02T09:03:00+02:00");
}

} // namespace
