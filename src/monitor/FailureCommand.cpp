#include "monitor/FailureCommand.h"

#include <utility>

namespace {

// The bytes `c` and the character after it take in UTF-8, and how many characters they are. A lone surrogate is
// written as U+FFFD.
std::pair<qsizetype, qsizetype> utf8Bytes(const QString& text, qsizetype i)
{
    const char16_t c = text.at(i).unicode();
    if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text.at(i + 1).unicode()))
        return {4, 2};
    return {c < 0x80 ? 1 : c < 0x800 ? 2 : 3, 1};
}

qsizetype utf8Size(const QString& text)
{
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < text.size();) {
        const auto [size, chars] = utf8Bytes(text, i);
        bytes += size;
        i += chars;
    }
    return bytes;
}

// `line` within `limit` bytes, cut between whole characters and marked "..." where it was cut.
QString cut(const QString& line, qsizetype limit)
{
    if (utf8Size(line) <= limit)
        return line;
    const QLatin1String mark("...");
    qsizetype bytes = 0;
    qsizetype i = 0;
    while (i < line.size()) {
        const auto [size, chars] = utf8Bytes(line, i);
        if (bytes + size > limit - mark.size())
            break;
        bytes += size;
        i += chars;
    }
    return line.left(i) + mark;
}

} // namespace

QString FailureCommand::commandFile(const QString& text)
{
    if (text.size() > 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"')) &&
        text.count(QLatin1Char('"')) == 2)
        return text.mid(1, text.size() - 2);
    return text;
}

QString FailureCommand::downList(const QStringList& down)
{
    QStringList lines;
    QList<qsizetype> ends; // the list's size in bytes up to and with each line
    for (const QString& target : down) {
        lines << cut(target, kLineBytes);
        ends << (ends.isEmpty() ? 0 : ends.last() + 1) + utf8Size(lines.last());
    }
    if (ends.isEmpty() || ends.last() <= kListBytes)
        return lines.join(QLatin1Char('\n'));
    qsizetype shown = lines.size() - 1;
    const auto more = [&] { return QStringLiteral("and %1 more").arg(lines.size() - shown); };
    while (shown > 0 && ends.at(shown - 1) + 1 + more().size() > kListBytes)
        --shown;
    return (lines.mid(0, shown) << more()).join(QLatin1Char('\n'));
}

FailureCommand::Outcome FailureCommand::start(Platform& platform, const QString& commandText, const QStringList& down,
                                              const QString& logPath, const QDateTime& ended)
{
    // The whole text is one program file, started directly with no arguments and never through a shell.
    Outcome outcome;
    outcome.command = commandFile(commandText);
    if (outcome.command.isEmpty())
        return outcome;
    if (!platform.fileExists(outcome.command, Platform::FileMask::OrdinaryOnly)) {
        outcome.failure = QStringLiteral("no such file");
        return outcome;
    }
    // The program is told what is down, as service monitors tell the programs they start.
    const Platform::Environment environment{
        {QStringLiteral("PYLVANE_DOWN_COUNT"), QString::number(down.size())},
        {QStringLiteral("PYLVANE_DOWN"), downList(down)},
        {QStringLiteral("PYLVANE_LOG"), logPath},
        {QStringLiteral("PYLVANE_CYCLE_END"), ended.toOffsetFromUtc(ended.offsetFromUtc()).toString(Qt::ISODate)},
    };
    outcome.started = platform.startProgram(outcome.command, environment);
    if (!outcome.started)
        outcome.failure = QStringLiteral("the file could not be started");
    return outcome;
}
