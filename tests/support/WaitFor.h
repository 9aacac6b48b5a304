#pragma once

#include <QDeadlineTimer>
#include <QTest>

#include <functional>

// Processes events until `condition` holds or `timeoutMs` passes; returns the condition's value.
// Used instead of QTRY_* macros, which report to QTest rather than to the running gtest case.
inline bool waitFor(const std::function<bool()>& condition, int timeoutMs = 5000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return condition();
        QTest::qWait(10);
    }
    return true;
}
