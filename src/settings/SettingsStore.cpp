#include "settings/SettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QVariant>

namespace {

#ifdef Q_OS_WIN
const QString kRegistryKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Pylvane");
#endif

// The data of a stored value as text: strings as they are, numbers in decimal; anything else (a
// list, raw bytes, a hand-written @Variant of another type) is not a setting.
std::optional<QString> textOf(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float:
        return value.toString();
    default:
        return std::nullopt;
    }
}

// The key as it is spelled in the settings, matched without regard to case as the registry does.
QString findKey(const QSettings& settings, const QString& name)
{
    if (settings.contains(name))
        return name;
    const QStringList keys = settings.childKeys();
    for (const QString& key : keys) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return key;
    }
    return {};
}

bool isHexDigit(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// The text as a quoted INI value that QSettings reads back unchanged: blanks at either end, commas,
// quotes, backslashes and '=' survive because of the quotes and escapes, and non-ASCII text is UTF-8.
QByteArray quotedIniText(const QString& text)
{
    QString out;
    out.reserve(text.size() + 8);
    out += u'"';
    // QSettings takes a leading '@' as the start of a type marker and "@@" as a literal '@'.
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

// The 71 value names in the order a save writes them.
QStringList makeValueNames()
{
    QStringList names{QStringLiteral("a1")};
    const auto group = [&names](QChar letter, int count, const char* suffix) {
        for (int n = 1; n <= count; ++n)
            names << letter + QString::number(n) + QLatin1String(suffix);
    };
    group(u'c', 10, "");
    group(u'c', 10, "b");
    group(u'd', 15, "");
    group(u'd', 15, "b");
    group(u'e', 10, "");
    group(u'e', 10, "b");
    return names;
}

} // namespace

SettingsStore::SettingsStore(QString filePath) : filePath_(filePath.isEmpty() ? defaultFilePath() : std::move(filePath))
{
}

QString SettingsStore::defaultFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Pylvane/Pylvane.conf");
}

const QStringList& SettingsStore::valueNames()
{
    static const QStringList names = makeValueNames();
    return names;
}

bool SettingsStore::isOwnKey(const QString& keyPath)
{
    QString path = keyPath;
    if (path.startsWith(QStringLiteral("HKCU\\"), Qt::CaseInsensitive))
        path = QStringLiteral("HKEY_CURRENT_USER\\") + path.mid(5);
    return path.compare(kKeyPath, Qt::CaseInsensitive) == 0;
}

bool SettingsStore::isTickText(const QString& text)
{
    const QString number = text.trimmed();
    bool ok = false;
    double value = QLocale::system().toDouble(number, &ok);
    if (!ok)
        value = QLocale::c().toDouble(number, &ok);
    return ok && value == 1.0;
}

std::optional<QString> SettingsStore::ReadSetting(const QString& keyPath, const QString& valueName) const
{
    if (!isOwnKey(keyPath) || valueName.isEmpty())
        return std::nullopt;
#ifdef Q_OS_WIN
    const QSettings settings(kRegistryKey, QSettings::NativeFormat);
#else
    // A damaged file is not trusted for any value, even where some lines still parse.
    const QSettings settings(filePath_, QSettings::IniFormat);
#endif
    if (settings.status() != QSettings::NoError)
        return std::nullopt;
    const QString key = findKey(settings, valueName);
    if (key.isEmpty())
        return std::nullopt;
    return textOf(settings.value(key));
}

bool SettingsStore::WriteSetting(const QString& valueName, const QString& text)
{
    return WriteSettings({{valueName, text}});
}

#ifdef Q_OS_WIN

bool SettingsStore::WriteSettings(const QList<Value>& values)
{
    // The registry replaces each value on its own; a refused write ends the save there.
    QSettings settings(kRegistryKey, QSettings::NativeFormat);
    for (const Value& value : values) {
        if (!valueNames().contains(value.first, Qt::CaseInsensitive))
            return false;
        settings.setValue(value.first, value.second);
        settings.sync();
        if (settings.status() != QSettings::NoError)
            return false;
    }
    return true;
}

#else

bool SettingsStore::WriteSettings(const QList<Value>& values)
{
    QStringList texts(valueNames().size());
    QList<bool> present(valueNames().size(), false);
    for (const Value& value : values) {
        const qsizetype index = valueNames().indexOf(value.first);
        if (index < 0)
            return false;
        texts[index] = value.second;
        present[index] = true;
    }

    // Values that are not being written keep the text they hold now.
    const QSettings current(filePath_, QSettings::IniFormat);
    if (current.status() == QSettings::NoError) {
        for (qsizetype i = 0; i < valueNames().size(); ++i) {
            if (present[i])
                continue;
            const QString key = findKey(current, valueNames()[i]);
            if (key.isEmpty())
                continue;
            if (const std::optional<QString> text = textOf(current.value(key))) {
                texts[i] = *text;
                present[i] = true;
            }
        }
    }

    QByteArray ini = "[General]\n";
    for (qsizetype i = 0; i < valueNames().size(); ++i) {
        if (present[i])
            ini += valueNames()[i].toLatin1() + '=' + quotedIniText(texts[i]) + '\n';
    }

    // The folder is private to the user; an existing one is left as its owner made it.
    const QString folder = QFileInfo(filePath_).absolutePath();
    if (!QFileInfo(folder).isDir()) {
        const QString parent = QFileInfo(folder).absolutePath();
        if (!QDir().mkpath(parent) ||
            !QDir().mkdir(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner))
            return false;
    }

    // QSaveFile writes a temporary file and renames it over the old one only once all of it is on
    // disk, so a full disk or a refused write leaves the earlier file exactly as it was. Unbuffered,
    // because a short write while QIODevice flushes its buffer does not stop the commit: checked
    // here, it does.
    QSaveFile file(filePath_);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return false;
    if (file.write(ini) != ini.size() || file.size() != ini.size())
        return false;
    return file.commit();
}

#endif
