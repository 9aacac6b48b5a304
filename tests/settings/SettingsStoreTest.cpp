#include "settings/AsUnprivilegedUser.h"
#include "support/FileBytes.h"
#include "support/TempDir.h"

#include "settings/SettingsFile.h"
#include "settings/SettingsStore.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
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

// 71 different texts, each unlike its neighbours so that a value landing on the wrong name shows.
QList<SettingsStore::Value> distinctValues()
{
    QList<SettingsStore::Value> values;
    int n = 0;
    for (const QString& name : SettingsStore::valueNames())
        values.append({name, QStringLiteral("value %1 of %2").arg(++n).arg(name)});
    return values;
}

// The value names as they stand in the file, top to bottom.
QStringList namesInFile(const QString& path)
{
    QStringList names;
    for (const QByteArray& line : readFile(path).split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0)
            names << QString::fromLatin1(line.left(eq));
    }
    return names;
}

TEST(SettingsStoreNames, AreTheSeventyOneInSaveOrder)
{
    const QStringList& names = SettingsStore::valueNames();
    ASSERT_EQ(names.size(), 71);
    EXPECT_EQ(names.first(), QStringLiteral("a1"));
    EXPECT_EQ(names.mid(1, 3), (QStringList{"c1", "c2", "c3"}));
    EXPECT_EQ(names[10], QStringLiteral("c10"));
    EXPECT_EQ(names[11], QStringLiteral("c1b"));
    EXPECT_EQ(names[21], QStringLiteral("d1"));
    EXPECT_EQ(names[35], QStringLiteral("d15"));
    EXPECT_EQ(names[36], QStringLiteral("d1b"));
    EXPECT_EQ(names[51], QStringLiteral("e1"));
    EXPECT_EQ(names[61], QStringLiteral("e1b"));
    EXPECT_EQ(names.last(), QStringLiteral("e10b"));
    QStringList unique = names;
    EXPECT_EQ(unique.removeDuplicates(), 0);
}

TEST(SettingsStoreRoundTrip, AllSeventyOneValuesComeBackUnderTheirNamesInSaveOrder)
{
    TempDir dir;
    SettingsStore store(dir.path(QStringLiteral("Pylvane/Pylvane.conf")));
    const QList<SettingsStore::Value> values = distinctValues();
    ASSERT_TRUE(store.WriteSettings(values));

    const SettingsStore reader(store.filePath());
    for (const auto& [name, text] : values)
        EXPECT_EQ(reader.ReadSetting(kKey, name), text) << name.toStdString();
    EXPECT_EQ(namesInFile(store.filePath()), SettingsStore::valueNames());

    // The file is plain QSettings INI with the names as top-level keys, as a user would edit it.
    const QSettings settings(store.filePath(), QSettings::IniFormat);
    EXPECT_EQ(settings.status(), QSettings::NoError);
    EXPECT_EQ(settings.childKeys().size(), 71);
    EXPECT_EQ(settings.value(QStringLiteral("d15b")).toString(), QStringLiteral("value 51 of d15b"));
}

TEST(SettingsStoreRoundTrip, TextsComeBackExactlyAsTheFieldHeldThem)
{
    const QStringList texts{
        QString(),
        QStringLiteral("  blanks at both ends  "),
        QStringLiteral(" "),
        QStringLiteral("C:\\Program Files\\alert.exe /q"),
        QStringLiteral("say \"down\", then 'stop'"),
        QStringLiteral("a=b;c#d"),
        QStringLiteral("[General]"),
        QStringLiteral("@ByteArray(abc)"),
        QStringLiteral("@@two"),
        QStringLiteral("tab\there"),
        QStringLiteral("\\x41 is not A"),
        QString(QChar(1)) + QStringLiteral("F0 after a control character"),
        QString::fromUtf8("Überwachung € 監視 😀"),
        QStringLiteral("trailing backslash\\"),
        QStringLiteral("1,2,3"),
    };
    TempDir dir;
    for (int i = 0; i < texts.size(); ++i) {
        // A file of its own for each text: QSettings keeps what it parsed per file name.
        SettingsStore store(dir.path(QStringLiteral("%1/Pylvane.conf").arg(i)));
        ASSERT_TRUE(store.WriteSetting(QStringLiteral("a1"), texts[i]));
        const std::optional<QString> back = store.ReadSetting(kKey, QStringLiteral("a1"));
        ASSERT_TRUE(back.has_value()) << texts[i].toStdString();
        EXPECT_EQ(*back, texts[i]) << "written as: " << readFile(store.filePath()).toStdString();
    }
}

TEST(SettingsStoreRoundTrip, OneWriteKeepsTheOtherValuesAndSavingTwiceChangesNothing)
{
    TempDir dir;
    SettingsStore store(dir.path(QStringLiteral("Pylvane.conf")));
    ASSERT_TRUE(store.WriteSettings(distinctValues()));
    const QByteArray first = readFile(store.filePath());
    ASSERT_TRUE(store.WriteSettings(distinctValues()));
    EXPECT_EQ(readFile(store.filePath()), first);

    ASSERT_TRUE(store.WriteSetting(QStringLiteral("c3"), QStringLiteral("192.168.1.23")));
    const SettingsStore reader(store.filePath());
    EXPECT_EQ(reader.ReadSetting(kKey, QStringLiteral("c3")), QStringLiteral("192.168.1.23"));
    EXPECT_EQ(reader.ReadSetting(kKey, QStringLiteral("c2")), QStringLiteral("value 3 of c2"));
    EXPECT_EQ(reader.ReadSetting(kKey, QStringLiteral("e10b")), QStringLiteral("value 71 of e10b"));
    EXPECT_EQ(namesInFile(store.filePath()), SettingsStore::valueNames());
}

TEST(SettingsStoreRoundTrip, NamesOutsideTheSeventyOneAreRefused)
{
    TempDir dir;
    SettingsStore store(dir.path(QStringLiteral("Pylvane.conf")));
    EXPECT_FALSE(store.WriteSetting(QStringLiteral("c11"), QStringLiteral("x")));
    EXPECT_FALSE(store.WriteSettings({{QStringLiteral("a1"), QStringLiteral("x")}, {QStringLiteral("f1"), {}}}));
    EXPECT_FALSE(QFileInfo::exists(store.filePath()));
}

TEST(SettingsStoreEnableText, OnlyANumberWorthExactlyOneTicks)
{
    for (const char* text : {"1", "01", " 1", "1 ", "\t1\t", "001", "+1", "1.0"})
        EXPECT_TRUE(SettingsStore::isTickText(QString::fromLatin1(text))) << '"' << text << '"';
    for (const char* text : {"0", "", " ", "2", "-1", "on", "ON", "true", "yes", "1x", "x1", "0.5", "11", "1 1", "10"})
        EXPECT_FALSE(SettingsStore::isTickText(QString::fromLatin1(text))) << '"' << text << '"';
    EXPECT_EQ(SettingsStore::enableText(true), QStringLiteral("1"));
    EXPECT_EQ(SettingsStore::enableText(false), QStringLiteral("0"));
}

TEST(SettingsStoreRead, NoFileGivesNothingAndCreatesNothing)
{
    TempDir dir;
    const QString path = dir.path(QStringLiteral("Pylvane/Pylvane.conf"));
    const SettingsStore store(path);
    for (const QString& name : SettingsStore::valueNames())
        EXPECT_FALSE(store.ReadSetting(kKey, name).has_value());
    EXPECT_FALSE(QFileInfo::exists(dir.path(QStringLiteral("Pylvane"))));
}

TEST(SettingsStoreRead, TheDefaultFileLiesInTheUsersConfigFolder)
{
    TempDir dir;
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
    const SettingsStore store;
    EXPECT_EQ(store.filePath(), dir.path(QStringLiteral("Pylvane/Pylvane.conf")));
    EXPECT_FALSE(store.ReadSetting(kKey, QStringLiteral("a1")).has_value());
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
    if (saved.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", saved);
}

TEST(SettingsStoreRead, AHandEditedFileIsRead)
{
    TempDir dir;
    const QString path = dir.path(QStringLiteral("Pylvane.conf"));
    // No section header, unquoted values, a comment, a name in capitals as the registry allows.
    writeFile(path, "; edited by hand\r\nA1=/usr/local/bin/alert --loud\r\nc1=10.0.0.5\r\nc1b= 1 \r\n"
                    "d2=\"  spaced.exe  \"\r\n");
    const SettingsStore store(path);
    EXPECT_EQ(store.ReadSetting(kKey, QStringLiteral("a1")), QStringLiteral("/usr/local/bin/alert --loud"));
    EXPECT_EQ(store.ReadSetting(kKey, QStringLiteral("c1")), QStringLiteral("10.0.0.5"));
    EXPECT_EQ(store.ReadSetting(kKey, QStringLiteral("c1b")), QStringLiteral("1"));
    EXPECT_EQ(store.ReadSetting(kKey, QStringLiteral("d2")), QStringLiteral("  spaced.exe  "));
    EXPECT_FALSE(store.ReadSetting(kKey, QStringLiteral("c2")).has_value());
}

TEST(SettingsStoreRead, TheKeyPathMustNameTheProgramsKey)
{
    TempDir dir;
    SettingsStore store(dir.path(QStringLiteral("Pylvane.conf")));
    ASSERT_TRUE(store.WriteSetting(QStringLiteral("a1"), QStringLiteral("cmd")));
    EXPECT_EQ(store.ReadSetting(QStringLiteral("HKCU\\SOFTWARE\\Pylvane\\"), QStringLiteral("a1")),
              QStringLiteral("cmd"));
    EXPECT_EQ(store.ReadSetting(QStringLiteral("hkey_current_user\\software\\pylvane\\"), QStringLiteral("a1")),
              QStringLiteral("cmd"));
    EXPECT_FALSE(store.ReadSetting(QStringLiteral("HKEY_CURRENT_USER\\Software\\Other\\"), QStringLiteral("a1")));
    EXPECT_FALSE(store.ReadSetting(QStringLiteral("HKEY_CURRENT_USER\\Software\\Pylvane"), QStringLiteral("a1")));
    EXPECT_FALSE(store.ReadSetting(kKey, QString()).has_value());
}

TEST(SettingsStoreRead, ValuesThatAreNotTextGiveNothingButNumbersGiveTheirDecimalText)
{
    TempDir dir;
    const QString path = dir.path(QStringLiteral("Pylvane.conf"));
    writeFile(path, "[General]\n"
                    "a1=first, second\n"
                    "c1=@ByteArray(10.0.0.1)\n"
                    "c1b=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x1)\n"
                    "c2b=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x7)\n"
                    "d1=@Invalid()\n"
                    "e1=plain\n");
    const SettingsStore store(path);
    EXPECT_FALSE(store.ReadSetting(kKey, QStringLiteral("a1")).has_value());
    EXPECT_FALSE(store.ReadSetting(kKey, QStringLiteral("c1")).has_value());
    EXPECT_EQ(store.ReadSetting(kKey, QStringLiteral("c1b")), QStringLiteral("1"));
    EXPECT_EQ(store.ReadSetting(kKey, QStringLiteral("c2b")), QStringLiteral("7"));
    EXPECT_FALSE(store.ReadSetting(kKey, QStringLiteral("d1")).has_value());
    EXPECT_EQ(store.ReadSetting(kKey, QStringLiteral("e1")), QStringLiteral("plain"));
}

TEST(SettingsStoreRead, ALineThatCannotBeReadCostsOnlyItsOwnValue)
{
    TempDir dir;
    const QString path = dir.path(QStringLiteral("damaged.conf"));
    writeFile(path, "a1=cmd\n"
                    "[unclosed section\n"
                    "c1b=1\n"
                    "a line of nothing\n"
                    "c1=\"10.0.0.1\n"
                    "c2=10.0.0.2\n"
                    "c3=ends in \\\n"
                    "c4=\xff\xfe\n"
                    "c5=10.0.0.5 ; a comment\n"
                    "[Other]\n"
                    "c6=elsewhere\n"
                    "[general]\n"
                    "c7=\"back on top\"\n");
    const SettingsStore store(path);
    EXPECT_EQ(store.ReadSetting(kKey, QStringLiteral("a1")), QStringLiteral("cmd"));
    EXPECT_EQ(store.ReadSetting(kKey, QStringLiteral("c1b")), QStringLiteral("1"));
    // An unclosed quote ends with its line instead of taking the lines below into the value.
    EXPECT_FALSE(store.ReadSetting(kKey, QStringLiteral("c1")).has_value());
    EXPECT_EQ(store.ReadSetting(kKey, QStringLiteral("c2")), QStringLiteral("10.0.0.2"));
    EXPECT_FALSE(store.ReadSetting(kKey, QStringLiteral("c3")).has_value());
    EXPECT_FALSE(store.ReadSetting(kKey, QStringLiteral("c4")).has_value());
    EXPECT_EQ(store.ReadSetting(kKey, QStringLiteral("c5")), QStringLiteral("10.0.0.5"));
    EXPECT_FALSE(store.ReadSetting(kKey, QStringLiteral("c6")).has_value());
    EXPECT_EQ(store.ReadSetting(kKey, QStringLiteral("c7")), QStringLiteral("back on top"));
}

TEST(SettingsStoreRead, AnUnreadableFileGivesNothingAndIsNotReplaced)
{
    TempDir dir;
    const QString binary = dir.path(QStringLiteral("binary.conf"));
    QByteArray noise;
    for (int i = 0; i < 4096; ++i)
        noise += char((i * 7919 + 13) % 256);
    writeFile(binary, noise);
    const SettingsStore noisy(binary);
    for (const QString& name : SettingsStore::valueNames())
        EXPECT_FALSE(noisy.ReadSetting(kKey, name).has_value()) << name.toStdString();

    const QString folder = dir.path(QStringLiteral("folder.conf"));
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_FALSE(SettingsStore(folder).ReadSetting(kKey, QStringLiteral("a1")).has_value());
    EXPECT_FALSE(SettingsStore(folder).WriteSetting(QStringLiteral("a1"), QStringLiteral("x")));

    // Far larger than any settings file: its lines could not all be kept, so it is left alone.
    const QString huge = dir.path(QStringLiteral("huge.conf"));
    const QByteArray hugeText = "a1=cmd\n" + QByteArray(SettingsFile::kMaxSize, ';');
    writeFile(huge, hugeText);
    EXPECT_FALSE(SettingsStore(huge).ReadSetting(kKey, QStringLiteral("a1")).has_value());
    EXPECT_FALSE(SettingsStore(huge).WriteSetting(QStringLiteral("a1"), QStringLiteral("x")));
    EXPECT_EQ(readFile(huge), hugeText);

    const QString locked = dir.path(QStringLiteral("locked.conf"));
    writeFile(locked, "a1=cmd\n");
    ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::WriteOwner));
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFileDevice::ExeOther));
    {
        AsUnprivilegedUser user;
        ASSERT_TRUE(user.effective());
        EXPECT_FALSE(SettingsStore(locked).ReadSetting(kKey, QStringLiteral("a1")).has_value());
    }
}

TEST(SettingsStoreWrite, ANewFileIsPrivateAndAnExistingOneKeepsItsMode)
{
    TempDir dir;
    SettingsStore store(dir.path(QStringLiteral("config/Pylvane/Pylvane.conf")));
    ASSERT_TRUE(store.WriteSettings(distinctValues()));
    EXPECT_EQ(modeOf(store.filePath()), 0600u);
    EXPECT_EQ(modeOf(dir.path(QStringLiteral("config/Pylvane"))), 0700u);

    ASSERT_EQ(::chmod(QFile::encodeName(store.filePath()).constData(), 0640), 0);
    ASSERT_TRUE(store.WriteSetting(QStringLiteral("a1"), QStringLiteral("x")));
    EXPECT_EQ(modeOf(store.filePath()), 0640u);
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
        before = readFile(earlier.filePath());
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
