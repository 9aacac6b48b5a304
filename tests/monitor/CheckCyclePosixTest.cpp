#include "MonitorFakes.h"
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
    file.write(QStringLiteral("#!/bin/sh\necho \"$#\" > '%1'\n").arg(marker).toUtf8());
    file.close();

    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner); // not executable
    fields.command = script;
    cycle.run();
    EXPECT_TRUE(lamp.only(StatusLamp::Image2));
    QTest::qWait(200);
    EXPECT_FALSE(QFile::exists(marker));

    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    cycle.run();
    ASSERT_TRUE(waitFor([&] { return QFile(marker).size() == 2; }));
    QFile result(marker);
    ASSERT_TRUE(result.open(QIODevice::ReadOnly));
    EXPECT_EQ(result.readAll(), "0\n") << "started with no arguments";
}

} // namespace
