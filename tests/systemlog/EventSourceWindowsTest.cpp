#include <QProcess>
#include <QString>
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

// pylvane.exe --register-event-source and --unregister-event-source, run as the tests run (under Wine that
// is as an administrator), seen in the registry afterwards.

namespace {

const wchar_t* const kKey = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Pylvane";

struct Outcome {
    int status = -1;
    QString output;
};

Outcome runProgram(const char* option)
{
    QProcess program;
    program.start(QStringLiteral(PYLVANE_EXECUTABLE), {QLatin1String(option)});
    Outcome run;
    if (!program.waitForFinished(60000))
        return run;
    run.status = program.exitCode();
    run.output = QString::fromUtf8(program.readAllStandardOutput() + program.readAllStandardError());
    return run;
}

std::wstring textValue(const wchar_t* name)
{
    wchar_t data[1024] = {};
    DWORD size = sizeof data;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kKey, name, RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, data, &size) !=
        ERROR_SUCCESS)
        return L"(missing)";
    return data;
}

bool keyExists()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

} // namespace

TEST(EventSource, RegisteringNamesTheProgramAsMessageFileAndUnregisteringRemovesIt)
{
    const Outcome registered = runProgram("--register-event-source");
    if (registered.status == 1 && registered.output.contains(QStringLiteral("administrator")))
        GTEST_SKIP() << "needs an administrator: " << registered.output.toStdString();
    ASSERT_EQ(registered.status, 0) << registered.output.toStdString();
    EXPECT_TRUE(registered.output.startsWith(QStringLiteral("Registered the event source Pylvane")))
        << registered.output.toStdString();

    wchar_t exe[MAX_PATH] = {};
    ASSERT_NE(GetFullPathNameW(L"" PYLVANE_EXECUTABLE, MAX_PATH, exe, nullptr), 0u);
    EXPECT_EQ(QString::fromStdWString(textValue(L"EventMessageFile")).toLower(),
              QString::fromWCharArray(exe).replace(u'/', u'\\').toLower());
    DWORD types = 0;
    DWORD size = sizeof types;
    EXPECT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, kKey, L"TypesSupported", RRF_RT_REG_DWORD, nullptr, &types, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(types, 7u);

    const Outcome removed = runProgram("--unregister-event-source");
    EXPECT_EQ(removed.status, 0) << removed.output.toStdString();
    EXPECT_FALSE(keyExists());
    // Nothing left to remove is no failure.
    const Outcome again = runProgram("--unregister-event-source");
    EXPECT_EQ(again.status, 0) << again.output.toStdString();
    EXPECT_TRUE(again.output.contains(QStringLiteral("was not registered"))) << again.output.toStdString();
}
