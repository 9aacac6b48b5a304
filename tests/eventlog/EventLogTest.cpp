#include "EventLogFixture.h"

#include "eventlog/LogFile.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>

namespace {

TEST_F(EventLogTest, FirstHostEntryCreatesFourLines)
{
    ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::HostHeader, " - Device1 OFF   "));
    EXPECT_EQ(contents(), kHostHeader + entry(" - Device1 OFF   "));
    EXPECT_EQ(contents().count("\r\n"), 4);
    EXPECT_TRUE(contents().contains("08:15:42  - Device1 OFF   \r\n")) << "two blanks before the dash";
}

TEST_F(EventLogTest, HeaderStyleIsChosenOnlyAtCreation)
{
    ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::ProcessHeader, " - Process1 DOWN   "));
    ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::HostHeader, " - Device1 OFF   "));
    EXPECT_EQ(contents(), kProcessHeader + entry(" - Device1 OFF   ") + entry(" - Process1 DOWN   "));

    QFile::remove(path);
    ASSERT_TRUE(log.OpenLog());
    EXPECT_EQ(contents(), kHostHeader);
    ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::ProcessHeader, " - Process3 DOWN   "));
    EXPECT_EQ(contents(), kHostHeader + entry(" - Process3 DOWN   "));
}

TEST_F(EventLogTest, NewestEntryStandsFirst)
{
    ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::HostHeader, " - Device2 OFF   "));
    platform.time = "08:15:43";
    ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::ProcessHeader, " - Process3 DOWN   "));
    platform.time = "08:15:44";
    ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::ProcessHeader, " - Process7 DOWN   "));
    const QList<QByteArray> lines = contents().split('\n');
    ASSERT_EQ(lines.size(), 9) << "eight CR LF-ended lines";
    EXPECT_EQ(lines[2], "07.12.2026 08:15:44  - Process7 DOWN   \r");
    EXPECT_EQ(lines[4], "07.12.2026 08:15:43  - Process3 DOWN   \r");
    EXPECT_EQ(lines[6], "07.12.2026 08:15:42  - Device2 OFF   \r");
    EXPECT_EQ(lines[3], "\r");
    EXPECT_EQ(lines[5], "\r");
    EXPECT_EQ(lines[7], "\r");
    EXPECT_EQ(lines[8], "");
}

struct BodyCase {
    const char* name;
    QByteArray stored;   // what follows the two header lines on disk
    QByteArray expected; // what follows the new entry afterwards
};

// A failing row is named by its name, not by the bytes of its texts.
void PrintTo(const BodyCase& row, std::ostream* out)
{
    *out << row.name;
}

class HandEditedBody : public EventLogTest, public ::testing::WithParamInterface<BodyCase> {};

TEST_P(HandEditedBody, IsCarriedOverLineByLine)
{
    setContents(kHostHeader + GetParam().stored);
    ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::ProcessHeader, " - Process2 DOWN   "));
    EXPECT_EQ(contents(), kHostHeader + entry(" - Process2 DOWN   ") + GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, HandEditedBody,
    ::testing::Values(BodyCase{"crlf", "a\r\n\r\nb\r\n", "a\r\n\r\nb\r\n"},
                      BodyCase{"lf_only", "a\n\nb\n", "a\r\n\r\nb\r\n"}, BodyCase{"cr_only", "a\rb\r", "a\r\nb\r\n"},
                      BodyCase{"mixed", "x\r\r\ny\n\nz", "x\r\n\r\ny\r\n\r\nz\r\n"},
                      BodyCase{"no_empty_lines", "e1\r\ne2\r\ne3", "e1\r\ne2\r\ne3\r\n"},
                      BodyCase{"extra_empty_lines", "\r\n\r\n\r\nforeign text\r\n", "\r\n\r\n\r\nforeign text\r\n"},
                      BodyCase{"not_utf8", "\xff\xfe caf\xe9 \x80\r\n", "\xff\xfe caf\xe9 \x80\r\n"},
                      BodyCase{"nul_bytes", QByteArray("a\0b\r\n", 5), QByteArray("a\0b\r\n", 5)},
                      BodyCase{"trailing_blanks", "  x  \t\r\n", "  x  \t\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EventLogTest, HeaderLinesWithOtherLineEndsAreKeptAndNormalised)
{
    setContents("my own header\nseparator\rold entry\n");
    ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::HostHeader, " - Cam4 OFF   "));
    EXPECT_EQ(contents(), "my own header\r\nseparator\r\n" + entry(" - Cam4 OFF   ") + "old entry\r\n");
}

TEST_F(EventLogTest, FilesTooShortForAHeaderKeepTheirText)
{
    setContents("");
    ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::ProcessHeader, " - Process1 DOWN   "));
    EXPECT_EQ(contents(), kProcessHeader + entry(" - Process1 DOWN   "));

    setContents("Pylvane Log File , Created 01.01.2020 10:00:00");
    ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::ProcessHeader, " - Process1 DOWN   "));
    EXPECT_EQ(contents(), "Pylvane Log File , Created 01.01.2020 10:00:00\r\n" + QByteArray(79, '=') + "\r\n" +
                              entry(" - Process1 DOWN   "));

    setContents("a note of my own\r\n");
    ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::HostHeader, " - Device5 OFF   "));
    EXPECT_EQ(contents(), kHostHeader + entry(" - Device5 OFF   ") + "a note of my own\r\n");
}

TEST_F(EventLogTest, OpenLogCreatesOnlyWhenMissing)
{
    ASSERT_TRUE(log.OpenLog());
    EXPECT_EQ(contents(), kHostHeader);
    EXPECT_EQ(platform.opened, QStringList{path});

    setContents("kept as it is\n");
    platform.editorSucceeds = false;
    EXPECT_FALSE(log.OpenLog());
    EXPECT_EQ(contents(), "kept as it is\n");
    EXPECT_EQ(platform.opened.size(), 2);
}

TEST_F(EventLogTest, HiddenLogCountsAsPresentAndIsNeverEmptied)
{
    const QString hiddenPath = dir.path(".PylvaneLog.txt");
    EventLog hidden(platform, hiddenPath);
    QFile file(hiddenPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(kProcessHeader + "older\r\n");
    file.close();

    ASSERT_TRUE(hidden.OpenLog());
    ASSERT_TRUE(hidden.WriteLogEntry(HeaderStyle::HostHeader, " - Device9 OFF   "));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), kProcessHeader + entry(" - Device9 OFF   ") + "older\r\n");
}

TEST_F(EventLogTest, UnusableFileIsLeftAloneAndReported)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir("PylvaneLog.txt")); // a folder where the log should be
    EXPECT_FALSE(log.WriteLogEntry(HeaderStyle::HostHeader, " - Device1 OFF   "));
    EXPECT_FALSE(log.CreateLogFile(HeaderStyle::HostHeader));
    EXPECT_TRUE(QFileInfo(path).isDir());

    QFile notAFolder(dir.path("plain"));
    ASSERT_TRUE(notAFolder.open(QIODevice::WriteOnly));
    notAFolder.close();
    EventLog nowhere(platform, dir.path("plain/PylvaneLog.txt"));
    EXPECT_FALSE(nowhere.WriteLogEntry(HeaderStyle::HostHeader, " - Device1 OFF   "));
}

// Whatever a killed writer leaves beside the log (a lock file of any content, half a copy) is no
// reason to wait, and the copy is taken over.
TEST_F(EventLogTest, LeftoversOfADeadWriterCostNoWait)
{
    writeFile(dir.path(".PylvaneLog.txt.lock"), "");
    writeFile(dir.path(".PylvaneLog.txt.new"), "half a co");
    setContents("");
    {
        LogFile file(path);
        ASSERT_EQ(file.open(0), LogFile::Lock::Taken);
    }
    writeFile(dir.path(".PylvaneLog.txt.lock"), "\x01garbage\n-1\n");
    ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::HostHeader, " - Device1 OFF   "));
    EXPECT_EQ(contents(), kHostHeader + entry(" - Device1 OFF   "));
    EXPECT_FALSE(QFile::exists(dir.path(".PylvaneLog.txt.new")));
}

// Entries that cannot go in (the file refused, another writer holding the lock too long) wait in
// order and go in below the next entry that can, each with the time it was made.
TEST_F(EventLogTest, EntriesThatCannotGoInWaitForTheNextThatCan)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir("PylvaneLog.txt"));
    EXPECT_FALSE(log.WriteLogEntry(HeaderStyle::HostHeader, " - Device1 OFF   "));
    platform.time = "08:15:43";
    EXPECT_FALSE(log.WriteLogEntry(HeaderStyle::ProcessHeader, " - Process2 DOWN   "));
    ASSERT_TRUE(QDir(dir.path()).rmdir("PylvaneLog.txt"));
    {
        LogFile otherWriter(path);
        ASSERT_EQ(otherWriter.open(0), LogFile::Lock::Taken);
        platform.time = "08:15:44";
        EXPECT_FALSE(log.WriteLogEntry(HeaderStyle::HostHeader, " - Cam3 OFF   "));
        EXPECT_FALSE(log.writeQueuedEntries());
    }
    platform.time = "08:15:45";
    ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::ProcessHeader, " - Process4 DOWN   "));
    // The file is created in the style of the oldest entry, the one that would have created it.
    EXPECT_EQ(contents(), "Pylvane Log File , Created 07.12.2026 08:15:45\r\n" + QByteArray(79, '=') + "\r\n" +
                              "07.12.2026 08:15:45  - Process4 DOWN   \r\n\r\n" +
                              "07.12.2026 08:15:44  - Cam3 OFF   \r\n\r\n" +
                              "07.12.2026 08:15:43  - Process2 DOWN   \r\n\r\n" + entry(" - Device1 OFF   "));
    const QByteArray after = contents();
    EXPECT_TRUE(log.writeQueuedEntries());
    EXPECT_EQ(contents(), after) << "each entry goes in once";
}

// What cannot go in at the end of a run is kept beside the log, oldest first; the next run puts it
// in below its own entries, creates a missing log in the style of the oldest entry, and removes
// what was kept.
TEST_F(EventLogTest, EntriesThatCannotGoInAtTheEndGoInWithTheNextRun)
{
    const QString pending = EventLog::pendingFileName(path);
    ASSERT_TRUE(QDir(dir.path()).mkdir("PylvaneLog.txt"));
    EXPECT_FALSE(log.WriteLogEntry(HeaderStyle::ProcessHeader, " - Process2 DOWN   "));
    EXPECT_TRUE(log.writeQueuedEntriesAtEnd());
    EventLog laterRun(platform, path);
    platform.time = "08:15:43";
    EXPECT_FALSE(laterRun.WriteLogEntry(HeaderStyle::HostHeader, " - Cam3 OFF   "));
    EXPECT_TRUE(laterRun.writeQueuedEntriesAtEnd());
    EXPECT_EQ(readFile(pending), entry(" - Process2 DOWN   ") + "07.12.2026 08:15:43  - Cam3 OFF   \r\n\r\n");
    ASSERT_TRUE(QDir(dir.path()).rmdir("PylvaneLog.txt"));

    EventLog nextRun(platform, path);
    platform.time = "08:15:44";
    ASSERT_TRUE(nextRun.WriteLogEntry(HeaderStyle::HostHeader, " - Device1 OFF   "));
    EXPECT_EQ(contents(), "-=K=- Pylvane Log File , Created 07.12.2026 08:15:44\r\n" + QByteArray(45, '=') + "\r\n" +
                              "07.12.2026 08:15:44  - Device1 OFF   \r\n\r\n" +
                              "07.12.2026 08:15:43  - Cam3 OFF   \r\n\r\n" + entry(" - Process2 DOWN   "));
    EXPECT_FALSE(QFile::exists(pending));
}

// A cycle's entries are kept aside as they are found, and its end puts them all in with one
// rewrite, giving the very bytes that putting them in one by one would have given.
TEST_F(EventLogTest, HeldEntriesAreKeptAsFoundAndGoInTogetherAsOneByOneWould)
{
    TempDir other;
    EventLog oneByOne(platform, other.path("PylvaneLog.txt"));
    const QString pending = EventLog::pendingFileName(path);
    log.holdEntries();
    QByteArray keptSoFar;
    for (int i = 1; i <= 3; ++i) {
        platform.time = QStringLiteral("08:15:4%1").arg(i);
        const QString label = QStringLiteral(" - Process%1 DOWN   ").arg(i);
        ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::ProcessHeader, label));
        ASSERT_TRUE(oneByOne.WriteLogEntry(HeaderStyle::ProcessHeader, label));
        keptSoFar += "07.12.2026 " + platform.time.toLatin1() + ' ' + label.toLatin1() + "\r\n\r\n";
        EXPECT_EQ(contents(), "<missing>") << "held entries wait beside the log";
        EXPECT_EQ(readFile(pending), keptSoFar) << "each entry is kept at once, oldest first";
    }
    platform.time = "08:15:59";
    ASSERT_TRUE(log.writeQueuedEntries());
    EXPECT_EQ(contents(), readFile(other.path("PylvaneLog.txt")));
    EXPECT_FALSE(QFile::exists(pending));

    ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::HostHeader, " - Device1 OFF   "));
    EXPECT_TRUE(contents().contains("08:15:59  - Device1 OFF   \r\n\r\n07.12.2026 08:15:43")) << "no longer held";
}

// Kept entries go in once: not again after a crash that came between putting them in and emptying
// their file, nor when that file cannot be removed; and not joined to the next entry when the
// file's last line has lost its end.
TEST_F(EventLogTest, KeptEntriesGoInOnceAndWhole)
{
    const QString pending = EventLog::pendingFileName(path);
    const QByteArray kept = "07.12.2026 08:00:00  - Cam1 OFF   ";
    setContents(kHostHeader + kept + "\r\n\r\nolder\r\n");
    writeFile(pending, kept + "\r\n\r\n");
    ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::HostHeader, " - Device1 OFF   "));
    EXPECT_EQ(contents(), kHostHeader + entry(" - Device1 OFF   ") + kept + "\r\n\r\nolder\r\n");
    EXPECT_FALSE(QFile::exists(pending));

    // Where the file can be neither written nor removed, its entries still go in once.
    setContents(kHostHeader);
    writeFile(pending, kept + "\r\n\r\n");
    ASSERT_TRUE(QFile::setPermissions(pending, QFile::ReadOwner));
    const auto writable = qScopeGuard([&] { QFile::setPermissions(pending, QFile::ReadOwner | QFile::WriteOwner); });
    for (const char* label : {" - Device2 OFF   ", " - Device3 OFF   ", " - Device4 OFF   "})
        ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::HostHeader, label));
    EXPECT_EQ(contents().count(kept), 1);
    QFile::setPermissions(pending, QFile::ReadOwner | QFile::WriteOwner);
    QFile::remove(pending);

    // An entry cut short as it was kept (a kill in the middle of its write) goes in as far as it was
    // written, whether it lost its line end or only the empty line after it, and with that empty line.
    for (const QByteArray& cutShort : {kept, kept + "\r\n"}) {
        setContents(kHostHeader + "older\r\n");
        writeFile(pending, cutShort);
        log.holdEntries();
        ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::HostHeader, " - Device5 OFF   "));
        EXPECT_EQ(readFile(pending), kept + "\r\n" + entry(" - Device5 OFF   "));
        ASSERT_TRUE(log.writeQueuedEntries());
        EXPECT_EQ(contents(), kHostHeader + entry(" - Device5 OFF   ") + kept + "\r\n\r\nolder\r\n");
    }
}

// At the end, entries that can be neither written nor kept are named where the user may still see
// them, and the end goes on.
TEST_F(EventLogTest, EntriesThatCanBeNeitherWrittenNorKeptAreNamedAtTheEnd)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir("PylvaneLog.txt"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("PylvaneLog.txt.pending"));
    EXPECT_FALSE(log.WriteLogEntry(HeaderStyle::HostHeader, " - Cam7 OFF   "));
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(log.writeQueuedEntriesAtEnd());
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("07.12.2026 08:15:42  - Cam7 OFF"), std::string::npos) << said;
    EXPECT_TRUE(log.writeQueuedEntriesAtEnd()) << "nothing is left to lose";
}

} // namespace
