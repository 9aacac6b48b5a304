#include "support/TempDir.h"

#include "platform/PosixPlatform.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

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

TEST(PosixPlatform, TimeTextIsTwentyFourHourWithSeconds)
{
    PosixPlatform platform;
    static const QRegularExpression pattern(QStringLiteral("^([01]\\d|2[0-3]):[0-5]\\d:[0-5]\\d$"));
    EXPECT_TRUE(pattern.match(platform.timeText()).hasMatch()) << qPrintable(platform.timeText());
    EXPECT_FALSE(platform.dateText().isEmpty());
    EXPECT_FALSE(platform.dateText().contains(QLatin1Char(':'))) << "no time part in the date";
}

TEST(PosixPlatform, StartProgramReportsFilesThatCannotRun)
{
    TempDir dir;
    PosixPlatform platform;
    touch(dir.path("plain.txt"));
    EXPECT_FALSE(platform.startProgram(dir.path("plain.txt")));
    EXPECT_FALSE(platform.startProgram(dir.path("missing")));
    EXPECT_TRUE(platform.startProgram(QStringLiteral("/bin/true")));
}

} // namespace
