#include "eventlog/EventLog.h"

#include "eventlog/CrLfNormaliser.h"
#include "eventlog/LineReader.h"
#include "eventlog/LogFile.h"
#include "platform/Platform.h"

#include <QFileInfo>

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

QByteArray EventLog::stampedLine(const QByteArray& prefix, const QString& suffix) const
{
    return prefix + (platform_.dateText() + QLatin1Char(' ') + platform_.timeText() + suffix).toLocal8Bit();
}

QByteArray EventLog::headerLine(HeaderStyle style) const
{
    return stampedLine(headerPrefix(style), QString());
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
    return file.beginRewrite() && file.write(headerLine(style) + kCrLf + separatorLine(style) + kCrLf) && file.commit();
}

bool EventLog::WriteLogEntry(HeaderStyle style, const QString& label)
{
    // Stamped now: an entry that has to wait keeps the time its target was found down.
    if (queued_.isEmpty())
        queuedStyle_ = style;
    queued_.prepend(stampedLine(QByteArray(), QLatin1Char(' ') + label));
    return writeQueuedEntries();
}

bool EventLog::writeQueuedEntries()
{
    return writeQueued(lockWaitMs());
}

bool EventLog::writeQueuedEntriesAtEnd()
{
    return queued_.isEmpty() || writeQueued(kEndLockWaitMs) || keepQueuedForLater();
}

bool EventLog::writeQueued(int waitMs)
{
    const bool pendingThere = QFileInfo::exists(pendingFileName_);
    if (queued_.isEmpty() && !pendingThere)
        return true;
    LogFile file(fileName_);
    if (!lock(file, waitMs))
        return false;
    // Taken while the log is locked, so that no other writer puts the same entries in as well.
    LogFile pending(pendingFileName_);
    const bool withPending = pendingThere && pending.open(kLockWaitMs) == LogFile::Lock::Taken;
    const QByteArray older = withPending ? pending.contents().readAll() : QByteArray();
    if (!queued_.isEmpty() || !older.isEmpty()) {
        const HeaderStyle style = styleOfOldest(older, queuedStyle_);
        if (!insertQueued(file, style, older))
            return false;
        queued_.clear();
    }
    // Once the entries are in the log; a failure here can only bring them in twice, never lose them.
    if (withPending)
        pending.remove();
    return queued_.isEmpty();
}

// The pending file is written like the log, locked and replaced whole; this run's entries are
// newer than what an earlier run left there.
bool EventLog::keepQueuedForLater()
{
    LogFile pending(pendingFileName_);
    if (pending.open(kLockWaitMs) != LogFile::Lock::Taken)
        return false;
    QByteArray text;
    for (const QByteArray& entry : std::as_const(queued_))
        text += entry + kCrLf + kCrLf;
    text += pending.contents().readAll();
    if (!pending.beginRewrite() || !pending.write(text) || !pending.commit())
        return false;
    queued_.clear();
    return true;
}

bool EventLog::insertQueued(LogFile& file, HeaderStyle style, const QByteArray& olderEntries)
{
    LineReader reader(file.contents());
    QByteArray header1;
    QByteArray header2;
    QByteArray shortFileText; // the text of a file too short to have a header moves into the body
    if (!reader.readLine(header1)) {
        header1 = headerLine(style);
        header2 = separatorLine(style);
    } else if (!reader.readLine(header2)) {
        HeaderStyle found = style;
        if (startsWithHeaderPrefix(header1, &found)) {
            header2 = separatorLine(found);
        } else {
            shortFileText = header1 + kCrLf;
            header1 = headerLine(style);
            header2 = separatorLine(style);
        }
    }

    if (!file.beginRewrite())
        return false;
    QByteArray head = header1 + kCrLf + header2 + kCrLf;
    for (const QByteArray& entry : std::as_const(queued_))
        head += entry + kCrLf + kCrLf;
    CrLfNormaliser olderLines;
    head += olderLines.feed(olderEntries) + olderLines.finish();
    bool written = file.write(head + shortFileText);

    // The old body follows byte for byte; only its line ends become CR LF.
    CrLfNormaliser normaliser;
    QByteArray chunk;
    while (written && reader.readChunk(chunk))
        written = file.write(normaliser.feed(chunk));
    return written && file.write(normaliser.finish()) && reader.ok() && file.commit();
}

bool EventLog::OpenLog()
{
    if (!platform_.fileExists(fileName_, Platform::FileMask::OrdinaryOnly)) {
        LogFile file(fileName_);
        // A file that is present but hidden, or was created meanwhile by another Pylvane, is kept;
        // an empty one, as a writer that died right after creating it leaves, gets its header.
        if (lock(file, lockWaitMs()) && file.size() == 0)
            writeHeaderOnly(file, HeaderStyle::HostHeader);
    }
    return platform_.openInTextEditor(fileName_);
}
