#pragma once

#include <QString>
#include <QStringList>

// The lamp in words, for its tooltip, the tray icon's tooltip and assistive technology: its colour and state as a
// short name ("Status: red, 2 targets down"), and a description of what the last cycle found.
class LampStatus {
public:
    // No cycle has ended yet; the first one is expected at about `firstCheckTime`.
    void waitForFirstCheck(const QString& firstCheckTime);
    // A cycle runs; what it finds comes next.
    void checking();
    // One more target found down by the running cycle, as "IP Cam 2 127.0.1.22".
    void addDown(const QString& target);
    // The running cycle has ended at `time` with the red lamp (`red`) or the green one.
    void ended(bool red, const QString& time);

    QString name() const;
    QString description() const;
    // The name and, below it, the description.
    QString toolTip() const;

private:
    enum class State { NoCheckYet, Checking, Green, Red };

    State state_ = State::NoCheckYet;
    QString time_; // when the first cycle is expected, or when the last one ended
    QStringList down_;
};
