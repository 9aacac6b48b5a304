#pragma once

#include <QString>

class LogWriter;
class TargetFields;
class TargetProbes;

// Decides whether one process target is running. Two separate lookups: the first alone decides
// "off" and the log entry, the second alone decides "on". A lookup with no answer decides nothing.
class ProcessTargetCheck {
public:
    ProcessTargetCheck(TargetProbes& probes, LogWriter& log);

    // Before the first process target of a cycle, checked or not.
    void beginCycle();

    // Checks Process `number`, reading its fields at each lookup, and updates `state`. A process found missing
    // gets its log entry only where `logDown`.
    void check(int number, const TargetFields& fields, QString& state, bool logDown = true);

private:
    TargetProbes& probes_;
    LogWriter& log_;
};
