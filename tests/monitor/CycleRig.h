#pragma once

#include "MonitorFakes.h"
#include "support/FakePlatform.h"
#include "support/TempDir.h"

#include "monitor/CheckCycle.h"

#include <QFile>
#include <QTimer>

#include <vector>

// A cycle with fakes around it, and an existing ordinary file as its failure command.
struct CycleRig {
    FakeLamp lamp;
    FakeProbes probes;
    FakeLog log;
    FakeFields fields;
    FakePlatform platform;
    QTimer timer1;
    CheckCycle cycle{lamp, probes, log, platform, timer1};
    TempDir dir;
    QString command; // an existing ordinary file

    CycleRig()
    {
        cycle.setFields(&fields);
        command = dir.path("on-failure.sh");
        QFile file(command);
        file.open(QIODevice::WriteOnly);
        file.write("#!/bin/sh\n");
        fields.command = command;
    }
    void run()
    {
        timer1.start(10000);
        cycle.run();
    }
};

struct TargetRef {
    TargetKind kind;
    int number;
};

inline std::vector<TargetRef> allTargets()
{
    std::vector<TargetRef> all;
    for (int n = 1; n <= kDeviceCount; ++n)
        all.push_back({TargetKind::Device, n});
    for (int n = 1; n <= kCamCount; ++n)
        all.push_back({TargetKind::Cam, n});
    for (int n = 1; n <= kProcessCount; ++n)
        all.push_back({TargetKind::Process, n});
    return all;
}

// Every target enabled and up, except those the test then marks down.
inline void enableAllUp(CycleRig& rig)
{
    for (const TargetRef& t : allTargets()) {
        const QString text = QStringLiteral("t%1").arg(targetIndex(t.kind, t.number));
        rig.fields.set(t.kind, t.number, text);
        if (t.kind == TargetKind::Process)
            rig.probes.exeAnswers[text] = {-1};
        else
            rig.probes.statusOf[text.toStdString()] = 0;
    }
}

inline void markDown(CycleRig& rig, const TargetRef& t)
{
    const QString text = rig.fields.targetText(t.kind, t.number);
    if (t.kind == TargetKind::Process)
        rig.probes.exeAnswers[text] = {0};
    else
        rig.probes.statusOf[text.toStdString()] = 11010;
}
