#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QVariant>

// One value of an INI line in the syntax QSettings writes and reads: quoted or bare text with
// backslash escapes, bare commas making a list, and '@' type markers.
class IniValue {
public:
    // The text as a quoted value that decodes back to exactly this text.
    static QByteArray quoted(const QString& text);

    // The data of the bytes after '=' (without the line's end or comment): a string, a string
    // list, raw bytes, a number or string from a serialized variant, or an invalid variant. The
    // bytes must be whole: every quote closed, no backslash at the end, UTF-8 text.
    static QVariant decode(QByteArrayView raw);

private:
    static QVariant typed(const QString& text);
};
