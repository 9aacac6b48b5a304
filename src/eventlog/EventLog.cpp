#include "eventlog/EventLog.h"

#include "eventlog/CrLfNormaliser.h"
#include "eventlog/LineReader.h"
#include "eventlog/LogFile.h"
#include "platform/Platform.h"

#include <utility>

namespace {

const QByteArray kCrLf = QByteArrayLiteral("\r\n");

// Ample for another Pylvane to rewrite a large log. A lock held longer is held by a writer that is
// stuck; for a while after such a wait the lock is only tried, so that a cycle with many targets
// down is not held up once per target.
constexpr int kLockWaitMs = 2'000;
constexpr qint64 kBusyQuietMs = 60'000;

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

} // namespace

EventLog::EventLog(Platform& platform, QString fileName) : platform_(platform), fileName_(std::move(fileName)) {}

QByteArray EventLog::stampedLine(const QByteArray& prefix, const QString& suffix) const
{
    return prefix + (platform_.dateText() + QLatin1Char(' ') + platform_.timeText() + suffix).toLocal8Bit();
}

QByteArray EventLog::headerLine(HeaderStyle style) const
{
    return stampedLine(headerPrefix(style), QString());
}

bool EventLog::lock(LogFile& file)
{
    const bool quiet = busySince_.isValid() && !busySince_.hasExpired(kBusyQuietMs);
    const LogFile::Lock result = file.open(quiet ? 0 : kLockWaitMs);
    if (result == LogFile::Lock::Busy)
        busySince_.start();
    else
        busySince_.invalidate();
    return result == LogFile::Lock::Taken;
}

bool EventLog::CreateLogFile(HeaderStyle style)
{
    LogFile file(fileName_);
    return lock(file) && writeHeaderOnly(file, style);
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
    if (queued_.isEmpty())
        return true;
    LogFile file(fileName_);
    if (!lock(file) || !insertQueued(file, queuedStyle_))
        return false;
    queued_.clear();
    return true;
}

bool EventLog::insertQueued(LogFile& file, HeaderStyle style)
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
        if (lock(file) && file.size() == 0)
            writeHeaderOnly(file, HeaderStyle::HostHeader);
    }
    return platform_.openInTextEditor(fileName_);
}
