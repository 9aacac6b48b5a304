#pragma once

#include "monitor/Targets.h"
#include "probes/EchoReply.h"

#include <QString>

#include <cstdint>

class LogWriter;
class TargetFields;
class TargetProbes;

// Decides whether one device or camera is up: one echo inside its own socket session, the
// echo's result text kept in `pi`, and that text alone deciding the state.
class HostTargetCheck {
public:
    static inline const QString kTimedOut = QStringLiteral("11010   [ ip req timed out ]");
    static inline const QString kSuccess = QStringLiteral("0   [ ip success ]");

    HostTargetCheck(TargetProbes& probes, LogWriter& log);

    // Checks Device or Cam `number`, reading its fields now, and updates `state`. A target found down gets its log
    // entry only where `logDown`. True when its text is no address an echo can go to, so that it is never checked.
    bool check(TargetKind kind, int number, const TargetFields& fields, QString& state, bool logDown = true);

    // Shared by all host checks: the last echo's result text, its status and its reply record.
    QString pi;
    int32_t echoStatus = 0;
    EchoReply echoReply;

private:
    TargetProbes& probes_;
    LogWriter& log_;
};
