// The notifier against a notification service on a session bus of the test's own.
#include "PrivateBus.h"
#include "support/FileBytes.h"
#include "support/TempDir.h"
#include "support/WaitFor.h"

#include "outcome/DBusNotifier.h"
#include "outcome/Notice.h"

#include <QDBusConnection>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QSystemTrayIcon>

#include <gtest/gtest.h>

namespace {

// Records what would go to the tray icon's own message.
class TrayRecordingNotifier : public DBusNotifier {
public:
    using DBusNotifier::DBusNotifier;
    QStringList inTray;

protected:
    void showTrayMessage(QSystemTrayIcon*, const QString& title, const QString&, bool) override { inTray << title; }
};

Notice notice(const QString& title, bool urgent)
{
    Notice n;
    n.title = title;
    n.lines = {urgent ? QStringLiteral("Down: IP Cam 3 <192.168.1.23>") : QStringLiteral("Back up: Device 1")};
    n.urgent = urgent;
    return n;
}

QList<QJsonObject> recorded(const QString& record)
{
    QList<QJsonObject> calls;
    for (const QByteArray& line : readFile(record).split('\n')) {
        if (!line.isEmpty())
            calls << QJsonDocument::fromJson(line).object();
    }
    return calls;
}

class DBusNotice : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (bus.address().isEmpty())
            GTEST_SKIP() << "dbus-daemon could not start a session bus (Debian package dbus-daemon)";
        connection = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(bus.address(), QStringLiteral("notice-test-%1").arg(++count)));
        ASSERT_TRUE(connection->isConnected());
    }
    void TearDown() override
    {
        if (connection)
            QDBusConnection::disconnectFromBus(connection->name());
    }
    bool startStandIn() { return bus.startStandIn(QStringLiteral(PYLVANE_NOTIFICATION_STANDIN), record); }

    static inline int count = 0;
    TempDir dir;
    QString record = dir.path(QStringLiteral("notify.jsonl"));
    PrivateBus bus;
    std::unique_ptr<QDBusConnection> connection;
};

// Hostile first: a bus on which nobody offers notices sends the notice to the tray instead.
TEST_F(DBusNotice, WithoutAServiceOnTheBusTheTrayTellsIt)
{
    QSystemTrayIcon icon(QIcon(QStringLiteral(":/icons/pylvane-32.png")));
    icon.show();
    TrayRecordingNotifier notifier([&icon] { return &icon; }, *connection);
    notifier.show(notice(QStringLiteral("Pylvane: 1 target down"), true));
    EXPECT_TRUE(notifier.inTray.isEmpty()) << "the answer is awaited, not waited for";
    EXPECT_TRUE(waitFor([&] { return !notifier.inTray.isEmpty(); }, 10'000));
    EXPECT_EQ(notifier.inTray, QStringList{"Pylvane: 1 target down"});
}

TEST_F(DBusNotice, NamesTheProgramSetsUrgencyOffersTheClickAndReplacesTheLastNotice)
{
    ASSERT_TRUE(startStandIn());
    TrayRecordingNotifier notifier([] { return nullptr; }, *connection);
    notifier.show(notice(QStringLiteral("Pylvane: 1 target down"), true));
    ASSERT_TRUE(waitFor([&] { return recorded(record).size() == 1; }, 10'000));
    // The reply carrying the id must arrive before the next notice can replace this one.
    QTest::qWait(200);
    notifier.show(notice(QStringLiteral("Pylvane: all targets up again"), false));
    ASSERT_TRUE(waitFor([&] { return recorded(record).size() == 2; }, 10'000));
    const QList<QJsonObject> calls = recorded(record);
    const QJsonObject down = calls.at(0);
    EXPECT_EQ(down.value("app").toString(), "Pylvane");
    EXPECT_EQ(down.value("icon").toString(), "pylvane");
    EXPECT_EQ(down.value("summary").toString(), "Pylvane: 1 target down");
    EXPECT_EQ(down.value("body").toString(), "Down: IP Cam 3 <192.168.1.23>") << "no markup: sent as it is";
    EXPECT_EQ(down.value("urgency").toInt(), 2);
    EXPECT_EQ(down.value("urgencyType").toString(), "uchar");
    EXPECT_EQ(down.value("actions").toArray().at(0).toString(), "default");
    EXPECT_EQ(down.value("replaces").toInt(), 0);
    const QJsonObject back = calls.at(1);
    EXPECT_EQ(back.value("urgency").toInt(), 1);
    EXPECT_EQ(back.value("replaces").toInt(), down.value("id").toInt());
    EXPECT_TRUE(notifier.inTray.isEmpty());
}

// A text from a field is text, also for a service that reads bodies as markup.
TEST_F(DBusNotice, ATextIsEscapedForAServiceThatReadsMarkup)
{
    writeFile(record + QStringLiteral(".markup"), "");
    ASSERT_TRUE(startStandIn());
    TrayRecordingNotifier notifier([] { return nullptr; }, *connection);
    QTest::qWait(300); // for the answer to the question what the service can do
    notifier.show(notice(QStringLiteral("Pylvane: 1 target down"), true));
    ASSERT_TRUE(waitFor([&] { return recorded(record).size() == 1; }, 10'000));
    EXPECT_EQ(recorded(record).first().value("body").toString(), "Down: IP Cam 3 &lt;192.168.1.23&gt;");
}

TEST_F(DBusNotice, AClickOnTheNoticeSaysSo)
{
    ASSERT_TRUE(startStandIn());
    writeFile(record + QStringLiteral(".click"), "");
    TrayRecordingNotifier notifier([] { return nullptr; }, *connection);
    QSignalSpy clicked(&notifier, &Notifier::clicked);
    notifier.show(notice(QStringLiteral("Pylvane: 1 target down"), true));
    EXPECT_TRUE(clicked.wait(10'000));
}

} // namespace
