#include "EventLogFixture.h"

#include "eventlog/LogFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <QScopeGuard>

#include <csignal>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
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
    // Nor does it hold on to the logs it replaced, whose room the disk needs back: one at most until the
    // event loop's next turn, none after it.
    const auto replacedHeld = [] {
        int held = 0;
        for (const QFileInfo& fd : QDir(QStringLiteral("/proc/self/fd"))
                                       .entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
            held += fd.symLinkTarget().contains(QStringLiteral("PylvaneLog.txt (deleted)"));
        return held;
    };
    ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::HostHeader, " - Device3 OFF   "));
    EXPECT_LE(replacedHeld(), 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(replacedHeld(), 0);
    // Nor, without a turn of the event loop, once the log is opened again to write a new copy.
    ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::HostHeader, " - Device3 OFF   "));
    {
        LogFile next(path);
        ASSERT_EQ(next.open(0), LogFile::Lock::Taken);
        EXPECT_EQ(replacedHeld(), 0);
    }
    if (::geteuid() != 0)
        return;
    // A log or a kept-entries file of someone else's is neither read nor written, even by root.
    const QByteArray native = QFile::encodeName(path);
    const QString pending = EventLog::pendingFileName(path);
    writeFile(pending, "their own words\r\n");
    for (const QByteArray& file : {native, QFile::encodeName(pending)})
        ASSERT_EQ(::chown(file.constData(), 1000, 1000), 0);
    const QByteArray before = contents();
    EXPECT_FALSE(log.WriteLogEntry(HeaderStyle::HostHeader, " - Device4 OFF   "));
    EXPECT_EQ(contents(), before);
    ASSERT_EQ(::chown(native.constData(), 0, 0), 0);
    ASSERT_TRUE(log.writeQueuedEntries());
    EXPECT_TRUE(contents().contains("Device4"));
    EXPECT_FALSE(contents().contains("their own words"));
    EXPECT_EQ(readFile(pending), "their own words\r\n");
}

// In a folder that others may write, a link under the log's name or the kept-entries file's name
// may have been planted to copy a private file into the log: a link (symbolic or hard) is neither
// followed nor read, and stays as it is. A pipe or a device, directly or behind a link, is never
// opened for writing, never waited on and never replaced.
TEST_F(EventLogTest, LinksPipesAndDevicesAreLeftAlone)
{
    TempDir elsewhere;
    const QString target = elsewhere.path("private.txt");
    writeFile(target, "my private words\r\n");
    ASSERT_TRUE(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner));
    const QString pending = EventLog::pendingFileName(path);
    ASSERT_TRUE(QFile::link(target, pending));
    ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::HostHeader, " - Device1 OFF   "));
    log.holdEntries();
    EXPECT_FALSE(log.WriteLogEntry(HeaderStyle::HostHeader, " - Device2 OFF   ")) << "not kept through the link";
    ASSERT_TRUE(log.writeQueuedEntries());
    EXPECT_FALSE(contents().contains("private")) << contents().constData();
    EXPECT_TRUE(contents().contains("Device2"));
    ASSERT_TRUE(QFile::remove(pending));
    const QByteArray hardLinked = QFile::encodeName(target);
    ASSERT_EQ(::link(hardLinked.constData(), QFile::encodeName(pending).constData()), 0);
    ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::HostHeader, " - Device3 OFF   "));
    EXPECT_FALSE(contents().contains("private"));
    EXPECT_EQ(readFile(target), "my private words\r\n");
    ASSERT_TRUE(QFile::remove(pending));

    ASSERT_TRUE(QFile::remove(path));
    writeFile(target, kHostHeader);
    ASSERT_TRUE(QFile::link(target, path));
    EXPECT_FALSE(log.WriteLogEntry(HeaderStyle::HostHeader, " - Device4 OFF   "));
    EXPECT_FALSE(log.CreateLogFile(HeaderStyle::HostHeader));
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    EXPECT_EQ(readFile(target), kHostHeader);
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QFile::link(elsewhere.path("missing.txt"), path));
    EXPECT_FALSE(log.CreateLogFile(HeaderStyle::HostHeader));
    EXPECT_FALSE(QFile::exists(elsewhere.path("missing.txt"))) << "nothing is created through a link";
    EXPECT_EQ(QDir(elsewhere.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"private.txt"});

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

namespace {

struct AppendOnly {
    QByteArray path;
    bool set(bool on)
    {
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        int flags = 0;
        const bool done =
            fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
            ::ioctl(fd, FS_IOC_SETFLAGS, &(flags = on ? flags | FS_APPEND_FL : flags & ~FS_APPEND_FL)) == 0;
        if (fd >= 0)
            ::close(fd);
        return done;
    }
};

// Kept entries go in once although their file cannot be removed: emptied where it may be written
// (a folder this user may not change), passed over where it can be neither removed nor emptied (an
// append-only file, which only root can make). Entries kept after that still go in.
TEST_F(EventLogTest, KeptEntriesThatCannotBeRemovedGoInOnce)
{
    const QString pending = EventLog::pendingFileName(path);
    const QByteArray kept = entry(" - Cam1 OFF   ");
    setContents(kHostHeader);
    writeFile(pending, kept);
    AppendOnly appendOnly{QFile::encodeName(pending)};
    const QByteArray folder = QFile::encodeName(dir.path());
    if (::geteuid() == 0) {
        if (!appendOnly.set(true))
            GTEST_SKIP() << "this file system has no append-only files";
    } else {
        ASSERT_EQ(::chmod(folder.constData(), 0555), 0);
    }
    const auto undo = qScopeGuard([&] {
        appendOnly.set(false);
        ::chmod(folder.constData(), 0700);
    });
    for (const char* label : {" - Device1 OFF   ", " - Device2 OFF   ", " - Device3 OFF   "})
        ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::HostHeader, label));
    EXPECT_EQ(contents().count("Cam1"), 1);
    log.holdEntries();
    ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::HostHeader, " - Cam2 OFF   "));
    ASSERT_TRUE(log.writeQueuedEntries());
    ASSERT_TRUE(log.writeQueuedEntries());
    EXPECT_EQ(contents().count("Cam1"), 1);
    EXPECT_EQ(contents().count("Cam2"), 1);
    EXPECT_TRUE(contents().startsWith(kHostHeader + entry(" - Cam2 OFF   ") + entry(" - Device3 OFF   ")));
}

// The kept entries stay in their file until they are in the log: a log that cannot be rewritten (a
// file size limit here, a full disk elsewhere) leaves both as they were.
TEST_F(EventLogTest, KeptEntriesStayUntilTheyAreInTheLog)
{
    const QString pending = EventLog::pendingFileName(path);
    const QByteArray kept = entry(" - Cam1 OFF   ");
    setContents(kHostHeader + QByteArray(64 * 1024, 'x') + "\r\n");
    writeFile(pending, kept);
    const QByteArray before = contents();
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 16 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = log.WriteLogEntry(HeaderStyle::HostHeader, " - Device1 OFF   ");
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    EXPECT_FALSE(written);
    EXPECT_EQ(contents(), before);
    EXPECT_EQ(readFile(pending), kept);

    ASSERT_TRUE(log.writeQueuedEntries());
    EXPECT_TRUE(contents().startsWith(kHostHeader + entry(" - Device1 OFF   ") + kept));
    EXPECT_FALSE(QFile::exists(pending));
}

} // namespace
