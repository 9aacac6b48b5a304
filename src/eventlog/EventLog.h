#pragma once

#include "eventlog/LogWriter.h"

#include <QByteArrayList>
#include <QElapsedTimer>
#include <QString>

#include <functional>

class KeptEntriesFile;
class LogFile;
class Platform;
class SystemEvents;

// The plain-text log of targets found down, newest first below a two-line header. Every change
// rewrites the file whole under a lock (see LogFile), so neither a crash nor a second Pylvane
// writing the same file can lose or truncate what is already recorded. An entry that cannot go in
// yet waits here and goes in with the next one that can.
//
// During a cycle the entries are held: each goes at once to the kept-entries file beside the log,
// "<log>.pending" (see KeptEntriesFile), with an append rather than a rewrite of the log, and the
// cycle's end puts them all into the log in one rewrite. Entries still waiting when the program
// ends are kept there as well; whichever writer next rewrites the log puts them in below its own
// entries, newest first, and empties that file.
class EventLog : public LogWriter {
public:
    static inline const QString kFileName = QStringLiteral("PylvaneLog.txt");

    explicit EventLog(Platform& platform, QString fileName = kFileName);

    static QString pendingFileName(const QString& logFileName) { return logFileName + QStringLiteral(".pending"); }

    // Inserts "<date> <time> <label>" and an empty line right below the header, creating the file
    // with `style`'s header when it is missing. Entries queued by earlier failures go in with it,
    // below it and newest first. On false the file is unchanged and the entry stays queued.
    bool WriteLogEntry(HeaderStyle style, const QString& label) override;
    // Until the next writeQueuedEntries, entries go to the kept-entries file instead of the log.
    void holdEntries() override;
    // Inserts the entries still queued, and those kept aside; true when none are left. Ends holding.
    bool writeQueuedEntries() override;
    // The same at the end of a run: waits for the lock whatever happened before, and keeps what
    // still cannot go in in the kept-entries file. False only when entries were lost; they are then
    // named on standard error, the one place left to say so.
    bool writeQueuedEntriesAtEnd();
    // Creates the file, or empties an existing one, holding just the header of `style`.
    bool CreateLogFile(HeaderStyle style);
    // "Open Log": creates a missing file with the host header, then opens it in a text editor. False when the
    // editor could not be started; `failedLater` when the desktop's opener fails after it started.
    bool OpenLog(const std::function<void()>& failedLater = {});

    const QString& fileName() const { return fileName_; }
    QString logFilePath() const override;

    // Hears of each entry that a cycle's end could not put in, and of when it went in after all.
    void setSystemEvents(SystemEvents* events) { events_ = events; }
    // How many entries waited to go in after the last attempt: kept aside or in memory.
    int entriesWaiting() const { return waitingCount_; }

private:
    int lockWaitMs() const;
    bool lock(LogFile& file, int waitMs);
    bool writeQueued(int waitMs);
    void tellWhatWaits(bool written);
    bool keep(const QByteArray& entriesOldestFirst, int waitMs, bool onDisk);
    QByteArrayList takeKeptEntries(KeptEntriesFile& kept, bool* opened);
    void discardKept(KeptEntriesFile& kept, qint64 size);
    bool writeHeaderOnly(LogFile& file, HeaderStyle style);
    bool insertQueued(LogFile& file, HeaderStyle style, const QByteArrayList& olderEntries);
    QByteArray headerLine(HeaderStyle style, const QString& stamp) const;
    QString stamp() const;

    Platform& platform_;
    QString fileName_;
    QString pendingFileName_;
    QByteArrayList queued_; // entry lines in no file yet, newest first
    // The style and time of this run's oldest entry not yet in the log: that entry would have
    // created a missing file.
    HeaderStyle queuedStyle_ = HeaderStyle::HostHeader;
    QString creationStamp_;
    bool entriesWaiting_ = false;
    bool holding_ = false;
    // A kept-entries file whose first bytes are in the log but that could be neither removed nor
    // emptied: those bytes are not brought in again by this run.
    QByteArray spentIdentity_;
    qint64 spentSize_ = 0;
    QElapsedTimer busySince_; // valid while another writer keeps the lock too long
    SystemEvents* events_ = nullptr;
    QByteArrayList announced_; // entry lines the system's log heard were kept aside
    int waitingCount_ = 0;
};
