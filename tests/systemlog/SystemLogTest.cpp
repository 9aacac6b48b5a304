#include "support/TempDir.h"

#include "systemlog/JournalEvents.h"

#include <QByteArray>
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace {

// A socket of the test's own at a path, in the journal's or syslog's place; it reads only when asked.
class Listener {
public:
    Listener(const QString& path, int type = SOCK_DGRAM)
    {
        fd_ = ::socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        const QByteArray bytes = path.toUtf8();
        std::memcpy(address.sun_path, bytes.constData(), size_t(bytes.size()));
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                 (type != SOCK_STREAM || ::listen(fd_, 4) == 0);
    }
    ~Listener() { ::close(fd_); }
    bool bound() const { return bound_; }
    // What has arrived, without waiting.
    QByteArrayList received()
    {
        QByteArrayList messages;
        QByteArray buffer(1 << 20, '\0');
        for (;;) {
            const ssize_t size = ::recv(fd_, buffer.data(), size_t(buffer.size()), MSG_DONTWAIT);
            if (size < 0)
                return messages;
            messages << buffer.left(size);
        }
    }
    QByteArray acceptOne()
    {
        const int connection = ::accept(fd_, nullptr, nullptr);
        QByteArray bytes(4096, '\0');
        const ssize_t size = ::recv(connection, bytes.data(), size_t(bytes.size()), 0);
        ::close(connection);
        return bytes.left(size < 0 ? 0 : size);
    }

private:
    int fd_ = -1;
    bool bound_ = false;
};

class SystemLogTest : public ::testing::Test {
protected:
    TempDir dir;
    const QString journalPath = dir.path(QStringLiteral("journal"));
    const QString syslogPath = dir.path(QStringLiteral("syslog"));
    JournalEvents events{journalPath.toUtf8(), syslogPath.toUtf8()};
};

TEST_F(SystemLogTest, AJournalThatDoesNotReadCostsTheEventsButNeverAWait)
{
    Listener journal(journalPath);
    Listener syslog(syslogPath);
    ASSERT_TRUE(journal.bound() && syslog.bound());
    // Far more than the socket queue holds; a blocking send would hang here.
    int dropped = 0;
    for (int i = 0; i < 3000; ++i) {
        events.targetDown(QStringLiteral("device"), QStringLiteral("Device1"), QStringLiteral("10.0.0.1"));
        dropped += events.lastOutcome() == JournalEvents::Outcome::Dropped ? 1 : 0;
    }
    EXPECT_GT(dropped, 0);
    EXPECT_GT(journal.received().size(), 0);
    // A slow journal is not a missing one: nothing goes to syslog twice over.
    EXPECT_TRUE(syslog.received().isEmpty());
}

TEST_F(SystemLogTest, ASyslogThatDoesNotReadCostsTheEventsButNeverAWait)
{
    Listener syslog(syslogPath);
    ASSERT_TRUE(syslog.bound());
    for (int i = 0; i < 3000; ++i)
        events.started(QStringLiteral("1.0"));
    EXPECT_EQ(events.lastOutcome(), JournalEvents::Outcome::Dropped);
}

TEST_F(SystemLogTest, WithoutAJournalSocketTheSentenceGoesToSyslogOnOneLine)
{
    Listener syslog(syslogPath);
    ASSERT_TRUE(syslog.bound());
    // A plain file in the journal socket's place is no journal either.
    QFile planted(journalPath);
    ASSERT_TRUE(planted.open(QIODevice::WriteOnly));
    planted.close();

    events.targetDown(QStringLiteral("camera"), QStringLiteral("Cam3"), QStringLiteral("a\nb\\c\x1b<13>"));
    EXPECT_EQ(events.lastOutcome(), JournalEvents::Outcome::Syslog);
    events.ended(QStringLiteral("1.2.3"));
    const QByteArrayList lines = syslog.received();
    ASSERT_EQ(lines.size(), 2);
    const QByteArray tail = " pylvane[" + QByteArray::number(::getpid()) + "]: ";
    EXPECT_TRUE(lines[0].startsWith("<11>")) << lines[0].constData();
    EXPECT_TRUE(lines[0].endsWith(tail + "Cam3 a\\nb\\\\c\\x1b<13> is down")) << lines[0].constData();
    EXPECT_TRUE(lines[1].startsWith("<14>")) << lines[1].constData();
    EXPECT_TRUE(lines[1].endsWith(tail + "Pylvane 1.2.3 ended")) << lines[1].constData();
}

TEST_F(SystemLogTest, ASyslogOnAStreamSocketGetsTheLineEndedWithANull)
{
    Listener syslog(syslogPath, SOCK_STREAM);
    ASSERT_TRUE(syslog.bound());
    events.settingsNotSaved(QStringLiteral("/x/Pylvane.conf"));
    EXPECT_EQ(events.lastOutcome(), JournalEvents::Outcome::Syslog);
    const QByteArray record = syslog.acceptOne();
    EXPECT_TRUE(record.endsWith(": The settings could not be saved to /x/Pylvane.conf" + QByteArray(1, '\0')))
        << record.constData();
}

// The run without a desktop: a reload refused is an error, a start after a run that did not end in order a warning,
// each with an identity of its own that monitoring rules can match.
TEST_F(SystemLogTest, ARefusedReloadAndAStartAfterAnUnorderlyEndHaveTheirOwnIdentity)
{
    Listener journal(journalPath);
    ASSERT_TRUE(journal.bound());
    events.settingsNotReloaded(QStringLiteral("/etc/pylvane/pylvane.conf"), QStringLiteral("line 3 cannot be read"));
    events.startedAfterUnorderlyEnd(QStringLiteral("1.2.3"), 4242, QStringLiteral("2026-01-02T03:04:05+00:00"));
    events.startedAfterUnorderlyEnd(QStringLiteral("1.2.3"), 4243, {});
    const QByteArrayList entries = journal.received();
    ASSERT_EQ(entries.size(), 3);
    EXPECT_TRUE(entries[0].contains("MESSAGE=The settings in /etc/pylvane/pylvane.conf were not read again: line 3 "
                                    "cannot be read; the settings before stay in force\n"))
        << entries[0].constData();
    EXPECT_TRUE(entries[0].contains("MESSAGE_ID=f20b82c2a0094f01b62870ae0085677a\n"));
    EXPECT_TRUE(entries[0].contains("PRIORITY=3\n"));
    EXPECT_TRUE(entries[1].contains("MESSAGE=Pylvane 1.2.3 started again after the run before it (process 4242, "
                                    "started 2026-01-02T03:04:05+00:00) ended without its orderly end\n"))
        << entries[1].constData();
    EXPECT_TRUE(entries[1].contains("MESSAGE_ID=dc4016d3baaa4f6e91893a7276cbdd4a\n"));
    EXPECT_TRUE(entries[1].contains("PRIORITY=4\n"));
    EXPECT_TRUE(entries[2].contains("(process 4243, started at a time not known)")) << entries[2].constData();
}

TEST_F(SystemLogTest, NoJournalAndNoSyslogDropsTheEvent)
{
    events.started(QStringLiteral("1.0"));
    EXPECT_EQ(events.lastOutcome(), JournalEvents::Outcome::Dropped);
}

TEST(SystemEventsTest, PartsGoIntoTheSentenceAsTheyAre)
{
    // A part holding what looks like a place for another part stays as it is.
    const SystemEvent event = SystemEvents::targetEvent(SystemEventKind::TargetBackUp, QStringLiteral("process"),
                                                        QStringLiteral("%2"), QStringLiteral("%1 x.exe %2"));
    EXPECT_EQ(event.message, QStringLiteral("%2 %1 x.exe %2 is back up"));
    EXPECT_EQ(event.strings, QStringList({QStringLiteral("%2"), QStringLiteral("%1 x.exe %2")}));
    EXPECT_EQ(SystemEvents::plainEvent(SystemEventKind::FailureCommandFailed, {"/bin/%2", "no %1"}).message,
              QStringLiteral("Could not start the failure command /bin/%2: no %1"));
}

} // namespace
