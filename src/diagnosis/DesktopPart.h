#pragma once

#include "diagnosis/CheckResult.h"

#include <QElapsedTimer>
#include <QList>
#include <QProcess>
#include <QString>

#include <chrono>

// The part of `pylvane --diagnose` that touches the display, the tray or the session bus, run as a process of its
// own: this program again, with an internal option. Qt's connection to a display that does not answer, and its
// tray's question to a stopped session bus, wait for good and cannot be bounded from inside; a process can. It
// writes each finding on standard output as one line of JSON as soon as it is known, and is ended at the
// diagnosis's deadline; what it had not said by then is said to have not answered within that time.
class DesktopPart {
public:
    // Not for users, and not in --help: "<option> display" or "<option> bus".
    static inline const QString kOption = QStringLiteral("--diagnose-part");
    static inline const QString kDisplay = QStringLiteral("display"); // the Desktop line: the window system, the tray
    static inline const QString kBus = QStringLiteral("bus");         // the Notifications and Accessibility lines

    // In the process of its own: asks and writes its findings; the exit code.
    static int run(int argc, char* argv[], const QString& part);

    explicit DesktopPart(const QString& part);
    ~DesktopPart();
    DesktopPart(const DesktopPart&) = delete;
    DesktopPart& operator=(const DesktopPart&) = delete;

    void start();
    // Waits for the process to end, at most until `deadline`, and ends it there.
    void finishBy(std::chrono::steady_clock::time_point deadline);
    // Ends the process at once, as the diagnosis does when it reaches its limit.
    void stop();
    // Its findings, in the report's order; what it did not say in time, as not answered.
    QList<CheckResult> results();

private:
    QString part_;
    QProcess process_;
    QElapsedTimer clock_;
    qint64 stoppedAfterMs_ = -1;
};
