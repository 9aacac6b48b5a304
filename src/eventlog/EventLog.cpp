#include "eventlog/EventLog.h"

#include "eventlog/CrLfNormaliser.h"
#include "eventlog/LineReader.h"
#include "platform/Platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>

namespace {

const QByteArray kCrLf = QByteArrayLiteral("\r\n");

// Long enough for another Pylvane to finish rewriting a large log; a lock left by a process that
// died is recognised as stale and taken over at once.
constexpr int kLockWaitMs = 30'000;

QString lockPathFor(const QString& fileName)
{
    const QFileInfo info(fileName);
    return info.dir().filePath(QLatin1Char('.') + info.fileName() + QStringLiteral(".lock"));
}

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

// Unbuffered writes report a full disk or a size limit at once; a short write is a failure too,
// since committing after it would replace the log with a truncated copy.
bool writeAll(QSaveFile& file, const QByteArray& bytes)
{
    return bytes.isEmpty() || file.write(bytes) == bytes.size();
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

bool EventLog::CreateLogFile(HeaderStyle style)
{
    QLockFile lock(lockPathFor(fileName_));
    if (!lock.tryLock(kLockWaitMs))
        return false;
    return createUnlocked(style);
}

bool EventLog::createUnlocked(HeaderStyle style)
{
    QSaveFile file(fileName_);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    return writeAll(file, headerLine(style) + kCrLf + separatorLine(style) + kCrLf) && file.commit();
}

bool EventLog::WriteLogEntry(HeaderStyle style, const QString& label)
{
    QLockFile lock(lockPathFor(fileName_));
    if (!lock.tryLock(kLockWaitMs))
        return false;
    if (!platform_.fileExists(fileName_, Platform::FileMask::IncludeHidden) && !createUnlocked(style))
        return false;
    return insertUnlocked(style, label);
}

bool EventLog::insertUnlocked(HeaderStyle style, const QString& label)
{
    QFile in(fileName_);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    LineReader reader(in);
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

    QSaveFile out(fileName_);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray entry = stampedLine(QByteArray(), QLatin1Char(' ') + label);
    bool written = writeAll(out, header1 + kCrLf + header2 + kCrLf + entry + kCrLf + kCrLf + shortFileText);

    // The old body follows byte for byte; only its line ends become CR LF.
    CrLfNormaliser normaliser;
    QByteArray chunk;
    while (written && reader.readChunk(chunk))
        written = writeAll(out, normaliser.feed(chunk));
    written = written && writeAll(out, normaliser.finish()) && reader.ok();
    if (!written) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

bool EventLog::OpenLog()
{
    if (!platform_.fileExists(fileName_, Platform::FileMask::OrdinaryOnly)) {
        QLockFile lock(lockPathFor(fileName_));
        // A file that is present but hidden, or was created meanwhile by another Pylvane, is kept.
        if (lock.tryLock(kLockWaitMs) && !platform_.fileExists(fileName_, Platform::FileMask::IncludeHidden))
            createUnlocked(HeaderStyle::HostHeader);
    }
    return platform_.openInTextEditor(fileName_);
}
