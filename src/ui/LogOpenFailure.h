#pragma once

#include <QString>

// What the main window shows when "Open Log" could not open the log: a short message naming the log's path, so that
// the user can open it some other way. Tests put a recorder in its place.
class LogOpenFailure {
public:
    virtual ~LogOpenFailure() = default;
    virtual void show(const QString& logPath) = 0;
};
