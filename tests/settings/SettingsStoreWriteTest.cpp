#include "settings/AsUnprivilegedUser.h"
#include "settings/DistinctValues.h"
#include "support/FileBytes.h"
#include "support/TempDir.h"

#include "settings/SettingsStore.h"

#include <QFile>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

const QString kKey = SettingsStore::kKeyPath;

struct stat lstatOf(const QString& path)
{
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st;
}

mode_t modeOf(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_mode & 07777;
}

QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

TEST(SettingsStoreWrite, ANewFileIsPrivateAndAnExistingOneKeepsItsMode)
{
    TempDir dir;
    SettingsStore store(dir.path(QStringLiteral("config/Pylvane/Pylvane.conf")));
    ASSERT_TRUE(store.WriteSettings(distinctValues()));
    EXPECT_EQ(modeOf(store.location()), 0600u);
    EXPECT_EQ(modeOf(dir.path(QStringLiteral("config/Pylvane"))), 0700u);

    ASSERT_EQ(::chmod(QFile::encodeName(store.location()).constData(), 0640), 0);
    ASSERT_TRUE(store.WriteSetting(QStringLiteral("a1"), QStringLiteral("x")));
    EXPECT_EQ(modeOf(store.location()), 0640u);
    // No temporary or lock file is left beside it.
    EXPECT_EQ(QDir(dir.path(QStringLiteral("config/Pylvane"))).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("Pylvane.conf")});
}

// A folder or file the user may not write, with an earlier save in it.
class SettingsStoreRefusedWrite : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = dir.path(QStringLiteral("Pylvane"));
        SettingsStore earlier(folder + QStringLiteral("/Pylvane.conf"));
        ASSERT_TRUE(earlier.WriteSettings(distinctValues()));
        before = readFile(earlier.location());
        // Let the unprivileged user reach the folder.
        ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFileDevice::ExeOther));
    }
    void TearDown() override
    {
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QFile::setPermissions(file(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    QString file() const { return folder + QStringLiteral("/Pylvane.conf"); }

    void expectRefusedAndUnchanged()
    {
        QList<SettingsStore::Value> changed = distinctValues();
        for (auto& value : changed)
            value.second = QStringLiteral("changed");
        {
            AsUnprivilegedUser user;
            ASSERT_TRUE(user.effective());
            SettingsStore store(file());
            EXPECT_FALSE(store.WriteSettings(changed));
            EXPECT_FALSE(store.WriteSetting(QStringLiteral("a1"), QStringLiteral("changed")));
        }
        EXPECT_EQ(readFile(file()), before);
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Pylvane.conf")});
    }

    TempDir dir;
    QString folder;
    QByteArray before;
};

TEST_F(SettingsStoreRefusedWrite, AReadOnlyFolderKeepsTheEarlierFileByteForByte)
{
    ASSERT_TRUE(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                  QFileDevice::ExeOther));
    ASSERT_TRUE(QFile::setPermissions(file(), QFileDevice::ReadOwner | QFileDevice::ReadOther));
    expectRefusedAndUnchanged();
}

TEST_F(SettingsStoreRefusedWrite, AReadOnlyFileInAWritableFolderKeepsItsBytes)
{
    ASSERT_TRUE(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                                  QFileDevice::ReadOther | QFileDevice::WriteOther |
                                                  QFileDevice::ExeOther));
    ASSERT_TRUE(QFile::setPermissions(file(), QFileDevice::ReadOwner | QFileDevice::ReadOther));
    expectRefusedAndUnchanged();
}

TEST_F(SettingsStoreRefusedWrite, AWriteCutShortKeepsTheEarlierFile)
{
    // A file size limit stands in for a full disk: the write stops part of the way through.
    const QList<SettingsStore::Value> longer = [] {
        QList<SettingsStore::Value> values = distinctValues();
        for (auto& value : values)
            value.second = QString(200, u'x');
        return values;
    }();
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = SettingsStore(file()).WriteSettings(longer);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(readFile(file()), before);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Pylvane.conf")});
}

TEST(SettingsStoreWrite, AFolderThatCannotBeMadeFailsTheWrite)
{
    TempDir dir;
    writeFile(dir.path(QStringLiteral("config")), "a file where the folder should be");
    SettingsStore store(dir.path(QStringLiteral("config/Pylvane/Pylvane.conf")));
    EXPECT_FALSE(store.WriteSetting(QStringLiteral("a1"), QStringLiteral("x")));
}

TEST(SettingsStoreWrite, ASaveKeepsEveryLineItDoesNotWriteAndBacksUpAFileThatDidNotReadCleanly)
{
    TempDir dir;
    const QString path = dir.path(QStringLiteral("Pylvane.conf"));
    const QByteArray handEdited = "; notes by hand\r\n"
                                  "theme=dark\r\n"
                                  "A1=old command\r\n"
                                  "c1=\"unclosed\r\n"
                                  "note=\"also unclosed\r\n"
                                  "c2=kept as written\r\n"
                                  "a1=a second a1\r\n"
                                  "[Other]\r\n"
                                  "a1=not ours\r\n"
                                  "list=1, 2, 3";
    writeFile(path, handEdited);
    SettingsStore store(path);
    ASSERT_TRUE(store.WriteSettings({{QStringLiteral("a1"), QStringLiteral("new")},
                                     {QStringLiteral("c1"), QStringLiteral("10.0.0.1")},
                                     {QStringLiteral("e1"), QStringLiteral("10.0.0.9")}}));
    EXPECT_EQ(readFile(path).toStdString(), "; notes by hand\r\n"
                                            "theme=dark\r\n"
                                            "a1=\"new\"\r\n"
                                            "c1=\"10.0.0.1\"\r\n"
                                            "note=\"also unclosed\r\n"
                                            "c2=kept as written\r\n"
                                            "e1=\"10.0.0.9\"\r\n"
                                            "[Other]\r\n"
                                            "a1=not ours\r\n"
                                            "list=1, 2, 3");
    EXPECT_EQ(readFile(path + QStringLiteral(".bak")), handEdited);
    EXPECT_EQ(store.ReadSetting(kKey, QStringLiteral("a1")), QStringLiteral("new"));
    EXPECT_EQ(store.ReadSetting(kKey, QStringLiteral("c2")), QStringLiteral("kept as written"));

    // A clean file gets no backup; values go under a header of their own above other sections.
    const QString clean = dir.path(QStringLiteral("clean/Pylvane.conf"));
    ASSERT_TRUE(QDir().mkpath(dir.path(QStringLiteral("clean"))));
    writeFile(clean, "[Other]\nx=1\n");
    ASSERT_TRUE(SettingsStore(clean).WriteSetting(QStringLiteral("a1"), QStringLiteral("new")));
    EXPECT_EQ(readFile(clean).toStdString(), "[General]\na1=\"new\"\n[Other]\nx=1\n");
    EXPECT_EQ(entriesOf(dir.path(QStringLiteral("clean"))), QStringList{QStringLiteral("Pylvane.conf")});

    // With CR and LF ends mixed, a dropped line must not leave a CR to join the LF of a blank line below.
    const QString mixed = dir.path(QStringLiteral("mixed.conf"));
    writeFile(mixed, "x\ra1=1\ra1=2\n\ny=1\ra1=3\r\n\nz\n");
    ASSERT_TRUE(SettingsStore(mixed).WriteSetting(QStringLiteral("a1"), QStringLiteral("v")));
    EXPECT_EQ(readFile(mixed).toStdString(), "x\ra1=\"v\"\r\n\ny=1\r\r\n\nz\n");
}

// MetricsFolder is set by hand or by an administrator's tools, beside the values a save writes, and never by
// the program: every save leaves its line as it was.
TEST(SettingsStoreWrite, AFullSaveKeepsTheMetricsFolderAsItWasWritten)
{
    TempDir dir;
    const QString path = dir.path(QStringLiteral("Pylvane.conf"));
    const QByteArray line = "MetricsFolder=\"/var/lib/prometheus/node-exporter\"\n";
    writeFile(path, "[General]\n" + line + "a1=old\n");
    SettingsStore store(path);
    EXPECT_EQ(store.metricsFolder(), QStringLiteral("/var/lib/prometheus/node-exporter"));
    ASSERT_TRUE(store.WriteSettings(distinctValues()));
    ASSERT_TRUE(store.WriteSettings(distinctValues()));
    EXPECT_TRUE(readFile(path).contains(line)) << readFile(path).constData();
    EXPECT_EQ(store.metricsFolder(), QStringLiteral("/var/lib/prometheus/node-exporter"));
    // It is not one of the values a save may write.
    EXPECT_FALSE(store.WriteSetting(SettingsStore::kMetricsFolder, QStringLiteral("/tmp")));
    EXPECT_TRUE(SettingsStore(dir.path(QStringLiteral("none.conf"))).metricsFolder().isEmpty());
}

TEST(SettingsStoreWrite, ASaveWritesOnlyARegularFileAtTheEndOfASymlinkAndKeepsItsOwner)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "making a device node and giving a file to another user need root";
    TempDir dir;
    const QString device = dir.path(QStringLiteral("null-device"));
    if (::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0600, makedev(1, 3)) != 0)
        GTEST_SKIP() << "mknod was refused: " << std::strerror(errno);
    ASSERT_TRUE(QDir().mkpath(dir.path(QStringLiteral("home"))));
    const QString toDevice = dir.path(QStringLiteral("home/device.conf"));
    ASSERT_TRUE(QFile::link(device, toDevice));
    EXPECT_FALSE(SettingsStore(toDevice).WriteSetting(QStringLiteral("a1"), QStringLiteral("x")));
    EXPECT_TRUE(S_ISCHR(lstatOf(device).st_mode));
    EXPECT_TRUE(S_ISLNK(lstatOf(toDevice).st_mode));

    // A hand-edited file given to another user, reached through a symlink.
    ASSERT_TRUE(QDir().mkpath(dir.path(QStringLiteral("dotfiles"))));
    const QString target = dir.path(QStringLiteral("dotfiles/pylvane.conf"));
    const QByteArray handEdited = "a1=old\n[unclosed\n";
    writeFile(target, handEdited);
    const QByteArray targetName = QFile::encodeName(target);
    ASSERT_EQ(::chown(targetName.constData(), 1000, 1000), 0);
    ASSERT_EQ(::chmod(targetName.constData(), 0640), 0);
    const QString link = dir.path(QStringLiteral("home/Pylvane.conf"));
    ASSERT_TRUE(QFile::link(target, link));
    SettingsStore store(link);
    ASSERT_TRUE(store.WriteSetting(QStringLiteral("a1"), QStringLiteral("new")));
    EXPECT_TRUE(S_ISLNK(lstatOf(link).st_mode));
    EXPECT_EQ(store.ReadSetting(kKey, QStringLiteral("a1")), QStringLiteral("new"));
    for (const QString& file : {target, target + QStringLiteral(".bak")}) {
        EXPECT_EQ(lstatOf(file).st_uid, 1000u) << file.toStdString();
        EXPECT_EQ(lstatOf(file).st_gid, 1000u) << file.toStdString();
        EXPECT_EQ(modeOf(file), 0640u) << file.toStdString();
    }
    EXPECT_EQ(readFile(target + QStringLiteral(".bak")), handEdited);
    EXPECT_EQ(entriesOf(dir.path()), (QStringList{"dotfiles", "home", "null-device"}));
    EXPECT_EQ(entriesOf(dir.path(QStringLiteral("home"))), (QStringList{"device.conf", "Pylvane.conf"}));
    EXPECT_EQ(entriesOf(dir.path(QStringLiteral("dotfiles"))), (QStringList{"pylvane.conf", "pylvane.conf.bak"}));
}

TEST(SettingsStoreRead, AFifoAtThePathIsNeitherWaitedOnNorReplaced)
{
    TempDir dir;
    const QString path = dir.path(QStringLiteral("Pylvane.conf"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    // Opening the FIFO would wait for a writer forever; the alarm ends the test program instead.
    ::alarm(20);
    SettingsStore store(path);
    for (const QString& name : SettingsStore::valueNames())
        EXPECT_FALSE(store.ReadSetting(kKey, name).has_value()) << name.toStdString();
    EXPECT_FALSE(store.WriteSettings(distinctValues()));
    ::alarm(0);
    EXPECT_TRUE(S_ISFIFO(lstatOf(path).st_mode));
    EXPECT_EQ(entriesOf(dir.path()), QStringList{QStringLiteral("Pylvane.conf")});
}

} // namespace
