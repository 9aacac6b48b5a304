#include "monitor/TargetFields.h"
#include "support/HistoryRows.h"
#include "support/TempDir.h"
#include "ui/HistoryStrip.h"
#include "ui/HistoryWindow.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

namespace {

constexpr int64_t kMinute = 60'000;
constexpr int64_t kNow = 1'800'000'000'000; // 2027-01-15 08:00 UTC

// Device 1 and Cam 3 enabled; Process 2 too, but it has no history yet.
class Fields : public TargetFields {
public:
    int enableValue(TargetKind kind, int number) const override
    {
        return !targetText(kind, number).isEmpty() ? Ticked : Unticked;
    }
    QString targetText(TargetKind kind, int number) const override
    {
        if (kind == TargetKind::Device && number == 1)
            return QStringLiteral("10.0.0.1");
        if (kind == TargetKind::Cam && number == 3)
            return QStringLiteral("192.168.1.23");
        if (kind == TargetKind::Process && number == 2)
            return QStringLiteral("backup");
        return {};
    }
    QString failureCommand() const override { return {}; }
};

class HistoryWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        rows_.emplace(QFile::encodeName(dir_.path(HistorySchema::kFileName)).toStdString());
        ASSERT_TRUE(rows_->ok());
        const int64_t cam = rows_->series("camera", 3, "Cam3", "192.168.1.23");
        rows_->checks(cam, kNow - 5 * 60 * kMinute, 17 * kMinute, 10, [](int i) {
            return i == 3 || i == 4 ? "down" : i == 5 ? "unknown" : "up";
        });
        const int64_t device = rows_->series("device", 1, "Device1", "10.0.0.1");
        rows_->checks(device, kNow - 3 * HistoryRules::kDayMs, 17 * kMinute, 200, [](int) { return "up"; });
        // Cam 3 under an older address: not what is checked now.
        rows_->check(rows_->series("camera", 3, "Cam3", "192.168.1.99"), kNow - kMinute, "down");
        ASSERT_TRUE(rows_->ok());
        window_.setZone(QTimeZone::utc());
        window_.setClock([] { return kNow; });
    }

    void load()
    {
        QSignalSpy loaded(&window_, &HistoryWindow::loaded);
        window_.showAndLoad();
        ASSERT_TRUE(loaded.wait(10'000));
    }

    HistoryStrip* strip(const char* name) { return window_.findChild<HistoryStrip*>(QString::fromLatin1(name)); }

    TempDir dir_;
    std::optional<HistoryRows> rows_;
    Fields fields_;
    HistoryWindow window_{fields_, dir_.path()};
};

TEST_F(HistoryWindowTest, WithoutAFileItSaysThereIsNoHistoryYet)
{
    TempDir empty;
    HistoryWindow window(fields_, empty.path());
    QSignalSpy loaded(&window, &HistoryWindow::loaded);
    window.showAndLoad();
    ASSERT_TRUE(loaded.wait(10'000));
    EXPECT_TRUE(window.findChild<QLabel*>("HistoryStatus")->text().startsWith("No history yet"));
    EXPECT_TRUE(window.findChildren<HistoryStrip*>().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(empty.path(HistorySchema::kFileName)));
}

TEST_F(HistoryWindowTest, StripsAreNamedAndDescribedInWords)
{
    load();
    // Only enabled targets with their current text, and only those with a history.
    EXPECT_EQ(window_.findChildren<HistoryStrip*>().size(), 4);
    HistoryStrip* recent = strip("Recent_camera_3");
    ASSERT_NE(recent, nullptr);
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(recent);
    EXPECT_EQ(reader->text(QAccessible::Name), "Cam3, last 24 hours");
    EXPECT_EQ(reader->text(QAccessible::Description),
              "Cam3: down once in the last 24 hours, 51 min in all; last down 03:51 to 04:42");
    EXPECT_EQ(recent->cellCount(), 10);
    QAccessibleInterface* days = QAccessible::queryAccessibleInterface(strip("Days_camera_3"));
    EXPECT_EQ(days->text(QAccessible::Name), "Cam3, last 90 days");
    EXPECT_EQ(days->text(QAccessible::Description), "Cam3: down on 1 of the last 90 days; up 77.8 %, 7/9 checks");
    EXPECT_EQ(window_.findChild<QLabel*>("Uptime_camera_3")->text(),
              "Uptime 24 h: 77.8 %, 7/9 checks · 7 d: 77.8 %, 7/9 checks · 30 d: 77.8 %, 7/9 checks · "
              "90 d: 77.8 %, 7/9 checks");
    EXPECT_EQ(window_.findChild<QLabel*>("LastOutage_camera_3")->text(), "Last outage: 03:51, 51 min");
    EXPECT_EQ(window_.findChild<QLabel*>("LastOutage_device_1")->text(), "No outage in the last 90 days");
}

TEST_F(HistoryWindowTest, TabReachesEachStripAndTheArrowsReadOutEachCell)
{
    load();
    QApplication::setActiveWindow(&window_);
    strip("Recent_device_1")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), strip("Days_device_1"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    HistoryStrip* recent = strip("Recent_camera_3");
    ASSERT_EQ(QApplication::focusWidget(), recent);
    QTest::keyClick(recent, Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), window_.findChild<QTableWidget*>("Outages"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    ASSERT_EQ(QApplication::focusWidget(), recent);

    // The focus on a target's strip shows its outages below, newest first.
    auto* outages = window_.findChild<QTableWidget*>("Outages");
    ASSERT_EQ(outages->rowCount(), 1);
    EXPECT_EQ(outages->item(0, 1)->text(), QLocale().toString(QDateTime::fromMSecsSinceEpoch(
                                                                   kNow - 5 * 60 * kMinute + 6 * 17 * kMinute,
                                                                   QTimeZone::utc()),
                                                               QLocale::ShortFormat));
    EXPECT_EQ(outages->item(0, 3)->text(), "3");

    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(recent);
    ASSERT_NE(reader->valueInterface(), nullptr);
    EXPECT_TRUE(reader->text(QAccessible::Value).endsWith(", up")) << reader->text(QAccessible::Value).toStdString();
    QTest::keyClick(recent, Qt::Key_Home);
    QTest::keyClick(recent, Qt::Key_Right);
    QTest::keyClick(recent, Qt::Key_Right);
    QTest::keyClick(recent, Qt::Key_Right);
    EXPECT_EQ(reader->valueInterface()->currentValue().toInt(), 3);
    EXPECT_TRUE(reader->text(QAccessible::Value).endsWith("03:51, down")) << reader->text(QAccessible::Value).toStdString();
    QTest::keyClick(recent, Qt::Key_Right);
    QTest::keyClick(recent, Qt::Key_Right);
    EXPECT_TRUE(reader->text(QAccessible::Value).endsWith("04:25, could not be checked"));
    QTest::keyClick(recent, Qt::Key_End);
    QTest::keyClick(recent, Qt::Key_Right);
    EXPECT_EQ(reader->valueInterface()->currentValue().toInt(), 9);
}

TEST_F(HistoryWindowTest, ExportWritesOverAPlantedLinkWithoutFollowingIt)
{
    load();
    const QString victim = dir_.path("victim.txt");
    QFile file(victim);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("keep me");
    file.close();
    const QString path = dir_.path("export.csv");
    ASSERT_TRUE(QFile::link(victim, path));
    QSignalSpy exported(&window_, &HistoryWindow::exported);
    const QDate day = QDate(2027, 1, 15);
    ASSERT_TRUE(window_.exportTo(path, HistoryExport::Outages, day, day));
    ASSERT_TRUE(exported.wait(10'000));
    EXPECT_TRUE(exported.at(0).at(0).toBool()) << exported.at(0).at(1).toString().toStdString();
    EXPECT_FALSE(QFileInfo(path).isSymLink());
    QFile out(path);
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_EQ(out.readAll(), "kind,number,name,text,start,end,duration_s,checks\r\n"
                             "camera,3,Cam3,192.168.1.23,2027-01-15T03:51:00+00:00,2027-01-15T04:42:00+00:00,3060,3\r\n");
    QFile kept(victim);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "keep me");
}

TEST_F(HistoryWindowTest, AnExportThatCannotBeWrittenIsAFailure)
{
    load();
    QSignalSpy exported(&window_, &HistoryWindow::exported);
    ASSERT_TRUE(window_.exportTo(dir_.path("no-such-folder/export.csv"), HistoryExport::Checks, QDate(2027, 1, 14),
                                 QDate(2027, 1, 15)));
    ASSERT_TRUE(exported.wait(10'000));
    EXPECT_FALSE(exported.at(0).at(0).toBool());
    EXPECT_TRUE(exported.at(0).at(1).toString().startsWith("The export failed: "));
}

} // namespace
