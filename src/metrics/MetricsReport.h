#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

// What one check cycle found, in the terms of the metrics file.
struct MetricsTarget {
    enum class State { Up, Down, Off, Unknown };
    QString kind; // "device", "camera" or "process"
    int number = 0;
    QString name; // the log's name, "Cam3"
    QString text; // what the target's field holds
    State state = State::Unknown;
};

struct MetricsReport {
    QList<MetricsTarget> targets;
    int targetsDown = 0;
    QDateTime cycleEnd;
    double durationSeconds = 0;
    int pendingEntries = 0; // log entries waiting to go into the log
};
