#pragma once

#include <QString>
#include <QStringList>

struct CycleReport;

// The lamp in words, for its tooltip, the tray icon's tooltip and assistive technology: its colour and state as a
// short name ("Status: red, 2 targets down"), and a description of what the last cycle found.
class LampStatus {
public:
    // No cycle has ended yet; the first one is expected at about `firstCheckTime`.
    void waitForFirstCheck(const QString& firstCheckTime);
    // A cycle runs; what it finds comes next.
    void checking();
    // The running cycle has ended at `time`; the report says which lamp it left and what is down.
    void ended(const CycleReport& report, const QString& time);

    QString name() const;
    QString description() const;
    // The name and, below it, the description.
    QString toolTip() const;

private:
    // The lines for targets looked at again soon, for those that could not be checked, and for a failure command
    // that could not start.
    QString problems() const;

    enum class State { NoCheckYet, Checking, Green, Red };

    State state_ = State::NoCheckYet;
    QString time_; // when the first cycle is expected, or when the last one ended
    // Each target as "IP Cam 2 127.0.1.22", in cycle order.
    QStringList down_;
    QStringList unchecked_;  // with why, where that is known
    QStringList confirming_; // found down once, to be looked at again
    QString commandProblem_;
};
