#include "EventLogFixture.h"

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

TEST_F(EventLogTest, RewriteKeepsModeAndOwnerAndLeavesNothingBeside)
{
    ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::HostHeader, " - Device1 OFF   "));
    const auto mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    ASSERT_TRUE(QFile::setPermissions(path, mode));
    ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::HostHeader, " - Device2 OFF   "));
    EXPECT_EQ(QFile::permissions(path) & 0x7077, mode);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"PylvaneLog.txt"});
    if (::geteuid() != 0)
        return;
    // Root may write a read-only log that belongs to someone else; it stays theirs and read-only.
    const QByteArray native = QFile::encodeName(path);
    ASSERT_EQ(::chmod(native.constData(), 0444), 0);
    ASSERT_EQ(::chown(native.constData(), 1000, 1000), 0);
    ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::HostHeader, " - Device3 OFF   "));
    struct stat st {};
    ASSERT_EQ(::stat(native.constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    EXPECT_EQ(st.st_uid, 1000u);
    EXPECT_EQ(st.st_gid, 1000u);
    EXPECT_TRUE(contents().contains("Device3"));
}

// A link to a log elsewhere gets the entry in its target and stays a link; a pipe or a device,
// directly or behind a link, is never opened for writing, never waited on and never replaced.
TEST_F(EventLogTest, OnlyRegularFilesAreWrittenAndLinksStayLinks)
{
    TempDir elsewhere;
    const QString target = elsewhere.path("kept.txt");
    writeFile(target, kHostHeader);
    ASSERT_TRUE(QFile::link(target, path));
    ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::HostHeader, " - Device1 OFF   "));
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    EXPECT_EQ(readFile(target), kHostHeader + entry(" - Device1 OFF   "));
    EXPECT_EQ(QDir(elsewhere.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"kept.txt"});

    ASSERT_TRUE(QFile::remove(path));
    const QByteArray pipe = QFile::encodeName(dir.path("pipe"));
    ASSERT_EQ(::mkfifo(pipe.constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(dir.path("pipe"), path));
    EventLog direct(platform, dir.path("pipe"));
    for (EventLog* writer : {&log, &direct}) {
        EXPECT_FALSE(writer->WriteLogEntry(HeaderStyle::HostHeader, " - Device2 OFF   "));
        EXPECT_FALSE(writer->CreateLogFile(HeaderStyle::HostHeader));
    }
    struct stat st {};
    ASSERT_EQ(::stat(pipe.constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_TRUE(QFileInfo(path).isSymLink());

    if (::geteuid() != 0)
        GTEST_SKIP() << "making a device node needs root";
    ASSERT_TRUE(QFile::remove(path));
    const QByteArray node = QFile::encodeName(dir.path("node"));
    if (::mknod(node.constData(), S_IFCHR | 0600, makedev(1, 3)) != 0)
        GTEST_SKIP() << "no device nodes can be made here";
    ASSERT_TRUE(QFile::link(dir.path("node"), path));
    EXPECT_FALSE(log.WriteLogEntry(HeaderStyle::HostHeader, " - Device3 OFF   "));
    EXPECT_TRUE(log.OpenLog());
    ASSERT_EQ(::stat(node.constData(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_EQ(st.st_rdev, makedev(1, 3));
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
              (QStringList{"node", "pipe", "PylvaneLog.txt"}));
}

} // namespace
