#include "LogProcessHelpers.h"
#include "support/Emulation.h"

#include "support/TempDir.h"

#include <QFile>
#include <QScopeGuard>

#include <unistd.h>

namespace {

bool runningAsRoot()
{
    return ::geteuid() == 0;
}

// A full disk is simulated with a file size limit on the writer: the insertion fails, the old
// file stays exactly as it was and the unfinished copy is gone.
TEST(LogProcesses, FullDiskLeavesOldFileIntact)
{
    PYLVANE_SKIP_WITHOUT_CHILD_PROGRAMS();
    TempDir dir;
    const QString path = dir.path("PylvaneLog.txt");
    const QByteArray before = kHeader + oldBody(200); // about 8 KB; the limit below is 4 KB
    writeFile(path, before);
    const QStringList limited{QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                              QStringLiteral("trap '' XFSZ; ulimit -f 4; exec \"$0\" \"$@\"")};
    EXPECT_EQ(insertWords(path, {"Full"}, limited), QStringList{"queued"});
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(filesIn(dir.path()), QStringList{"PylvaneLog.txt"}) << "no leftovers";
}

// A small tmpfs of the writer's own, filled up: the log is never truncated, and the entry that did
// not fit goes in with the next one once there is room again.
TEST(LogProcesses, FullFileSystemKeepsTheLogAndTheEntryForLater)
{
    PYLVANE_SKIP_WITHOUT_CHILD_PROGRAMS();
    if (!runningAsRoot())
        GTEST_SKIP() << "mounting a tmpfs in a mount namespace of the test's own needs root";
    TempDir dir;
    QProcess tool;
    tool.start(QStringLiteral("unshare"),
               {"-m", "--propagation", "private", "sh", "-c",
                "mount -t tmpfs -o size=1m pylvane-test \"$0\" && exec \"$1\" \"$0/PylvaneLog.txt\" -", dir.path(),
                QStringLiteral(PYLVANE_LOGTOOL)});
    const auto answer = [&tool] {
        return tool.waitForReadyRead(30000) ? tool.readLine().trimmed() : tool.readAllStandardError();
    };
    const QByteArray ready = answer();
    if (ready != "ready")
        GTEST_SKIP() << "no tmpfs in a mount namespace of our own here: " << ready.constData();
    const auto finish = qScopeGuard([&tool] {
        tool.closeWriteChannel();
        tool.waitForFinished();
    });
    // The tool's mount is seen through its own root.
    const QString folder = QStringLiteral("/proc/%1/root%2").arg(tool.processId()).arg(dir.path());
    const QString path = folder + "/PylvaneLog.txt";
    const QByteArray body = oldBody(5000); // about 200 KB
    writeFile(path, kHeader + body);
    QFile filler(folder + "/filler");
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    while (filler.write(QByteArray(4096, 'x')) == 4096) {
    }
    filler.close();

    tool.write("Full\n");
    EXPECT_EQ(answer(), "queued");
    EXPECT_EQ(readFile(path), kHeader + body);
    EXPECT_EQ(filesIn(folder), (QStringList{"filler", "PylvaneLog.txt"}));

    ASSERT_TRUE(QFile::remove(folder + "/filler"));
    tool.write("Back\n");
    EXPECT_EQ(answer(), "ok");
    EXPECT_EQ(newEntries(readFile(path), body), (QStringList{"Back", "Full"}));
    EXPECT_EQ(filesIn(folder), QStringList{"PylvaneLog.txt"});
}

// An ordinary user who may write the log but not its folder: the log is rewritten in place. When
// the file is read-only too, it is left alone.
TEST(LogProcesses, ReadOnlyFolderGetsEntriesInPlace)
{
    PYLVANE_SKIP_WITHOUT_CHILD_PROGRAMS();
    TempDir dir;
    const QString path = dir.path("PylvaneLog.txt");
    const QByteArray body = oldBody(100);
    writeFile(path, kHeader + body);
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0600), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0555), 0);
    const auto writable = qScopeGuard([&dir] { ::chmod(QFile::encodeName(dir.path()).constData(), 0700); });
    const QStringList asUser =
        runningAsRoot() ? QStringList{"setpriv", "--reuid=1000", "--regid=1000", "--clear-groups"} : QStringList{};
    // The log is that user's own; a log of anyone else's is never written.
    if (runningAsRoot()) {
        ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 1000, 1000), 0);
    }

    EXPECT_EQ(insertWords(path, {"Ro1", "Ro2"}, asUser), (QStringList{"ok", "ok"}));
    EXPECT_EQ(newEntries(readFile(path), body), (QStringList{"Ro2", "Ro1"}));
    EXPECT_EQ(filesIn(dir.path()), QStringList{"PylvaneLog.txt"});

    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);
    const QByteArray before = readFile(path);
    EXPECT_EQ(insertWords(path, {"Ro3"}, asUser), QStringList{"queued"});
    EXPECT_EQ(readFile(path), before);
}

} // namespace
