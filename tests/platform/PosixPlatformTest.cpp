#include "support/GeneratedLocales.h"
#include "support/TempDir.h"

#include "platform/PosixPlatform.h"
#include "platform/SystemEnd.h"
#include "support/WaitFor.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <clocale>
#include <csignal>
#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using Mask = Platform::FileMask;

void touch(const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

TEST(PosixPlatform, FileLookupFindsOnlyWholeNamesOfOrdinaryFiles)
{
    TempDir dir;
    PosixPlatform platform;
    touch(dir.path("run.sh"));
    touch(dir.path(".hidden.sh"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    ASSERT_TRUE(QDir(dir.path()).mkdir(".config"));
    touch(dir.path(".config/inside.sh"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.path("pipe")).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(dir.path("run.sh"), dir.path("link.sh")));

    struct Case {
        QString name;
        bool ordinary;
        bool withHidden;
    };
    const Case cases[] = {
        {dir.path("run.sh"), true, true},
        {dir.path("link.sh"), true, true},           // a link to an ordinary file is that file
        {dir.path(".hidden.sh"), false, true},       // hidden: a name beginning with a dot
        {dir.path(".config/inside.sh"), true, true}, // only the file's own name counts
        {dir.path("folder"), false, false},
        {dir.path("pipe"), false, false},
        {QStringLiteral("/dev/null"), false, false},
        {dir.path("missing"), false, false},
        {dir.path("*.sh"), false, false},
        {dir.path("run.s?"), false, false},
        {dir.path("run.sh") + " --flag", false, false},
        {QString(), false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform.fileExists(c.name, Mask::OrdinaryOnly), c.ordinary) << qPrintable(c.name);
        EXPECT_EQ(platform.fileExists(c.name, Mask::IncludeHidden), c.withHidden) << qPrintable(c.name);
    }
}

TEST(PosixPlatform, SocketIsNotAFile)
{
    TempDir dir;
    PosixPlatform platform;
    const QByteArray path = QFile::encodeName(dir.path("sock"));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(static_cast<size_t>(path.size()), sizeof(addr.sun_path));
    std::memcpy(addr.sun_path, path.constData(), static_cast<size_t>(path.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    EXPECT_FALSE(platform.fileExists(dir.path("sock"), Mask::IncludeHidden));
    ::close(fd);
}

// What `date` prints for `format` in `environment`, converted from the locale's character set.
QString dateCommand(const QString& format, const QProcessEnvironment& environment)
{
    QProcess date;
    date.setProcessEnvironment(environment);
    date.start(QStringLiteral("/bin/sh"),
               {QStringLiteral("-c"), QStringLiteral("date \"+$1\" | iconv -f \"$(locale charmap)\" -t UTF-8"),
                QStringLiteral("sh"), format});
    if (!date.waitForFinished(10'000) || date.exitStatus() != QProcess::NormalExit || date.exitCode() != 0)
        return QStringLiteral("(date failed)");
    return QString::fromUtf8(date.readAllStandardOutput()).trimmed();
}

// Puts back the process's LC_TIME and LOCPATH as they were before the test changed them.
class TimeLocaleRestorer {
public:
    ~TimeLocaleRestorer()
    {
        std::setlocale(LC_TIME, time_.constData());
        if (hadLocpath_)
            qputenv("LOCPATH", locpath_);
        else
            qunsetenv("LOCPATH");
    }

private:
    QByteArray time_ = std::setlocale(LC_TIME, nullptr);
    QByteArray locpath_ = qgetenv("LOCPATH");
    bool hadLocpath_ = qEnvironmentVariableIsSet("LOCPATH");
};

TEST(PosixPlatform, TimeTextIsTheClockInTwentyFourHours)
{
    PosixPlatform platform;
    static const QRegularExpression pattern(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$"));
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString before = dateCommand(QStringLiteral("%H:%M:%S"), environment);
    const QString text = platform.timeText();
    const QString after = dateCommand(QStringLiteral("%H:%M:%S"), environment);
    // Fixed-width texts order as the times do; across midnight the later one is the smaller.
    const bool between = before <= after ? before <= text && text <= after : before <= text || text <= after;
    EXPECT_TRUE(pattern.match(text).hasMatch() && between)
        << qPrintable(text) << " read between " << qPrintable(before) << " and " << qPrintable(after);
}

TEST(PosixPlatform, DateTextIsTheShortDateOfTheTimeLocale)
{
    PosixPlatform platform;
    GeneratedLocales locales;
    TimeLocaleRestorer restorer;
    qputenv("LOCPATH", QFile::encodeName(locales.path()));
    ASSERT_TRUE(locales.add(QStringLiteral("de_DE.UTF-8")));
    ASSERT_TRUE(locales.add(QStringLiteral("ja_JP.EUC-JP")));
    // The machine's own month/day/year in two digits, day.month.year, and a date that is not ASCII in
    // a character set other than UTF-8.
    for (const QString& name :
         {QStringLiteral("C.UTF-8"), QStringLiteral("de_DE.UTF-8"), QStringLiteral("ja_JP.EUC-JP")}) {
        ASSERT_NE(std::setlocale(LC_TIME, name.toLatin1().constData()), nullptr) << qPrintable(name);
        const QString before = dateCommand(QStringLiteral("%x"), locales.environment(name));
        const QString text = platform.dateText();
        const QString after = dateCommand(QStringLiteral("%x"), locales.environment(name));
        EXPECT_TRUE(text == before || text == after)
            << qPrintable(name) << ": " << qPrintable(text) << " where date +%x printed " << qPrintable(before);
    }
}

// Without xdg-open there is nothing to open the log with: one line on stderr names the package that brings it.
TEST(PosixPlatform, OpeningTheLogWithoutXdgOpenNamesThePackageThatBringsIt)
{
    static QStringList warnings;
    TempDir emptyFolder;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(emptyFolder.path()));
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) { warnings << text; });
    EXPECT_FALSE(PosixPlatform().openInTextEditor(QStringLiteral("PylvaneLog.txt"), {}));
    qInstallMessageHandler(previous);
    qputenv("PATH", path);
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings.first().contains(QStringLiteral("package xdg-utils")) && !warnings.first().contains('\n'));
}

// "Open Log" pressed again and again while the editor is still being started opens it once.
TEST(PosixPlatform, OpeningTheLogAgainWhileTheEditorStartsStartsNoSecondOne)
{
    TempDir bin;
    const QString opened = bin.path("opened");
    QFile script(bin.path("xdg-open"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\necho \"$1\" >> '%1'\nsleep 3\n").arg(opened).toUtf8());
    script.close();
    ASSERT_TRUE(script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()) + ":" + path);
    PosixPlatform platform;
    for (int i = 0; i < 20; ++i)
        EXPECT_TRUE(platform.openInTextEditor(QStringLiteral("/tmp/PylvaneLog.txt"), {}));
    qputenv("PATH", path);
    ASSERT_TRUE(waitFor([&] { return QFile::exists(opened); }));
    QTest::qWait(300);
    QFile list(opened);
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    EXPECT_EQ(list.readAll(), "/tmp/PylvaneLog.txt\n");
}

// xdg-open starts, then fails (the desktop's handler needs a terminal that is not there): the caller hears of it.
// One that succeeds, or ends badly only long after it started (the editor it waited for), says nothing.
TEST(PosixPlatform, AnOpenerThatStartsAndThenFailsIsReportedOnce)
{
    TempDir bin;
    QFile script(bin.path("xdg-open"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\ntouch '%1'\nexit \"$(cat '%2')\"\n")
                     .arg(bin.path("ended"), bin.path("code"))
                     .toUtf8());
    script.close();
    ASSERT_TRUE(script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()) + ":" + path);
    for (const char* code : {"3", "0"}) {
        QFile::remove(bin.path("ended"));
        QFile codeFile(bin.path("code"));
        ASSERT_TRUE(codeFile.open(QIODevice::WriteOnly) && codeFile.write(code) == 1);
        codeFile.close();
        int failures = 0;
        PosixPlatform platform;
        EXPECT_TRUE(platform.openInTextEditor(QStringLiteral("/tmp/PylvaneLog.txt"), [&failures] { ++failures; }));
        ASSERT_TRUE(waitFor([&] { return QFile::exists(bin.path("ended")); })) << code;
        const bool fails = std::strcmp(code, "0") != 0;
        EXPECT_EQ(waitFor([&] { return failures > 0; }, fails ? 5000 : 500), fails) << code;
        QTest::qWait(100);
        EXPECT_EQ(failures, fails ? 1 : 0) << code;
    }
    qputenv("PATH", path);
}

TEST(PosixPlatform, StartProgramReportsFilesThatCannotRun)
{
    TempDir dir;
    PosixPlatform platform;
    touch(dir.path("plain.txt"));
    EXPECT_FALSE(platform.startProgram(dir.path("plain.txt"), {}));
    EXPECT_FALSE(platform.startProgram(dir.path("missing"), {}));
    EXPECT_TRUE(platform.startProgram(QStringLiteral("/bin/true"), {}));
}

// Each end signal comes out of the event loop as one end request, not inside the handler.
TEST(SystemEnd, EndSignalsArriveThroughTheEventLoop)
{
    // A test run in the background may have started with some of them ignored, which stays so.
    for (int signal : {SIGTERM, SIGHUP, SIGINT})
        std::signal(signal, SIG_DFL);
    const std::unique_ptr<SystemEnd> end = SystemEnd::install();
    QSignalSpy requests(end.get(), &SystemEnd::endRequested);
    int expected = 0;
    for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
        ASSERT_EQ(::raise(signal), 0);
        EXPECT_EQ(requests.count(), expected) << signal;
        EXPECT_TRUE(waitFor([&] { return requests.count() == expected + 1; })) << signal;
        ++expected;
    }
}

// Started under nohup, the program keeps ignoring hang-ups: a SIGHUP ignored from the start stays ignored, brings
// no end request and stays ignored after the program ends, while the other end signals still arrive.
TEST(SystemEnd, AHangUpIgnoredFromTheStartStaysIgnored)
{
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction deflt {};
    deflt.sa_handler = SIG_DFL;
    struct sigaction hangUpBefore {};
    struct sigaction termBefore {};
    ASSERT_EQ(::sigaction(SIGHUP, &ignore, &hangUpBefore), 0);
    ASSERT_EQ(::sigaction(SIGTERM, &deflt, &termBefore), 0);
    const auto handlerOf = [](int signal) {
        struct sigaction now {};
        ::sigaction(signal, nullptr, &now);
        return now.sa_handler;
    };
    {
        const std::unique_ptr<SystemEnd> end = SystemEnd::install();
        QSignalSpy requests(end.get(), &SystemEnd::endRequested);
        EXPECT_EQ(handlerOf(SIGHUP), SIG_IGN);
        EXPECT_NE(handlerOf(SIGTERM), SIG_DFL);
        ASSERT_EQ(::raise(SIGHUP), 0);
        QTest::qWait(100);
        EXPECT_EQ(requests.count(), 0) << "a hang-up ignored from the start asked for the end";
        ASSERT_EQ(::raise(SIGTERM), 0);
        EXPECT_TRUE(waitFor([&] { return requests.count() == 1; }));
    }
    EXPECT_EQ(handlerOf(SIGHUP), SIG_IGN);
    ::sigaction(SIGHUP, &hangUpBefore, nullptr);
    ::sigaction(SIGTERM, &termBefore, nullptr);
}

} // namespace
