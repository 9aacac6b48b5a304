#pragma once

#include "support/FileBytes.h"

#include <QByteArray>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <gtest/gtest.h>

inline const QByteArray kHeader = "Pylvane Log File , Created 01.12.2026 09:00:00\r\n" + QByteArray(79, '=') + "\r\n";

// A body of old entries big enough that each rewrite takes a while.
inline QByteArray oldBody(int entries)
{
    QByteArray body;
    for (int i = 0; i < entries; ++i)
        body += QByteArray("30.11.2026 23:59:59  - Cam") + QByteArray::number(i % 10 + 1) + " OFF   \r\n\r\n";
    return body;
}

// The labels of the new entries in a log made of kHeader, new entries, then exactly `body`;
// fails the test when the file has any other shape. With `cutShort`, an entry line that is only the
// start of one (as a kill in the middle of its write leaves it) is put there rather than failing.
inline QStringList newEntries(const QByteArray& log, const QByteArray& body, QStringList* cutShort = nullptr)
{
    static const QRegularExpression entryLine(QStringLiteral("^.+ \\d\\d:\\d\\d:\\d\\d  - (\\w+) OFF   $"));
    static const QRegularExpression entryStart(QStringLiteral("^\\S+ \\d\\d:\\d\\d:\\d\\d  - \\w+ OFF   $"));
    QStringList labels;
    EXPECT_TRUE(log.startsWith(kHeader));
    EXPECT_TRUE(log.endsWith(body)) << "old body damaged";
    const QByteArray middle = log.mid(kHeader.size(), log.size() - kHeader.size() - body.size());
    const QList<QByteArray> parts = middle.split('\n');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString line = QString::fromLatin1(parts[i]).chopped(1);
        const auto match = entryLine.match(line);
        EXPECT_EQ(parts[i + 1], "\r");
        if (!match.hasMatch() && cutShort != nullptr &&
            entryStart.match(line, 0, QRegularExpression::PartialPreferCompleteMatch).hasPartialMatch()) {
            *cutShort << line;
            continue;
        }
        EXPECT_TRUE(match.hasMatch()) << parts[i].constData();
        labels << match.captured(1);
    }
    EXPECT_EQ(parts.last(), "");
    return labels;
}

// The files in `folder`, but for the lock file that writers share and that is never deleted.
inline QStringList filesIn(const QString& folder)
{
    QStringList files = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    files.removeAll(QStringLiteral(".PylvaneLog.txt.lock"));
    return files;
}

// Runs the log tool on `path` in its line-by-line mode, one entry per word, behind `prefix` (a
// command that runs it as another user, say), and returns its answers: "ok" or "queued" per word.
inline QStringList insertWords(const QString& path, const QStringList& words, const QStringList& prefix = {})
{
    QProcess tool;
    const QStringList command = prefix + QStringList{QStringLiteral(PYLVANE_LOGTOOL), path, QStringLiteral("-")};
    tool.start(command.first(), command.mid(1));
    tool.write(words.join(QLatin1Char('\n')).toLatin1() + '\n');
    tool.closeWriteChannel();
    EXPECT_TRUE(tool.waitForFinished(30000));
    EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().constData();
    QStringList answers =
        QString::fromLatin1(tool.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(answers.value(0), "ready");
    return answers.mid(1);
}
