#include "OldLog.h"
#include "support/FileBytes.h"
#include "support/TempDir.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

// A full disk is simulated with a file size limit on the writer: the insertion fails and the
// old file stays exactly as it was.
TEST(LogProcesses, FullDiskLeavesOldFileIntact)
{
    TempDir dir;
    const QString path = dir.path("PylvaneLog.txt");
    const QByteArray before = kHeader + oldBody(200); // about 8 KB; the limit below is 4 KB
    writeFile(path, before);
    QProcess writer;
    writer.start(QStringLiteral("/bin/sh"),
                 {QStringLiteral("-c"), QStringLiteral("trap '' XFSZ; ulimit -f 4; exec \"$0\" \"$@\""),
                  QStringLiteral(PYLVANE_LOGTOOL), path, QStringLiteral("1"), QStringLiteral("Full")});
    ASSERT_TRUE(writer.waitForFinished(30000));
    EXPECT_EQ(writer.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(writer.exitCode(), 1) << "the failed insertion is reported";
    EXPECT_EQ(readFile(path), before);
    QDir folder(dir.path());
    EXPECT_EQ(folder.entryList(QDir::Files | QDir::Hidden), QStringList{"PylvaneLog.txt"}) << "no leftovers";
}

} // namespace
