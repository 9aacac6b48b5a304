#pragma once

#include "eventlog/HeaderStyle.h"

#include <QString>

// Records one target found down; the target checks write through this so tests can watch them.
class LogWriter {
public:
    virtual ~LogWriter() = default;
    // False when the entry could not be recorded now; the file is then left exactly as it was.
    virtual bool WriteLogEntry(HeaderStyle style, const QString& label) = 0;
    // A cycle begins: until writeQueuedEntries, entries may be set aside and put in together then.
    virtual void holdEntries() {}
    // Tries once more to record the entries that could not go in yet; true when none are left.
    virtual bool writeQueuedEntries() = 0;
    // The log's file, for the failure command to read; empty where there is none.
    virtual QString logFilePath() const { return {}; }
};
