#pragma once

#include "eventlog/LogWriter.h"

#include <QString>

class Platform;
class QSaveFile;

// The plain-text log of targets found down, newest first below a two-line header. Every change
// replaces the file atomically under a lock, so neither a crash nor a second Pylvane writing the
// same file can lose or truncate what is already recorded.
class EventLog : public LogWriter {
public:
    static inline const QString kFileName = QStringLiteral("PylvaneLog.txt");

    explicit EventLog(Platform& platform, QString fileName = kFileName);

    // Inserts "<date> <time> <label>" and an empty line right below the header, creating the file
    // with `style`'s header when it is missing.
    bool WriteLogEntry(HeaderStyle style, const QString& label) override;
    // Creates the file, or empties an existing one, holding just the header of `style`.
    bool CreateLogFile(HeaderStyle style);
    // "Open Log": creates a missing file with the host header, then opens it in a text editor.
    bool OpenLog();

    const QString& fileName() const { return fileName_; }

private:
    bool createUnlocked(HeaderStyle style);
    bool insertUnlocked(HeaderStyle style, const QString& label);
    QByteArray headerLine(HeaderStyle style) const;
    QByteArray stampedLine(const QByteArray& prefix, const QString& suffix) const;

    Platform& platform_;
    QString fileName_;
};
