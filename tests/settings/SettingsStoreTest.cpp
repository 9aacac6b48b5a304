#include "settings/AsUnprivilegedUser.h"
#include "settings/DistinctValues.h"
#include "support/FileBytes.h"
#include "support/TempDir.h"

#include "service/FileTargetFields.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsStore.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <gtest/gtest.h>

namespace {

const QString kKey = SettingsStore::kKeyPath;

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

    const SettingsStore reader(store.location());
    for (const auto& [name, text] : values)
        EXPECT_EQ(reader.ReadSetting(kKey, name), text) << name.toStdString();
    EXPECT_EQ(namesInFile(store.location()), SettingsStore::valueNames());

    // The file is plain QSettings INI with the names as top-level keys, as a user would edit it.
    const QSettings settings(store.location(), QSettings::IniFormat);
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
        QString(QChar(0xFEFF)) + QStringLiteral("begins with a byte order mark"),
        QString::fromUtf8("marks after an escape\\\uFEFF and a quote\"\uFEFF"),
    };
    TempDir dir;
    for (int i = 0; i < texts.size(); ++i) {
        // A file of its own for each text: QSettings keeps what it parsed per file name.
        SettingsStore store(dir.path(QStringLiteral("%1/Pylvane.conf").arg(i)));
        ASSERT_TRUE(store.WriteSetting(QStringLiteral("a1"), texts[i]));
        const std::optional<QString> back = store.ReadSetting(kKey, QStringLiteral("a1"));
        ASSERT_TRUE(back.has_value()) << texts[i].toStdString();
        EXPECT_EQ(*back, texts[i]) << "written as: " << readFile(store.location()).toStdString();
    }
}

TEST(SettingsStoreRoundTrip, OneWriteKeepsTheOtherValuesAndSavingTwiceChangesNothing)
{
    TempDir dir;
    SettingsStore store(dir.path(QStringLiteral("Pylvane.conf")));
    ASSERT_TRUE(store.WriteSettings(distinctValues()));
    const QByteArray first = readFile(store.location());
    ASSERT_TRUE(store.WriteSettings(distinctValues()));
    EXPECT_EQ(readFile(store.location()), first);

    ASSERT_TRUE(store.WriteSetting(QStringLiteral("c3"), QStringLiteral("192.168.1.23")));
    const SettingsStore reader(store.location());
    EXPECT_EQ(reader.ReadSetting(kKey, QStringLiteral("c3")), QStringLiteral("192.168.1.23"));
    EXPECT_EQ(reader.ReadSetting(kKey, QStringLiteral("c2")), QStringLiteral("value 3 of c2"));
    EXPECT_EQ(reader.ReadSetting(kKey, QStringLiteral("e10b")), QStringLiteral("value 71 of e10b"));
    EXPECT_EQ(namesInFile(store.location()), SettingsStore::valueNames());
}

// The tray's notice switch lives beside the 71 values: missing means on, and a save of the 71 keeps it.
TEST(SettingsStoreRoundTrip, NotifyChangesIsKeptBesideTheSeventyOneAndASaveLeavesIt)
{
    TempDir dir;
    SettingsStore store(dir.path(QStringLiteral("Pylvane.conf")));
    EXPECT_TRUE(store.notifyChanges());
    ASSERT_TRUE(store.setNotifyChanges(false));
    ASSERT_TRUE(store.WriteSettings(distinctValues()));
    EXPECT_FALSE(SettingsStore(store.location()).notifyChanges());
    EXPECT_EQ(SettingsStore(store.location()).ReadSetting(kKey, QStringLiteral("NotifyChanges")), QStringLiteral("0"));
    ASSERT_TRUE(store.setNotifyChanges(true));
    EXPECT_EQ(SettingsStore(store.location()).ReadSetting(kKey, QStringLiteral("NotifyChanges")), QStringLiteral("1"));
    EXPECT_EQ(SettingsStore(store.location()).ReadSetting(kKey, QStringLiteral("e10b")), QStringLiteral("value 71 of e10b"));
    EXPECT_FALSE(store.WriteSettings({{QStringLiteral("NotifyChanges"), QStringLiteral("0")}}))
        << "a save of the 71 never writes it";
    // The second look before an alarm, beside it: missing means off.
    EXPECT_FALSE(store.confirmDown());
    ASSERT_TRUE(store.setConfirmDown(true));
    ASSERT_TRUE(store.WriteSettings(distinctValues()));
    EXPECT_TRUE(SettingsStore(store.location()).confirmDown());
    EXPECT_EQ(SettingsStore(store.location()).ReadSetting(kKey, QStringLiteral("ConfirmDown")), QStringLiteral("1"));
    // The days the history keeps, beside them: missing means 400.
    EXPECT_EQ(store.historyDays(), 400);
    ASSERT_TRUE(store.setHistoryDays(30));
    ASSERT_TRUE(store.WriteSettings(distinctValues()));
    EXPECT_EQ(SettingsStore(store.location()).historyDays(), 30);
}

// HistoryDays as set by hand: a whole number from 1 to 3650, blanks around it allowed; anything else keeps 400.
TEST(SettingsStoreRead, HistoryDaysOutsideItsRangeOrNoNumberKeepsTheDefault)
{
    const std::pair<const char*, int> rows[] = {
        {"30", 30},  {" 90 ", 90},  {"1", 1},  {"3650", 3650},  {"0", 400},          {"3651", 400},
        {"-5", 400}, {"12.5", 400}, {"", 400}, {"a year", 400}, {"99999999999", 400}};
    for (const auto& [text, days] : rows) {
        TempDir dir;
        const QString path = dir.path(QStringLiteral("Pylvane.conf"));
        writeFile(path, QByteArray("HistoryDays=\"") + text + "\"\n");
        EXPECT_EQ(SettingsStore(path).historyDays(), days) << '"' << text << '"';
    }
}

TEST(SettingsStoreRoundTrip, NamesOutsideTheSeventyOneAreRefused)
{
    TempDir dir;
    SettingsStore store(dir.path(QStringLiteral("Pylvane.conf")));
    EXPECT_FALSE(store.WriteSetting(QStringLiteral("c11"), QStringLiteral("x")));
    EXPECT_FALSE(store.WriteSettings({{QStringLiteral("a1"), QStringLiteral("x")}, {QStringLiteral("f1"), {}}}));
    EXPECT_FALSE(QFileInfo::exists(store.location()));
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
    EXPECT_EQ(store.location(), dir.path(QStringLiteral("Pylvane/Pylvane.conf")));
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

// The service's settings, read once by the run without a desktop: the store takes the bytes as read, the cycle's
// fields follow the settings window's load (only a number worth 1 ticks), and nothing is ever written.
TEST(SettingsStoreRead, TheServicesFileIsTakenFromItsBytesAndNeverWritten)
{
    TempDir dir;
    const QString path = dir.path(QStringLiteral("pylvane.conf"));
    const QByteArray bytes = "[General]\na1=/usr/local/bin/alert\ne2=10.0.0.7\ne2b=\" 1 \"\nc1=10.0.0.5\nc1b=yes\n"
                             "d15=backup.exe\nd15b=1.0\nConfirmDown=1\nMetricsFolder=/var/lib/pylvane/metrics\n";
    writeFile(path, "a1=/something/else\n");
    SettingsStore store = SettingsStore::fromIni(path, bytes);
    EXPECT_EQ(store.location(), path);
    EXPECT_EQ(store.ReadSetting(kKey, QStringLiteral("a1")), QStringLiteral("/usr/local/bin/alert"))
        << "the bytes given, not the file as it stands now";
    EXPECT_TRUE(store.confirmDown());
    EXPECT_EQ(store.metricsFolder(), QStringLiteral("/var/lib/pylvane/metrics"));
    const FileTargetFields fields(store);
    EXPECT_EQ(fields.failureCommand(), QStringLiteral("/usr/local/bin/alert"));
    EXPECT_EQ(fields.enableValue(TargetKind::Device, 2), TargetFields::Ticked);
    EXPECT_EQ(fields.targetText(TargetKind::Device, 2), QStringLiteral("10.0.0.7"));
    EXPECT_EQ(fields.enableValue(TargetKind::Cam, 1), TargetFields::Unticked) << "\"yes\" does not tick";
    EXPECT_EQ(fields.targetText(TargetKind::Cam, 1), QStringLiteral("10.0.0.5"));
    EXPECT_EQ(fields.enableValue(TargetKind::Process, 15), TargetFields::Ticked);
    EXPECT_EQ(fields.targetText(TargetKind::Process, 15), QStringLiteral("backup.exe"));
    // Out of range and unset: disabled and empty, never another target's.
    EXPECT_EQ(fields.enableValue(TargetKind::Device, 11), TargetFields::Unticked);
    EXPECT_EQ(fields.enableValue(TargetKind::Process, 0), TargetFields::Unticked);
    EXPECT_TRUE(fields.targetText(TargetKind::Cam, 11).isEmpty());
    EXPECT_EQ(fields.enableValue(TargetKind::Device, 1), TargetFields::Unticked);

    EXPECT_FALSE(store.WriteSettings({{QStringLiteral("a1"), QStringLiteral("/bin/true")}}));
    EXPECT_FALSE(store.setNotifyChanges(false));
    EXPECT_FALSE(store.setConfirmDown(false));
    EXPECT_EQ(readFile(path), QByteArray("a1=/something/else\n"));
}

TEST(SettingsStoreRead, TheFileIsReadOnceAndAgainOnlyAfterAWrite)
{
    TempDir dir;
    const QString path = dir.path(QStringLiteral("Pylvane.conf"));
    SettingsStore store(path);
    // Missing at the first read: a file put there afterwards counts only once the store writes.
    EXPECT_FALSE(store.ReadSetting(kKey, QStringLiteral("a1")).has_value());
    writeFile(path, "a1=first\nc1=10.0.0.1\n");
    EXPECT_FALSE(store.ReadSetting(kKey, QStringLiteral("c1")).has_value());
    ASSERT_TRUE(store.WriteSetting(QStringLiteral("c2"), QStringLiteral("10.0.0.2")));
    EXPECT_EQ(store.ReadSetting(kKey, QStringLiteral("a1")), QStringLiteral("first"));

    // A hand edit while the program runs counts from the next start, as it does for the registry's key.
    writeFile(path, "a1=edited\n");
    EXPECT_EQ(store.ReadSetting(kKey, QStringLiteral("a1")), QStringLiteral("first"));
    EXPECT_EQ(store.ReadSetting(kKey, QStringLiteral("c2")), QStringLiteral("10.0.0.2"));
    EXPECT_EQ(SettingsStore(path).ReadSetting(kKey, QStringLiteral("a1")), QStringLiteral("edited"));
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
                    "c3b=@Variant(\\0\\0\\0\\x81\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xf9)\n"
                    "c4b=@Variant(\\0\\0\\0\\n\\0\\0\\0\\x4\\0h\\0i)\n"
                    "c5b=@Variant(\\0\\0\\0\\n\\0\\0\\0\\x6\\0h\\0i)\n"
                    "c6b=@Variant(\\0\\0\\0\\x6@\\x1a\\0\\0\\0\\0\\0\\0)\n"
                    "d1=@Invalid()\n"
                    "e1=plain\n");
    const SettingsStore store(path);
    EXPECT_FALSE(store.ReadSetting(kKey, QStringLiteral("a1")).has_value());
    EXPECT_FALSE(store.ReadSetting(kKey, QStringLiteral("c1")).has_value());
    EXPECT_EQ(store.ReadSetting(kKey, QStringLiteral("c1b")), QStringLiteral("1"));
    EXPECT_EQ(store.ReadSetting(kKey, QStringLiteral("c2b")), QStringLiteral("7"));
    EXPECT_EQ(store.ReadSetting(kKey, QStringLiteral("c3b")), QStringLiteral("-7"));
    EXPECT_EQ(store.ReadSetting(kKey, QStringLiteral("c4b")), QStringLiteral("hi"));
    EXPECT_FALSE(store.ReadSetting(kKey, QStringLiteral("c5b")).has_value()); // shorter than it claims
    EXPECT_EQ(store.ReadSetting(kKey, QStringLiteral("c6b")), QStringLiteral("6.5"));
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
                    "c7=\"back on top\"\n"
                    // A list in a list some 30,000 deep, and one that claims two thousand million entries.
                    "c8=@Variant(" +
                        QByteArray("\0\0\0\x9\0\0\0\x1", 8).repeated(30000) + QByteArray("\0\0\0\x9\0\0\0\0", 8) +
                        ")\n"
                        "c9=@Variant(\\0\\0\\0\\t\\x7f\\xff\\xff\\xff)\n"
                        "c10=after them\n");
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
    EXPECT_FALSE(store.ReadSetting(kKey, QStringLiteral("c8")).has_value());
    EXPECT_FALSE(store.ReadSetting(kKey, QStringLiteral("c9")).has_value());
    EXPECT_EQ(store.ReadSetting(kKey, QStringLiteral("c10")), QStringLiteral("after them"));
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

} // namespace
