#pragma once

#include "eventlog/HeaderStyle.h"

#include <QString>

// Records one target found down; the target checks write through this so tests can watch them.
class LogWriter {
public:
    virtual ~LogWriter() = default;
    // False when the entry could not be recorded now; the file is then left exactly as it was.
    virtual bool WriteLogEntry(HeaderStyle style, const QString& label) = 0;
};
