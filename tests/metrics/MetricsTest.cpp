#include "support/RecordingEvents.h"
#include "support/TempDir.h"

#include "metrics/MetricsFile.h"
#include "metrics/MetricsText.h"
#include "metrics/MetricsWriter.h"
#include "settings/SettingsStore.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <utime.h>

namespace {

const QString kHostile = QString::fromUtf8("a \"quoted\" C:\\path\\ and\na line feed \\n \xe2\x82\xac");

MetricsReport sampleReport()
{
    MetricsReport report;
    using State = MetricsTarget::State;
    report.targets = {{"device", 1, "Device1", "10.0.0.1", State::Up},
                      {"camera", 3, "Cam3", kHostile, State::Down},
                      {"process", 2, "Process2", "off.exe", State::Off},
                      {"process", 4, "Process4", "unknown.exe", State::Unknown}};
    report.targetsDown = 1;
    report.cycleEnd = QDateTime::fromMSecsSinceEpoch(1767225600250);
    report.durationSeconds = 2.5;
    report.pendingEntries = 3;
    return report;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

class MetricsTest : public ::testing::Test {
protected:
    TempDir dir;
    const QString folder = dir.path(QStringLiteral("metrics"));
    const QString file = folder + QStringLiteral("/pylvane.prom");
    const QByteArray text = MetricsText::render(sampleReport());
};

TEST_F(MetricsTest, PrometheusReadsTheFileWhateverTheTargetTextsHold)
{
    ASSERT_TRUE(QDir().mkdir(folder));
    ASSERT_EQ(MetricsFile::write(folder, text), MetricsFile::Status::Written);
    QProcess parser;
    // Debian's own Python, for which its package installs the client.
    parser.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(PYLVANE_PARSE_METRICS), file});
    ASSERT_TRUE(parser.waitForFinished(30000));
    ASSERT_EQ(parser.exitCode(), 0) << "needs python3-prometheus-client (make test-deps): "
                                    << parser.readAllStandardError().constData();
    const QJsonArray families = QJsonDocument::fromJson(parser.readAllStandardOutput()).array();

    QMap<QString, QJsonObject> byName;
    for (const QJsonValue& family : families)
        byName[family[QStringLiteral("family")].toString()] = family.toObject();
    ASSERT_EQ(byName.keys(), QStringList({"pylvane_cycle_duration_seconds", "pylvane_last_cycle_end_timestamp_seconds",
                                          "pylvane_log_entries_pending", "pylvane_target_up", "pylvane_targets_down"}))
        << text.constData();
    for (const QJsonObject& family : byName) {
        EXPECT_EQ(family[QStringLiteral("type")].toString(), QStringLiteral("gauge"));
        EXPECT_FALSE(family[QStringLiteral("documentation")].toString().isEmpty());
    }
    // Switched off and unknown targets are left out.
    const QJsonArray up = byName[QStringLiteral("pylvane_target_up")][QStringLiteral("samples")].toArray();
    ASSERT_EQ(up.size(), 2);
    const QJsonObject cam = up[1].toObject();
    EXPECT_EQ(cam[QStringLiteral("labels")].toObject().toVariantMap(),
              QVariantMap({{"kind", "camera"}, {"number", "3"}, {"name", "Cam3"}, {"text", kHostile}}));
    EXPECT_EQ(cam[QStringLiteral("value")].toDouble(), 0.0);
    EXPECT_EQ(up[0][QStringLiteral("value")].toDouble(), 1.0);
    const auto value = [&byName](const char* name) {
        return byName[QLatin1String(name)][QStringLiteral("samples")][0][QStringLiteral("value")].toDouble();
    };
    EXPECT_EQ(value("pylvane_targets_down"), 1.0);
    EXPECT_EQ(value("pylvane_last_cycle_end_timestamp_seconds"), 1767225600.25);
    EXPECT_EQ(value("pylvane_cycle_duration_seconds"), 2.5);
    EXPECT_EQ(value("pylvane_log_entries_pending"), 3.0);
    // The exporter runs as another user.
    EXPECT_TRUE(QFileInfo(file).permissions() & QFileDevice::ReadOther);
}

TEST_F(MetricsTest, ALinkPlantedAsTheFileIsRefusedAndWhatItPointsAtKept)
{
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString victim = dir.path(QStringLiteral("victim"));
    ASSERT_TRUE(writeFile(victim, "keep"));
    ASSERT_TRUE(QFile::link(victim, file));
    EXPECT_EQ(MetricsFile::write(folder, text), MetricsFile::Status::FileRefused);
    EXPECT_EQ(fileBytes(victim), QByteArray("keep"));
    EXPECT_TRUE(QFileInfo(file).isSymLink());
    // A dangling one, or a folder there, the same.
    ASSERT_TRUE(QFile::remove(file) && QFile::link(dir.path(QStringLiteral("nowhere")), file));
    EXPECT_EQ(MetricsFile::write(folder, text), MetricsFile::Status::FileRefused);
    EXPECT_FALSE(QFileInfo::exists(dir.path(QStringLiteral("nowhere"))));
    ASSERT_TRUE(QFile::remove(file) && QDir().mkdir(file));
    EXPECT_EQ(MetricsFile::write(folder, text), MetricsFile::Status::FileRefused);
}

TEST_F(MetricsTest, AFolderThatIsALinkIsWrittenThrough)
{
    const QString real = dir.path(QStringLiteral("exporter"));
    ASSERT_TRUE(QDir().mkdir(real) && QFile::link(real, folder));
    EXPECT_EQ(MetricsFile::write(folder, text), MetricsFile::Status::Written);
    EXPECT_EQ(fileBytes(real + QStringLiteral("/pylvane.prom")), text);
    EXPECT_TRUE(QFileInfo(folder).isSymLink());
}

TEST_F(MetricsTest, AMissingFolderOrAFileInItsPlaceIsToldApart)
{
    EXPECT_EQ(MetricsFile::write(folder, text), MetricsFile::Status::FolderMissing);
    EXPECT_FALSE(QFileInfo::exists(folder)) << "the folder was made";
    ASSERT_TRUE(writeFile(folder, "a file"));
    EXPECT_EQ(MetricsFile::write(folder, text), MetricsFile::Status::NotAFolder);
    EXPECT_EQ(fileBytes(folder), QByteArray("a file"));
}

TEST_F(MetricsTest, LeftoversOfAKilledWriterGoButNotThoseOfARunningOne)
{
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString old = folder + QStringLiteral("/pylvane.prom.Ab12Cd");
    const QString fresh = folder + QStringLiteral("/pylvane.prom.Xy34Zw");
    const QString other = folder + QStringLiteral("/pylvane.prom.keep-me");
    const QString link = folder + QStringLiteral("/pylvane.prom.Li99Nk");
    const QString target = dir.path(QStringLiteral("target"));
    for (const QString& path : {old, fresh, other, target})
        ASSERT_TRUE(writeFile(path, "x"));
    ASSERT_TRUE(QFile::link(target, link));
    const utimbuf longAgo{1000000000, 1000000000};
    for (const QString& path : {old, other, target})
        ASSERT_EQ(::utime(QFile::encodeName(path).constData(), &longAgo), 0);
    EXPECT_EQ(MetricsFile::write(folder, text), MetricsFile::Status::Written);
    EXPECT_FALSE(QFileInfo::exists(old));
    EXPECT_TRUE(QFileInfo::exists(fresh));
    EXPECT_TRUE(QFileInfo::exists(other));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(target));
}

// The writer is this program itself, started with its own option.
class MetricsWriterTest : public MetricsTest {
protected:
    MetricsFile::Status writeAndWait(MetricsWriter& writer)
    {
        QSignalSpy written(&writer, &MetricsWriter::written);
        writer.write(sampleReport());
        if (written.isEmpty() && !written.wait(30000))
            return MetricsFile::Status::Failed;
        return written.first().first().value<MetricsFile::Status>();
    }
    RecordingEvents events;
};

TEST_F(MetricsWriterTest, EachChangeOfTheFoldersConditionIsToldOnce)
{
    MetricsWriter writer(folder, events, QStringLiteral(PYLVANE_EXECUTABLE));
    EXPECT_EQ(writeAndWait(writer), MetricsFile::Status::FolderMissing);
    EXPECT_EQ(writeAndWait(writer), MetricsFile::Status::FolderMissing);
    ASSERT_TRUE(QDir().mkdir(folder));
    EXPECT_EQ(writeAndWait(writer), MetricsFile::Status::Written);
    EXPECT_EQ(writeAndWait(writer), MetricsFile::Status::Written);
    EXPECT_EQ(fileBytes(file), text);
    EXPECT_EQ(events.messages(),
              QStringList({"The metrics could not be written to " + folder + ": the folder does not exist",
                           "The metrics are written to " + folder + " again"}));
}

TEST_F(MetricsWriterTest, AWriterThatDoesNotEndHoldsNothingAndIsToldOnce)
{
    // Standing in for a writer stuck on a share that does not answer.
    MetricsWriter writer(folder, events, QStringLiteral("sh"),
                         {QStringLiteral("-c"), QStringLiteral("exec sleep 600")});
    QSignalSpy written(&writer, &MetricsWriter::written);
    writer.write(sampleReport());
    writer.write(sampleReport());
    writer.write(sampleReport());
    ASSERT_EQ(written.size(), 2);
    EXPECT_EQ(written[0][0].value<MetricsFile::Status>(), MetricsFile::Status::NoAnswer);
    EXPECT_EQ(events.messages(),
              QStringList({"The metrics could not be written to " + folder + ": the folder does not answer"}));
}

TEST_F(MetricsWriterTest, AWriterThatEndsWithoutAnAnswerIsAFailureAndStartsAgain)
{
    MetricsWriter writer(folder, events, QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("exit 0")});
    EXPECT_EQ(writeAndWait(writer), MetricsFile::Status::Failed);
    EXPECT_EQ(writeAndWait(writer), MetricsFile::Status::Failed);
    EXPECT_EQ(events.messages(),
              QStringList({"The metrics could not be written to " + folder + ": the writer failed"}));
}

TEST_F(MetricsWriterTest, NoFolderWritesNothing)
{
    MetricsWriter writer(QString(), events, QStringLiteral("false"));
    QSignalSpy written(&writer, &MetricsWriter::written);
    writer.write(sampleReport());
    EXPECT_FALSE(written.wait(200));
    EXPECT_TRUE(events.events.isEmpty());
}

} // namespace
