#include "MonitorFakes.h"
#include "support/FileBytes.h"
#include "support/TempDir.h"
#include "support/WaitFor.h"

#include "monitor/CheckCycle.h"
#include "platform/PosixPlatform.h"

#include <QFile>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// With the real platform: the command is started directly, without arguments, and a file that
// exists but cannot be run is passed over without a crash.
TEST(CheckCycleOnThisSystem, StartsCommandDirectlyAndSkipsUnrunnableFiles)
{
    TempDir dir;
    FakeLamp lamp;
    FakeProbes probes;
    FakeLog log;
    FakeFields fields;
    PosixPlatform platform;
    QTimer timer1;
    CheckCycle cycle(lamp, probes, log, platform, timer1);
    cycle.setFields(&fields);
    fields.set(TargetKind::Process, 7, "surely-not-running.exe");

    const QString marker = dir.path("marker");
    const QString script = dir.path("notify me; exit.sh"); // a shell would run "notify" and stop
    QFile file(script);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("#!/bin/sh\necho \"$# $PYLVANE_DOWN_COUNT\" > '%1.new'\n"
                              "printf '%s\\n' \"$PYLVANE_DOWN\" >> '%1.new'\nmv '%1.new' '%1'\n")
                   .arg(marker)
                   .toUtf8());
    file.close();

    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner); // not executable
    fields.command = script;
    cycle.run();
    EXPECT_TRUE(lamp.only(StatusLamp::Image2));
    QTest::qWait(200);
    EXPECT_FALSE(QFile::exists(marker));

    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    cycle.run();
    ASSERT_TRUE(waitFor([&] { return QFile::exists(marker); }));
    EXPECT_EQ(readFile(marker), "0 1\nServices and Apps 7 surely-not-running.exe\n") << "started with no arguments";

    // Five texts of 30,000 characters, more than the system takes in one variable, and a line break that would
    // add a line: the program still starts, and is told one line for each target.
    ASSERT_TRUE(QFile::remove(marker));
    for (int n = 1; n <= 5; ++n)
        fields.set(TargetKind::Process, n, QString(30'000, QLatin1Char('a' + n)));
    fields.set(TargetKind::Process, 7, "gone.exe\nServices and Apps 9 forged.exe");
    cycle.run();
    ASSERT_TRUE(waitFor([&] { return QFile::exists(marker); })) << "the failure command did not start";
    const QList<QByteArray> lines = readFile(marker).split('\n');
    ASSERT_EQ(lines.size(), 8) << "the count, six targets and the end";
    EXPECT_EQ(lines.at(0), "0 6");
    EXPECT_TRUE(lines.at(1).startsWith("Services and Apps 1 bbbb")) << lines.at(1).left(40).toStdString();
    EXPECT_EQ(lines.at(6), "Services and Apps 7 gone.exe Services and Apps 9 forged.exe");
}

} // namespace
