#include "eventlog/EventLog.h"

#include "eventlog/CrLfNormaliser.h"
#include "eventlog/KeptEntriesFile.h"
#include "eventlog/LineReader.h"
#include "eventlog/LogFile.h"
#include "platform/Platform.h"
#include "systemlog/SystemEvents.h"

#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

const QByteArray kCrLf = QByteArrayLiteral("\r\n");

// Ample for another Pylvane to rewrite a large log. A lock held longer is held by a writer that is
// stuck; for a while after such a wait the lock is only tried, so that a cycle with many targets
// down is not held up once per target.
constexpr int kLockWaitMs = 2'000;
constexpr qint64 kBusyQuietMs = 60'000;
// At the end of a run the entries would otherwise be lost, so a busy lock is waited for longer,
// whatever happened before; the system gives a program about as long to end.
constexpr int kEndLockWaitMs = 5'000;
// How far below the header kept entries are looked for before they go in (see insertQueued).
constexpr qsizetype kKeptEntriesSearchBytes = 64 * 1024;

bool startsWithHeaderPrefix(const QByteArray& line, HeaderStyle* style)
{
    for (HeaderStyle candidate : {HeaderStyle::ProcessHeader, HeaderStyle::HostHeader}) {
        if (line.startsWith(headerPrefix(candidate))) {
            *style = candidate;
            return true;
        }
    }
    return false;
}

// The style that the oldest of these entries would have created the log with: a process entry
// reads "... DOWN", a device or camera entry "... OFF".
HeaderStyle styleOfOldest(const QByteArray& entries, HeaderStyle otherwise)
{
    const QList<QByteArray> lines = entries.split('\n');
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        const QByteArray text = line->trimmed();
        if (!text.isEmpty())
            return text.endsWith("DOWN") ? HeaderStyle::ProcessHeader : HeaderStyle::HostHeader;
    }
    return otherwise;
}

} // namespace

EventLog::EventLog(Platform& platform, QString fileName)
    : platform_(platform), fileName_(std::move(fileName)), pendingFileName_(pendingFileName(fileName_))
{
}

QString EventLog::stamp() const
{
    return platform_.dateText() + QLatin1Char(' ') + platform_.timeText();
}

QByteArray EventLog::headerLine(HeaderStyle style, const QString& stamp) const
{
    return headerPrefix(style) + stamp.toLocal8Bit();
}

int EventLog::lockWaitMs() const
{
    const bool quiet = busySince_.isValid() && !busySince_.hasExpired(kBusyQuietMs);
    return quiet ? 0 : kLockWaitMs;
}

bool EventLog::lock(LogFile& file, int waitMs)
{
    const LogFile::Lock result = file.open(waitMs);
    if (result == LogFile::Lock::Busy)
        busySince_.start();
    else
        busySince_.invalidate();
    return result == LogFile::Lock::Taken;
}

bool EventLog::CreateLogFile(HeaderStyle style)
{
    LogFile file(fileName_);
    return lock(file, lockWaitMs()) && writeHeaderOnly(file, style);
}

bool EventLog::writeHeaderOnly(LogFile& file, HeaderStyle style)
{
    return file.beginRewrite() && file.write(headerLine(style, stamp()) + kCrLf + separatorLine(style) + kCrLf) &&
           file.commit();
}

bool EventLog::WriteLogEntry(HeaderStyle style, const QString& label)
{
    // Stamped now: an entry that has to wait keeps the time its target was found down.
    const QString now = stamp();
    const QByteArray line = (now + QLatin1Char(' ') + label).toLocal8Bit();
    if (!entriesWaiting_) {
        queuedStyle_ = style;
        // Held entries go in together later; a missing log is still created as the first would have.
        creationStamp_ = holding_ ? now : QString();
        entriesWaiting_ = true;
    }
    // Once one entry had to stay in memory, later ones stay there too, so that the order holds.
    if (holding_ && queued_.isEmpty() && keep(line + kCrLf + kCrLf, lockWaitMs(), false))
        return true;
    queued_.prepend(line);
    return !holding_ && writeQueued(lockWaitMs());
}

void EventLog::holdEntries()
{
    holding_ = true;
}

bool EventLog::writeQueuedEntries()
{
    holding_ = false;
    const bool written = writeQueued(lockWaitMs());
    tellWhatWaits(written);
    if (written)
        return true;
    // The entries wait where they are kept until the log can be written: on disk, not just written.
    KeptEntriesFile kept(pendingFileName_);
    if (kept.open(false, lockWaitMs()) == KeptEntriesFile::Open::Opened)
        kept.sync();
    return false;
}

// The system's log hears once of each entry that waits after a cycle's end, and once when it went in.
void EventLog::tellWhatWaits(bool written)
{
    QByteArrayList waiting;
    if (!written) {
        waiting = queued_;
        KeptEntriesFile kept(pendingFileName_);
        bool opened = false;
        for (const QByteArray& entry : takeKeptEntries(kept, &opened)) {
            const QByteArray line = entry.trimmed();
            if (!line.isEmpty())
                waiting.append(line);
        }
    }
    waitingCount_ = int(waiting.size());
    if (events_ == nullptr)
        return;
    // Entries made in the same second for the same target have the same line, so lines are counted.
    const QString log = QFileInfo(fileName_).absoluteFilePath();
    QByteArrayList notYetSeen = announced_;
    for (const QByteArray& line : std::as_const(waiting)) {
        if (!notYetSeen.removeOne(line))
            events_->entryKeptAside(log, QString::fromLocal8Bit(line));
    }
    for (const QByteArray& line : std::as_const(notYetSeen))
        events_->keptEntryWentIn(log, QString::fromLocal8Bit(line));
    announced_ = waiting;
}

bool EventLog::writeQueuedEntriesAtEnd()
{
    holding_ = false;
    if (writeQueued(kEndLockWaitMs)) {
        tellWhatWaits(true);
        return true;
    }
    if (queued_.isEmpty()) {
        // All of them wait where they are kept; they go in at the next start.
        KeptEntriesFile kept(pendingFileName_);
        if (kept.open(false, kEndLockWaitMs) == KeptEntriesFile::Open::Opened)
            kept.sync();
        tellWhatWaits(false);
        return true;
    }
    QByteArray oldestFirst;
    for (auto entry = queued_.crbegin(); entry != queued_.crend(); ++entry)
        oldestFirst += *entry + kCrLf + kCrLf;
    if (keep(oldestFirst, kEndLockWaitMs, true)) {
        queued_.clear();
        tellWhatWaits(false);
        return true;
    }
    for (auto entry = queued_.crbegin(); entry != queued_.crend(); ++entry)
        std::fprintf(stderr, "Pylvane: this log entry could not be written or kept: %s\n", entry->constData());
    queued_.clear();
    return false;
}

bool EventLog::keep(const QByteArray& entriesOldestFirst, int waitMs, bool onDisk)
{
    KeptEntriesFile kept(pendingFileName_);
    return kept.open(true, waitMs) == KeptEntriesFile::Open::Opened && kept.append(entriesOldestFirst) &&
           (!onDisk || kept.sync());
}

// The kept entries not yet in the log, newest first and with CR LF line ends, as they go in; an
// entry is its line with the empty lines after it.
QByteArrayList EventLog::takeKeptEntries(KeptEntriesFile& kept, bool* opened)
{
    *opened = kept.open(false, kLockWaitMs) == KeptEntriesFile::Open::Opened;
    QByteArray text;
    if (!*opened || !kept.readAll(text))
        return {};
    if (kept.identity() == spentIdentity_ && text.size() >= spentSize_)
        text.remove(0, spentSize_);
    CrLfNormaliser normaliser;
    const QByteArray lines = normaliser.feed(text) + normaliser.finish();
    QByteArrayList entries;
    for (const QByteArray& line : lines.split('\n')) {
        if (line.isEmpty())
            continue; // after the last line end
        if (line == "\r" && !entries.isEmpty())
            entries.last() += line + '\n';
        else
            entries.append(line + '\n');
    }
    // An entry cut short by a kill in the middle of its write lacks the empty line that ends every
    // entry; it goes in as far as it was written, with that line, so that what follows keeps its shape.
    for (QByteArray& entry : entries) {
        if (entry != "\r\n" && !entry.endsWith("\r\n\r\n"))
            entry += "\r\n";
    }
    std::reverse(entries.begin(), entries.end());
    return entries;
}

void EventLog::discardKept(KeptEntriesFile& kept, qint64 size)
{
    if (kept.discard())
        return;
    // Neither removed nor emptied: this run remembers that these bytes are in, and passes over them.
    spentIdentity_ = kept.identity();
    spentSize_ = size;
}

bool EventLog::writeQueued(int waitMs)
{
    const bool keptThere = QFileInfo::exists(pendingFileName_) || QFileInfo(pendingFileName_).isSymLink();
    if (queued_.isEmpty() && !keptThere)
        return true;
    LogFile file(fileName_);
    if (!lock(file, waitMs))
        return false;
    // Taken while the log is locked, so that no other writer puts the same entries in as well, and
    // held until they are in, so that none is added meanwhile and then emptied away unseen.
    KeptEntriesFile kept(pendingFileName_);
    bool withKept = false;
    const QByteArrayList older = keptThere ? takeKeptEntries(kept, &withKept) : QByteArrayList();
    if (!queued_.isEmpty() || !older.isEmpty()) {
        const HeaderStyle style = styleOfOldest(older.join(), queuedStyle_);
        if (!insertQueued(file, style, older))
            return false;
    }
    queued_.clear();
    entriesWaiting_ = false;
    creationStamp_.clear();
    // Emptied only once its entries are in the log. A crash in between brings them in again at the
    // next start unless they still stand at the top of the log; twice is better than never.
    if (withKept)
        discardKept(kept, kept.size());
    return true;
}

bool EventLog::insertQueued(LogFile& file, HeaderStyle style, const QByteArrayList& olderEntries)
{
    LineReader reader(file.contents());
    const QString created = creationStamp_.isEmpty() ? stamp() : creationStamp_;
    QByteArray header1;
    QByteArray header2;
    QByteArray shortFileText; // the text of a file too short to have a header moves into the body
    if (!reader.readLine(header1)) {
        header1 = headerLine(style, created);
        header2 = separatorLine(style);
    } else if (!reader.readLine(header2)) {
        HeaderStyle found = style;
        if (startsWithHeaderPrefix(header1, &found)) {
            header2 = separatorLine(found);
        } else {
            shortFileText = header1 + kCrLf;
            header1 = headerLine(style, created);
            header2 = separatorLine(style);
        }
    }

    // The old body follows byte for byte; only its line ends become CR LF. Its start is read first:
    // the oldest kept entries, when they already stand there together, went in just before a crash
    // that kept them from being emptied away (newer ones may have been kept after it), and do not go
    // in twice.
    CrLfNormaliser normaliser;
    QByteArray bodyStart;
    QByteArray chunk;
    while (bodyStart.size() < kKeptEntriesSearchBytes && reader.readChunk(chunk))
        bodyStart += normaliser.feed(chunk);
    // A longer run of the oldest contains a shorter one, so the search stops at the first not found.
    qsizetype newOlder = olderEntries.size();
    QByteArray oldest;
    while (newOlder > 0 && bodyStart.contains(olderEntries[newOlder - 1] + oldest))
        oldest.prepend(olderEntries[--newOlder]);
    if (newOlder == 0 && queued_.isEmpty())
        return reader.ok();

    if (!file.beginRewrite())
        return false;
    QByteArray head = header1 + kCrLf + header2 + kCrLf;
    for (const QByteArray& entry : std::as_const(queued_))
        head += entry + kCrLf + kCrLf;
    for (qsizetype i = 0; i < newOlder; ++i)
        head += olderEntries[i];
    bool written = file.write(head + shortFileText + bodyStart);
    while (written && reader.readChunk(chunk))
        written = file.write(normaliser.feed(chunk));
    return written && file.write(normaliser.finish()) && reader.ok() && file.commit();
}

QString EventLog::logFilePath() const
{
    return QFileInfo(fileName_).absoluteFilePath();
}

bool EventLog::OpenLog(const std::function<void()>& failedLater)
{
    if (!platform_.fileExists(fileName_, Platform::FileMask::OrdinaryOnly)) {
        LogFile file(fileName_);
        // A file that is present but hidden, or was created meanwhile by another Pylvane, is kept;
        // an empty one, as a writer that died right after creating it leaves, gets its header.
        if (lock(file, lockWaitMs()) && file.size() == 0)
            writeHeaderOnly(file, HeaderStyle::HostHeader);
    }
    return platform_.openInTextEditor(fileName_, failedLater);
}
