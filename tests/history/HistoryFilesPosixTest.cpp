#include "history/ExportFile.h"
#include "history/HistoryReader.h"
#include "support/HistoryRows.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What the reader must not follow or trust, which only POSIX systems make this way.
class HistoryFilesPosixTest : public testing::Test {
protected:
    std::string dbPath() const { return QFile::encodeName(dir_.path(HistorySchema::kFileName)).toStdString(); }
    QString folder() const { return dir_.path(); }

    TempDir dir_;
};

TEST_F(HistoryFilesPosixTest, APlantedLinkIsRefusedNotFollowed)
{
    {
        TempDir elsewhere;
        HistoryRows rows(QFile::encodeName(elsewhere.path("real.sqlite")).toStdString());
        ASSERT_TRUE(rows.ok());
        ASSERT_EQ(symlink(QFile::encodeName(elsewhere.path("real.sqlite")).constData(), dbPath().c_str()), 0);
        QString why;
        EXPECT_EQ(HistoryReader(folder()).open(&why), HistoryReader::Refused);
        EXPECT_EQ(why, "the history file is a link");
    }
    ASSERT_EQ(unlink(dbPath().c_str()), 0);
    HistoryRows rows(dbPath());
    ASSERT_TRUE(rows.ok());
    const std::string wal = dbPath() + "-shm";
    unlink(wal.c_str());
    ASSERT_EQ(symlink("/etc/passwd", wal.c_str()), 0);
    QString why;
    EXPECT_EQ(HistoryReader(folder()).open(&why), HistoryReader::Refused);
    EXPECT_EQ(why, "the history's journal is a link or not a regular file");
}

TEST_F(HistoryFilesPosixTest, AFolderOthersMayChangeIsRefused)
{
    HistoryRows rows(dbPath());
    ASSERT_TRUE(rows.ok());
    ASSERT_EQ(chmod(QFile::encodeName(folder()).constData(), 0770), 0);
    QString why;
    EXPECT_EQ(HistoryReader(folder()).open(&why), HistoryReader::Refused);
    EXPECT_EQ(why, "the history's folder may be changed by another user");
    chmod(QFile::encodeName(folder()).constData(), 0700);
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// A disk that fills up in the middle of the export, as a file size limit makes it: the write fails, the old file
// keeps its name and bytes, and nothing half-written is left beside it.
TEST(ExportFilePosixTest, AFullDiskIsAFailureAndLeavesTheOldFileAsItWas)
{
    TempDir dir;
    const QString path = dir.path("export.csv");
    ASSERT_TRUE(ExportFile::write(path, "old\r\n", nullptr));

    struct rlimit before {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = before;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    QString why;
    const bool done = ExportFile::write(path, QByteArray(64 * 1024, 'x'), &why);
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(done);
    EXPECT_TRUE(why.startsWith("the file could not be written: ")) << why.toStdString();
    EXPECT_EQ(contents(path), "old\r\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"export.csv"});
}

TEST(ExportFilePosixTest, AFolderThatCannotBeWrittenIsAFailure)
{
    QString why;
    EXPECT_FALSE(ExportFile::write("/proc/export.csv", "x", &why));
    EXPECT_TRUE(why.startsWith("the file could not be made: ")) << why.toStdString();
}

TEST(ExportFilePosixTest, AnExistingFileIsReplacedWhole)
{
    TempDir dir;
    const QString path = dir.path("export.csv");
    ASSERT_TRUE(ExportFile::write(path, QByteArray(10'000, 'a'), nullptr));
    ASSERT_TRUE(ExportFile::write(path, "b\r\n", nullptr));
    EXPECT_EQ(contents(path), "b\r\n");
}

} // namespace
