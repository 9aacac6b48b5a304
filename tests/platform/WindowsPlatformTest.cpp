#include "support/FileBytes.h"
#include "support/TempDir.h"
#include "support/WaitFor.h"

#include "platform/WindowsPlatform.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>

#include <gtest/gtest.h>

#include <windows.h>

#include <iterator>
#include <string>

namespace {

using Mask = Platform::FileMask;

void touch(const QString& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ASSERT_TRUE(SetFileAttributesW(QDir::toNativeSeparators(path).toStdWString().c_str(), attributes));
}

// Makes a temporary folder the working directory for the test's lifetime. The recorder's path is made
// absolute first: a path rooted without a drive letter names a file on the current drive.
class InTempDir {
public:
    InTempDir() : recorder(QFileInfo(QStringLiteral(START_RECORDER_PATH)).absoluteFilePath())
    {
        QDir::setCurrent(dir.path());
    }
    ~InTempDir() { QDir::setCurrent(previous_); }

    const QString recorder;
    TempDir dir;

private:
    const QString previous_ = QDir::currentPath();
};

// One of the user's regional settings, changed for the test's lifetime.
class RegionalSetting {
public:
    RegionalSetting(LCTYPE type, const wchar_t* value) : type_(type)
    {
        wchar_t previous[80];
        if (GetLocaleInfoW(LOCALE_USER_DEFAULT, type, previous, static_cast<int>(std::size(previous))) > 0) {
            previous_ = previous;
            applied_ = SetLocaleInfoW(LOCALE_USER_DEFAULT, type, value);
        }
    }
    ~RegionalSetting()
    {
        if (applied_)
            SetLocaleInfoW(LOCALE_USER_DEFAULT, type_, previous_.c_str());
    }
    RegionalSetting(const RegionalSetting&) = delete;
    RegionalSetting& operator=(const RegionalSetting&) = delete;

    bool applied() const { return applied_; }

private:
    LCTYPE type_;
    std::wstring previous_;
    bool applied_ = false;
};

// Only there is changing the user's regional settings harmless: nobody else uses them.
bool inTheTestsOwnWinePrefix()
{
    const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine && QDir::cleanPath(qEnvironmentVariable("WINEPREFIX")) == QStringLiteral(TEST_WINE_PREFIX);
}

// "started.txt" as the recorder wrote it: flags and show state, then its command line.
QList<QByteArray> recorded(const QString& dir)
{
    const QString path = QDir(dir).filePath(QStringLiteral("started.txt"));
    if (!waitFor([&] { return QFile::exists(path); }))
        return {};
    return readFile(path).trimmed().split('\n');
}

TEST(WindowsPlatform, FileLookupGoesByAttributes)
{
    TempDir dir;
    WindowsPlatform platform;
    touch(dir.path("run.bat"));
    touch(dir.path("hidden.bat"), FILE_ATTRIBUTE_HIDDEN);
    touch(dir.path("system.bat"), FILE_ATTRIBUTE_SYSTEM);
    touch(dir.path("readonly.bat"), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    // Opening a pipe takes up its waiting instance: the client after the lookups must still find it free.
    const QString pipeName = QStringLiteral(R"(\\.\pipe\pylvane-lookup-%1)").arg(GetCurrentProcessId());
    const HANDLE pipe =
        CreateNamedPipeW(pipeName.toStdWString().c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    const auto closePipe = qScopeGuard([&] { CloseHandle(pipe); });

    struct Case {
        QString name;
        bool ordinary;
        bool withHidden;
    };
    const Case cases[] = {
        {dir.path("run.bat"), true, true},
        {QDir::toNativeSeparators(dir.path("RUN.BAT")), true, true},
        {dir.path("readonly.bat"), true, true},
        {dir.path("hidden.bat"), false, true},
        {dir.path("system.bat"), false, false},
        {dir.path("folder"), false, false},
        {QStringLiteral("NUL"), false, false},
        {dir.path("NUL"), false, false}, // the device answers in every folder
        {dir.path("nul.txt"), false, false},
        {dir.path("COM1.log"), false, false},
        {QStringLiteral("dir/CON"), false, false},
        {pipeName, false, false},
        {QStringLiteral(R"(\\.\COM1)"), false, false},
        {QStringLiteral(R"(\\?\GLOBALROOT\Device\Null)"), false, false},
        {QStringLiteral(R"(\\?\)") + QDir::toNativeSeparators(dir.path("run.bat")), true, true},
        {dir.path("missing"), false, false},
        {dir.path("*.bat"), false, false},
        {dir.path("run.ba?"), false, false},
        {dir.path("run<"), false, false},
        {dir.path("run.ba>"), false, false},
        {dir.path("run\"bat"), false, false},
        {dir.path("run.bat") + " --flag", false, false},
        {QString(), false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform.fileExists(c.name, Mask::OrdinaryOnly), c.ordinary) << qPrintable(c.name);
        EXPECT_EQ(platform.fileExists(c.name, Mask::IncludeHidden), c.withHidden) << qPrintable(c.name);
    }
    const HANDLE client = CreateFileW(pipeName.toStdWString().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(client, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    CloseHandle(client);
}

TEST(WindowsPlatform, DateAndTimeFollowTheUsersRegionalSettings)
{
    if (!inTheTestsOwnWinePrefix())
        GTEST_SKIP() << "changes the user's regional settings, so runs only in the Wine prefix of scripts/windows";
    WindowsPlatform platform;
    const RegionalSetting shortDate(LOCALE_SSHORTDATE, L"dd.MM.yyyy");
    const RegionalSetting separator(LOCALE_STIME, L"-");
    ASSERT_TRUE(shortDate.applied() && separator.applied());
    const QString dayBefore = QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"));
    const QString date = platform.dateText();
    const QString time = platform.timeText();
    EXPECT_TRUE(date == dayBefore || date == QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy")))
        << qPrintable(date);
    static const QRegularExpression pattern(QStringLiteral("^([01]\\d|2[0-3])-[0-5]\\d-[0-5]\\d$"));
    EXPECT_TRUE(pattern.match(time).hasMatch()) << qPrintable(time);
}

TEST(WindowsPlatform, ProgramsStartMinimizedWithTheFocus)
{
    InTempDir here;
    WindowsPlatform platform;
    const QString program = here.dir.path("on failure.exe");
    ASSERT_TRUE(QFile::copy(here.recorder, program));
    ASSERT_TRUE(platform.startProgram(program, {{QStringLiteral("PYLVANE_DOWN_COUNT"), QStringLiteral("2")}}));
    const QList<QByteArray> command = recorded(here.dir.path());
    ASSERT_EQ(command.size(), 3);
    EXPECT_EQ(command[2], "2") << "the variables it was given";
    EXPECT_EQ(command[0], QByteArray::number(STARTF_USESHOWWINDOW) + ' ' + QByteArray::number(SW_SHOWMINIMIZED));
    EXPECT_EQ(command[1], ('"' + QDir::toNativeSeparators(program) + '"').toUtf8()) << "the file alone, no arguments";

    touch(here.dir.path("plain.txt"));
    EXPECT_FALSE(platform.startProgram(here.dir.path("plain.txt"), {}));
    EXPECT_FALSE(platform.startProgram(here.dir.path("missing.exe"), {}));
}

// By name alone, Notepad would be looked for in the program's folder and the working directory before the
// system folder. Stand-ins planted in both record their start in the working directory.
TEST(WindowsPlatform, LogOpensOnlyInTheSystemsNotepad)
{
    InTempDir here;
    WindowsPlatform platform;
    const QString besideTest = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("notepad.exe"));
    ASSERT_TRUE(QFile::copy(here.recorder, here.dir.path("notepad.exe")));
    ASSERT_TRUE(QFile::copy(here.recorder, besideTest));
    const auto removeStandIn = qScopeGuard([&] { QFile::remove(besideTest); });
    wchar_t system[MAX_PATH];
    const UINT size = GetSystemDirectoryW(system, MAX_PATH);
    ASSERT_GT(size, 0u);

    // Every process started from here on joins the job, and the job announces each one as it starts: Wine's
    // Notepad, without a display, ends within a fraction of a second.
    const HANDLE job = CreateJobObjectW(nullptr, nullptr);
    const HANDLE port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
    const auto closeJob = qScopeGuard([&] {
        CloseHandle(port);
        CloseHandle(job);
    });
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT announce{job, port};
    ASSERT_TRUE(SetInformationJobObject(job, JobObjectAssociateCompletionPortInformation, &announce, sizeof announce));
    ASSERT_TRUE(AssignProcessToJobObject(job, GetCurrentProcess()));

    ASSERT_TRUE(platform.openInTextEditor(QStringLiteral("PylvaneLog.txt"), {}));
    DWORD message = 0, startedId = 0;
    ULONG_PTR key = 0;
    OVERLAPPED* id = nullptr;
    while (startedId == 0 && GetQueuedCompletionStatus(port, &message, &key, &id, 5000)) {
        if (message == JOB_OBJECT_MSG_NEW_PROCESS && reinterpret_cast<ULONG_PTR>(id) != GetCurrentProcessId())
            startedId = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(id));
    }
    const HANDLE started = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, startedId);
    ASSERT_NE(started, nullptr) << "nothing started";
    wchar_t image[MAX_PATH];
    DWORD imageSize = MAX_PATH;
    const bool named = QueryFullProcessImageNameW(started, 0, image, &imageSize);
    TerminateProcess(started, 0);
    CloseHandle(started);
    ASSERT_TRUE(named);
    EXPECT_EQ(QString::fromWCharArray(image, imageSize).toLower().toStdString(),
              (QString::fromWCharArray(system, size) + QStringLiteral("\\notepad.exe")).toLower().toStdString());
    EXPECT_FALSE(waitFor([&] { return QFile::exists(here.dir.path("started.txt")); }, 1000)) << "a stand-in ran";
}

} // namespace
