// The notifier against a notification service on a session bus of the test's own.
#include "PrivateBus.h"
#include "support/FileBytes.h"
#include "support/TempDir.h"
#include "support/WaitFor.h"

#include "outcome/DBusNotifier.h"
#include "outcome/Notice.h"
#include "outcome/SessionBusNotifier.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QSystemTrayIcon>

#include <gtest/gtest.h>

namespace {

// Records what would go to the tray icon's own message.
template <typename Base> class TrayRecording : public Base {
public:
    using Base::Base;
    QStringList inTray;

protected:
    void showTrayMessage(QSystemTrayIcon*, const QString& title, const QString&, bool) override { inTray << title; }
};
using TrayRecordingNotifier = TrayRecording<DBusNotifier>;

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

// A line with every kind of markup a desktop acts on, as a process name may carry it.
const QString kHostileLine = QStringLiteral(R"(Down: Services and Apps 1 <b>x</b><a href="https://example.com/">y</a>)"
                                            R"(<img src="file:///etc/shadow"> & co)");
const QString kHostileEscaped = QStringLiteral(
    "Down: Services and Apps 1 &lt;b&gt;x&lt;/b&gt;&lt;a href=&quot;https://example.com/&quot;&gt;y&lt;/a&gt;"
    "&lt;img src=&quot;file:///etc/shadow&quot;&gt; &amp; co");

Notice hostileNotice()
{
    Notice n = notice(QStringLiteral("Pylvane: 1 target down"), true);
    n.lines = {kHostileLine};
    return n;
}

bool answered(const DBusNotifier& notifier, bool markup)
{
    return waitFor(
        [&] { return notifier.markup() == (markup ? DBusNotifier::Markup::Read : DBusNotifier::Markup::NotRead); },
        10'000);
}

template <typename Base = ::testing::Test> class DBusNoticeOn : public Base {
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
    bool startStandIn(const QString& file, bool markup = false)
    {
        if (markup)
            writeFile(file + QStringLiteral(".markup"), "");
        return bus.startStandIn(QStringLiteral(PYLVANE_NOTIFICATION_STANDIN), file);
    }
    bool startStandIn() { return startStandIn(record); }

    static inline int count = 0;
    TempDir dir;
    QString record = dir.path(QStringLiteral("notify.jsonl"));
    PrivateBus bus;
    std::unique_ptr<QDBusConnection> connection;
};
using DBusNotice = DBusNoticeOn<>;

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
    ASSERT_TRUE(answered(notifier, false));
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

// A text from a field is text: escaped for a service that reads bodies as markup, and until the service
// holding the name has said it reads none. The hostile cases first: the service comes or changes after the
// notifier starts.
enum class Reads { Nothing, Plain, Markup };
struct Owners {
    const char* name;
    Reads atStart; // the service holding the name as the notifier starts
    Reads then;    // the one that takes the name after the first has answered (Nothing: none takes it)
    bool restart;  // the first one ends before the next starts, rather than being replaced while it runs
    bool atOnce;   // the notice goes as the last one holds the name, before it can have answered
};

void PrintTo(const Owners& owners, std::ostream* out)
{
    *out << owners.name;
}

class DBusNoticeOwners : public DBusNoticeOn<::testing::TestWithParam<Owners>> {};

TEST_P(DBusNoticeOwners, ATextGoesPlainOnlyToTheServiceHoldingTheNameThatReadsNoMarkup)
{
    const Owners& owners = GetParam();
    if (owners.atStart != Reads::Nothing) {
        ASSERT_TRUE(startStandIn(record, owners.atStart == Reads::Markup));
    }
    TrayRecordingNotifier notifier([] { return nullptr; }, *connection);
    QString last = record;
    if (owners.then != Reads::Nothing) {
        if (owners.atStart != Reads::Nothing) {
            ASSERT_TRUE(answered(notifier, owners.atStart == Reads::Markup));
        }
        if (owners.restart)
            bus.stopStandIns();
        last = dir.path(QStringLiteral("then.jsonl"));
        ASSERT_TRUE(startStandIn(last, owners.then == Reads::Markup));
    }
    const bool markup = (owners.then != Reads::Nothing ? owners.then : owners.atStart) == Reads::Markup;
    if (!owners.atOnce) {
        ASSERT_TRUE(answered(notifier, markup)) << "the service holding the name was not asked what it can do";
    }
    notifier.show(hostileNotice());
    ASSERT_TRUE(waitFor([&] { return recorded(last).size() == 1; }, 10'000));
    EXPECT_EQ(recorded(last).first().value("body").toString(),
              markup || owners.atOnce ? kHostileEscaped : kHostileLine);
    EXPECT_TRUE(notifier.inTray.isEmpty());
}

// name, start, next, restart, at once
INSTANTIATE_TEST_SUITE_P(
    , DBusNoticeOwners,
    ::testing::Values(Owners{"NoneAtStartThenOneReadingMarkupAtOnce", Reads::Nothing, Reads::Markup, false, true},
                      Owners{"NoneAtStartThenOneReadingMarkup", Reads::Nothing, Reads::Markup, false, false},
                      Owners{"NoneAtStartThenOneReadingNone", Reads::Nothing, Reads::Plain, false, false},
                      Owners{"PlainReplacedByMarkup", Reads::Plain, Reads::Markup, false, false},
                      Owners{"PlainRestartsWithMarkup", Reads::Plain, Reads::Markup, true, false},
                      Owners{"MarkupReplacedByPlain", Reads::Markup, Reads::Plain, false, false},
                      Owners{"Markup", Reads::Markup, Reads::Nothing, false, false},
                      Owners{"PlainNotYetAnswered", Reads::Plain, Reads::Nothing, false, true},
                      Owners{"Plain", Reads::Plain, Reads::Nothing, false, false}),
    [](const ::testing::TestParamInfo<Owners>& info) { return std::string(info.param.name); });

// A notice sent as the name passes, before the change is seen here (no event is handled in between), goes
// plain only to the service that said it reads no markup, never raw to the next.
TEST_F(DBusNotice, ANoticeSentAsTheNamePassesGoesPlainOnlyToTheServiceThatReadsNone)
{
    ASSERT_TRUE(startStandIn(record));
    TrayRecordingNotifier notifier([] { return nullptr; }, *connection);
    ASSERT_TRUE(answered(notifier, false));
    const QString next = dir.path(QStringLiteral("next.jsonl"));
    ASSERT_TRUE(startStandIn(next, true));
    notifier.show(hostileNotice());
    ASSERT_TRUE(waitFor([&] { return recorded(record).size() == 1; }, 10'000));
    EXPECT_EQ(recorded(record).first().value("body").toString(), kHostileLine);
    QTest::qWait(300);
    EXPECT_TRUE(recorded(next).isEmpty());
}

// The first service answers a second late, after another has taken the name: its answer is not the new one's.
TEST_F(DBusNotice, ALateAnswerFromAReplacedServiceSetsNothing)
{
    writeFile(record + QStringLiteral(".slow"), "");
    ASSERT_TRUE(startStandIn(record));
    TrayRecordingNotifier notifier([] { return nullptr; }, *connection);
    const QString next = dir.path(QStringLiteral("next.jsonl"));
    ASSERT_TRUE(startStandIn(next, true));
    ASSERT_TRUE(answered(notifier, true));
    ASSERT_TRUE(waitFor([&] { return QFile::exists(record + QStringLiteral(".answered")); }, 10'000));
    QTest::qWait(300); // for the late answer to arrive here
    EXPECT_EQ(notifier.markup(), DBusNotifier::Markup::Read);
    notifier.show(hostileNotice());
    ASSERT_TRUE(waitFor([&] { return recorded(next).size() == 1; }, 10'000));
    EXPECT_EQ(recorded(next).first().value("body").toString(), kHostileEscaped);
    EXPECT_TRUE(recorded(record).isEmpty());
}

// A bus daemon that takes calls and answers none holds up neither the notifier's start (watching the name
// asks the bus nothing) nor a notice.
TEST_F(DBusNotice, AHungBusHoldsUpNeitherTheStartNorANotice)
{
    bus.pause();
    QElapsedTimer held;
    held.start();
    TrayRecordingNotifier notifier([] { return nullptr; }, *connection);
    notifier.show(hostileNotice());
    EXPECT_LT(held.elapsed(), 2'000);
    EXPECT_EQ(notifier.markup(), DBusNotifier::Markup::Unknown);

    // Connecting to such a daemon would wait for good: the program's notifier connects only once it answers, and
    // meanwhile the notice goes to the tray.
    const QString name = QStringLiteral("session-notice-test-%1").arg(++count);
    QSystemTrayIcon icon(QIcon(QStringLiteral(":/icons/pylvane-32.png")));
    icon.show();
    TrayRecording<SessionBusNotifier> session(
        [&icon] { return &icon; }, bus.address(),
        [this, name] { return QDBusConnection::connectToBus(bus.address(), name); });
    session.show(hostileNotice());
    EXPECT_LT(held.elapsed(), 2'000);
    EXPECT_TRUE(waitFor([&] { return !session.inTray.isEmpty(); }, SessionBusProbe::kLimitMs + 2'000));
    EXPECT_FALSE(session.connected());
    bus.resume();
    ASSERT_TRUE(startStandIn());
    session.show(notice(QStringLiteral("Pylvane: 2 targets down"), true)); // to the tray, and the bus is asked again
    ASSERT_TRUE(waitFor([&] { return session.connected(); }));
    session.show(notice(QStringLiteral("Pylvane: 3 targets down"), true));
    EXPECT_TRUE(waitFor([&] { return recorded(record).size() == 1; }));
    EXPECT_EQ(session.inTray, QStringList({"Pylvane: 1 target down", "Pylvane: 2 targets down"}));
    QDBusConnection::disconnectFromBus(name);
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
