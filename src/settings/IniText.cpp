#include "settings/IniText.h"

#include "settings/IniValue.h"

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArrayView trimmed(QByteArrayView text)
{
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

bool sameName(QByteArrayView key, const QString& name)
{
    return QLatin1String(key).compare(name, Qt::CaseInsensitive) == 0;
}

} // namespace

IniText::IniText(QByteArray bytes) : bytes_(std::move(bytes))
{
    qsizetype pos = bytes_.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    bool topLevel = true;
    bool endSeen = false;
    while (pos < bytes_.size()) {
        Line line;
        line.start = pos;
        qsizetype end = pos;
        while (end < bytes_.size() && bytes_[end] != '\n' && bytes_[end] != '\r')
            ++end;
        line.length = end - pos;
        if (end < bytes_.size())
            line.endLength = QByteArrayView(bytes_).sliced(end).startsWith("\r\n") ? 2 : 1;
        if (!endSeen && line.endLength > 0) {
            lineEnd_ = bytes_.sliced(end, line.endLength);
            endSeen = true;
        }
        parseLine(line, topLevel);
        clean_ = clean_ && !line.damaged;
        lines_.append(line);
        pos = end + line.endLength;
    }
}

void IniText::parseLine(Line& line, bool& topLevel)
{
    const QByteArrayView whole = QByteArrayView(bytes_).sliced(line.start, line.length);
    const QByteArrayView text = trimmed(whole);
    const qsizetype index = lines_.size();
    if (!whole.isValidUtf8()) {
        line.damaged = true;
        return;
    }
    if (text.isEmpty() || text.front() == ';' || text.front() == '#')
        return;
    if (text.front() == '[') {
        // A header without its ']' leaves the lines below it where they were.
        const qsizetype close = text.indexOf(']');
        if (close < 0) {
            line.damaged = true;
            return;
        }
        if (firstSection_ < 0)
            firstSection_ = index;
        topLevel = sameName(trimmed(text.sliced(1, close - 1)), QStringLiteral("general"));
        if (topLevel)
            lastTopLevel_ = index;
        return;
    }

    // '=' and ';' count outside quotes only; a backslash takes the character after it literally.
    qsizetype equals = -1;
    qsizetype end = text.size();
    bool inQuotes = false;
    bool danglingEscape = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\') {
            danglingEscape = ++i >= text.size();
        } else if (c == '"') {
            inQuotes = !inQuotes;
        } else if (!inQuotes && c == '=' && equals < 0) {
            equals = i;
        } else if (!inQuotes && c == ';') {
            end = i;
            break;
        }
    }
    const QByteArrayView key = equals < 0 ? QByteArrayView() : trimmed(text.first(equals));
    line.damaged = key.isEmpty() || inQuotes || danglingEscape;
    if (key.isEmpty())
        return;
    line.key = key.toByteArray();
    // A '/' or '\' in a key names a key inside a group.
    line.topLevelKey = topLevel && !line.key.contains('/') && !line.key.contains('\\');
    if (line.topLevelKey)
        lastTopLevel_ = index;
    const qsizetype offset = text.data() - bytes_.constData();
    line.valueStart = offset + equals + 1;
    line.valueEnd = offset + end;
}

qsizetype IniText::lineOf(const QString& name) const
{
    qsizetype found = -1;
    for (qsizetype i = lines_.size() - 1; i >= 0; --i) {
        const Line& line = lines_[i];
        if (!line.topLevelKey || !sameName(line.key, name))
            continue;
        if (QLatin1String(line.key) == name)
            return i;
        if (found < 0)
            found = i;
    }
    return found;
}

std::optional<QVariant> IniText::value(const QString& name) const
{
    const qsizetype index = lineOf(name);
    if (index < 0 || lines_[index].damaged)
        return std::nullopt;
    const Line& line = lines_[index];
    return IniValue::decode(QByteArrayView(bytes_).sliced(line.valueStart, line.valueEnd - line.valueStart));
}

QByteArray IniText::withTexts(const QList<std::pair<QString, QString>>& values) const
{
    // A name given twice takes its last text.
    const auto indexOfName = [&values](QByteArrayView key) {
        for (qsizetype i = values.size() - 1; i >= 0; --i) {
            if (sameName(key, values[i].first))
                return i;
        }
        return qsizetype(-1);
    };
    const auto entry = [&values](qsizetype i, QByteArrayView end) {
        return values[i].first.toUtf8() + '=' + IniValue::quoted(values[i].second) + end.toByteArray();
    };
    const qsizetype head = lines_.isEmpty() ? bytes_.size() : lines_.first().start; // a byte order mark
    const auto endLine = [this, head](QByteArray& out) {
        if (out.size() > head && !out.endsWith('\n') && !out.endsWith('\r'))
            out += lineEnd_;
    };

    QList<bool> written(values.size(), false);
    for (const Line& line : lines_) {
        if (const qsizetype k = line.topLevelKey ? indexOfName(line.key) : -1; k >= 0)
            written[k] = true;
    }
    QByteArray added;
    for (qsizetype k = 0; k < values.size(); ++k) {
        if (!written[k] && indexOfName(values[k].first.toLatin1()) == k)
            added += entry(k, lineEnd_);
    }
    if (lastTopLevel_ < 0 && !added.isEmpty())
        added.prepend("[General]" + lineEnd_);

    written.fill(false);
    QByteArray out = bytes_.first(head);
    out.reserve(bytes_.size() + added.size());
    // Once lines are dropped, a CR that ends one line may come right before the LF of a blank line
    // that was further down, and the two would read as one CRLF: the blank line would be lost.
    // Either the line written here takes the LF too, or, when the CR is a kept line's, an empty
    // line stands where the dropped ones were, so that both kept lines keep their bytes.
    bool endsInWrittenLine = false;
    const auto keep = [&out, &endsInWrittenLine](QByteArrayView kept) {
        if (kept.startsWith('\n') && out.endsWith('\r'))
            out += endsInWrittenLine ? "\n" : "\r\n";
        out += kept;
        endsInWrittenLine = false;
    };
    for (qsizetype i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        if (i == firstSection_ && lastTopLevel_ < 0) {
            out += added;
            endsInWrittenLine = !added.isEmpty();
        }
        const QByteArrayView end = QByteArrayView(bytes_).sliced(line.start + line.length, line.endLength);
        const qsizetype k = line.topLevelKey ? indexOfName(line.key) : -1;
        if (k < 0) {
            keep(QByteArrayView(bytes_).sliced(line.start, line.length + line.endLength));
        } else if (!written[k]) {
            out += entry(k, end.isEmpty() ? QByteArrayView(lineEnd_) : end);
            endsInWrittenLine = true;
        }
        if (k >= 0)
            written[k] = true;
        if (i == lastTopLevel_ && !added.isEmpty()) {
            endLine(out);
            out += added;
            endsInWrittenLine = true;
        }
    }
    if (lastTopLevel_ < 0 && firstSection_ < 0) {
        endLine(out);
        out += added;
    }
    return out;
}
