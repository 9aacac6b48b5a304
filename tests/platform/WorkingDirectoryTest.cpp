#include "support/TempDir.h"

#include "platform/WorkingDirectory.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

// Each test starts in a folder of its own, as the system's restart would, and goes back to where it was.
class WorkingDirectoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkdir(started) && QDir().mkdir(documents) && QDir().mkdir(closedRun));
        ASSERT_TRUE(QDir::setCurrent(started));
    }
    void TearDown() override { QDir::setCurrent(before); }

    static QStringList withFolder(const QString& folder) { return {"pylvane", kWorkingDirectoryArgument, folder}; }
    static bool isCurrent(const QString& folder) { return QDir::current() == QDir(folder); }

    const QString before = QDir::currentPath();
    TempDir dir;
    const QString started = dir.path("started here");
    const QString documents = dir.path("Documents");
    const QString closedRun = dir.path("the closed run, with blanks");
};

TEST_F(WorkingDirectoryTest, TheNamedFolderIsEnteredWithoutAWord)
{
    EXPECT_EQ(enterWorkingDirectory(withFolder(closedRun), documents), QString());
    EXPECT_TRUE(isCurrent(closedRun));
    // No argument: the program stays where it was started.
    EXPECT_EQ(enterWorkingDirectory({"pylvane"}, documents), QString());
    EXPECT_TRUE(isCurrent(closedRun));
}

// A folder that is gone, relative, a file, or missing altogether: the program goes to Documents, as a start without
// one does, rather than carrying on wherever the system started it, and says why on standard error.
TEST_F(WorkingDirectoryTest, AFolderThatCannotBeUsedGivesWayToDocumentsWithOneLineWhy)
{
    QFile file(dir.path("a file"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QList<std::pair<QStringList, QString>> cases = {
        {withFolder(dir.path("gone")), "does not exist"},
        {withFolder("../the \"closed\" run"), "is relative"}, // though from here it names a folder
        {withFolder(file.fileName()), "cannot be entered"},
        {withFolder({}), "names no folder"},
        {{"pylvane", kWorkingDirectoryArgument}, "names no folder"},
    };
    for (const auto& [arguments, problem] : cases) {
        ASSERT_TRUE(QDir::setCurrent(started));
        const QString line = enterWorkingDirectory(arguments, documents);
        EXPECT_TRUE(isCurrent(documents)) << arguments.join(' ').toStdString();
        EXPECT_TRUE(line.contains(problem)) << line.toStdString();
        EXPECT_TRUE(
            line.endsWith(QStringLiteral("working in \"%1\" instead.").arg(QDir::toNativeSeparators(documents))))
            << line.toStdString();
        EXPECT_FALSE(line.contains('\n'));
    }
}

// Without Documents as well, the program stays where it is, and the line says where that is.
TEST_F(WorkingDirectoryTest, WithoutDocumentsEitherTheLineNamesTheFolderItStaysIn)
{
    ASSERT_TRUE(QDir().rmdir(documents));
    const QString line = enterWorkingDirectory(withFolder(dir.path("gone")), documents);
    EXPECT_TRUE(isCurrent(started));
    EXPECT_TRUE(line.contains("cannot be entered either")) << line.toStdString();
    EXPECT_TRUE(line.endsWith(QStringLiteral("\"%1\".").arg(QDir::toNativeSeparators(QDir::currentPath()))))
        << line.toStdString();
}

} // namespace
