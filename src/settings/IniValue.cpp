#include "settings/IniValue.h"

#include <QStringDecoder>
#include <QStringList>

#include <bit>

namespace {

bool isHexDigit(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

int digitValue(char c, int base)
{
    int value = base;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    return value < base ? value : -1;
}

// The character a one-letter escape stands for, or 0 for a letter that has none.
char plainEscape(char letter)
{
    switch (letter) {
    case 'a':
        return '\a';
    case 'b':
        return '\b';
    case 'f':
        return '\f';
    case 'n':
        return '\n';
    case 'r':
        return '\r';
    case 't':
        return '\t';
    case 'v':
        return '\v';
    case '"':
    case '?':
    case '\'':
    case '\\':
        return letter;
    default:
        return 0;
    }
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Blanks at the end of bare text are not part of it, but escaped ones (before `limit`) are.
void chopBlanks(QString& text, qsizetype limit)
{
    qsizetype end = text.size();
    while (end > limit && (text[end - 1] == u' ' || text[end - 1] == u'\t'))
        --end;
    text.truncate(end);
}

// UTF-8 text as it stands: QString::fromUtf8 drops a U+FEFF at the start of what it is given,
// and a value is decoded a piece at a time.
QString utf8Text(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decoder(bytes);
}

// Big-endian fields taken off the front of serialized data; a field beyond the end fails the read.
class BigEndianReader {
public:
    explicit BigEndianReader(QByteArrayView data) : data_(data) {}
    bool failed() const { return failed_; }

    quint64 take(qsizetype size)
    {
        if (failed_ || data_.size() < size) {
            failed_ = true;
            return 0;
        }
        quint64 value = 0;
        for (qsizetype i = 0; i < size; ++i)
            value = value << 8 | quint8(data_[i]);
        data_ = data_.sliced(size);
        return value;
    }

    QString takeUtf16(qsizetype bytes)
    {
        if (bytes % 2 != 0 || bytes > data_.size()) {
            failed_ = true;
            return {};
        }
        QString text(bytes / 2, Qt::Uninitialized);
        for (QChar& c : text)
            c = QChar(char16_t(take(2)));
        return text;
    }

private:
    QByteArrayView data_;
    bool failed_ = false;
};

// A number or a string that QSettings serialized as a QVariant in data stream version 4.0; other
// types and damaged data give an invalid variant. This is read here rather than by QDataStream,
// which follows nested lists without a depth limit and reserves whatever size the data claims.
QVariant serializedVariant(QByteArrayView data)
{
    BigEndianReader in(data);
    quint32 type = quint32(in.take(4));
    // Version 4.0 data numbers Long, Short, Float and their like from 128, as Qt 4 did; Qt 6 numbers
    // them from 31.
    if (type >= 128)
        type -= 97;
    QVariant value;
    switch (type) {
    case QMetaType::Int:
        value = qint32(in.take(4));
        break;
    case QMetaType::UInt:
        value = quint32(in.take(4));
        break;
    case QMetaType::Short:
        value = QVariant::fromValue(qint16(in.take(2)));
        break;
    case QMetaType::UShort:
        value = QVariant::fromValue(quint16(in.take(2)));
        break;
    // Long and ULong are written 64 bits wide whatever their size where they were written.
    case QMetaType::Long:
        value = QVariant::fromValue(long(qint64(in.take(8))));
        break;
    case QMetaType::ULong:
        value = QVariant::fromValue(static_cast<unsigned long>(in.take(8)));
        break;
    case QMetaType::LongLong:
        value = qint64(in.take(8));
        break;
    case QMetaType::ULongLong:
        value = quint64(in.take(8));
        break;
    case QMetaType::Float:
        value = std::bit_cast<float>(quint32(in.take(4)));
        break;
    case QMetaType::Double:
        value = std::bit_cast<double>(in.take(8));
        break;
    case QMetaType::QString:
        if (const quint32 bytes = quint32(in.take(4)); bytes == 0xFFFFFFFF)
            value = QString();
        else
            value = in.takeUtf16(bytes);
        break;
    default:
        return {};
    }
    return in.failed() ? QVariant() : value;
}

} // namespace

QByteArray IniValue::quoted(const QString& text)
{
    QString out;
    out.reserve(text.size() + 8);
    out += u'"';
    // A leading '@' would start a type marker; "@@" stands for a literal '@'.
    if (text.startsWith(u'@'))
        out += u'@';
    // A hex escape runs on over every hex digit that follows, so such digits are escaped as well.
    bool escapeHexDigits = false;
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (escapeHexDigits && isHexDigit(c)) {
            out += QStringLiteral("\\x") + QString::number(c, 16);
            continue;
        }
        escapeHexDigits = false;
        switch (c) {
        case u'"':
            out += QStringLiteral("\\\"");
            break;
        case u'\\':
            out += QStringLiteral("\\\\");
            break;
        case u'\t':
            out += QStringLiteral("\\t");
            break;
        case u'\n':
            out += QStringLiteral("\\n");
            break;
        case u'\r':
            out += QStringLiteral("\\r");
            break;
        default:
            if (c < 0x20 || c == 0x7f) {
                out += QStringLiteral("\\x") + QString::number(c, 16);
                escapeHexDigits = true;
            } else {
                out += ch;
            }
        }
    }
    out += u'"';
    return out.toUtf8();
}

QVariant IniValue::decode(QByteArrayView raw)
{
    QStringList items;
    QString current;
    bool isList = false;
    bool quotedPart = false;
    bool inQuotes = false;
    qsizetype chopLimit = 0;
    qsizetype i = 0;
    const qsizetype n = raw.size();
    const auto skipBlanks = [&] {
        while (i < n && isBlank(raw[i]))
            ++i;
        chopLimit = current.size();
    };

    skipBlanks();
    while (i < n) {
        const char c = raw[i];
        if (c == '\\' && i + 1 < n) {
            const char letter = raw[i + 1];
            i += 2;
            if (const char plain = plainEscape(letter)) {
                current += QLatin1Char(plain);
            } else if (letter == 'x' || digitValue(letter, 8) >= 0) {
                // Numeric escapes take every digit that follows; "\x" without one adds nothing.
                const int base = letter == 'x' ? 16 : 8;
                char32_t code = letter == 'x' ? 0 : char32_t(letter - '0');
                bool any = letter != 'x';
                for (int digit = 0; i < n && (digit = digitValue(raw[i], base)) >= 0; ++i) {
                    code = code > 0x10FFFF ? code : code * base + char32_t(digit);
                    any = true;
                }
                if (any && code <= 0xFFFF)
                    current += QChar(char16_t(code));
                else if (any)
                    current += code <= 0x10FFFF ? QString::fromUcs4(&code, 1) : QString(QChar::ReplacementCharacter);
            }
            // Any other escaped character is dropped.
            chopLimit = current.size();
        } else if (c == '"') {
            ++i;
            quotedPart = true;
            inQuotes = !inQuotes;
            if (!inQuotes)
                skipBlanks();
        } else if (c == ',' && !inQuotes) {
            if (!quotedPart)
                chopBlanks(current, chopLimit);
            isList = true;
            items << current;
            current.clear();
            quotedPart = false;
            ++i;
            skipBlanks();
        } else {
            qsizetype j = i + 1;
            while (j < n && raw[j] != '\\' && raw[j] != '"' && raw[j] != ',')
                ++j;
            current += utf8Text(raw.sliced(i, j - i));
            i = j;
        }
    }
    if (!quotedPart)
        chopBlanks(current, chopLimit);
    if (isList)
        return items << current;
    return typed(current);
}

// Text that stands for another type: "@ByteArray(...)", "@Variant(...)" (a serialized value),
// "@Invalid()" and the like; "@@" stands for a literal '@'.
QVariant IniValue::typed(const QString& text)
{
    if (!text.startsWith(u'@'))
        return text;
    if (text.endsWith(u')')) {
        const auto inner = [&text](qsizetype prefix) { return QStringView(text).sliced(prefix).chopped(1); };
        if (text.startsWith(QLatin1String("@ByteArray(")))
            return inner(11).toLatin1();
        if (text.startsWith(QLatin1String("@String(")))
            return inner(8).toString();
        if (text.startsWith(QLatin1String("@Variant(")))
            return serializedVariant(inner(9).toLatin1());
        for (const char* marker : {"@DateTime(", "@Rect(", "@Size(", "@Point(", "@Invalid("}) {
            if (text.startsWith(QLatin1String(marker)))
                return QVariant();
        }
    }
    if (text.startsWith(QLatin1String("@@")))
        return text.mid(1);
    return text;
}
