#include "settings/SettingsStore.h"

#include "settings/IniText.h"
#include "settings/SettingsFile.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSettings>
#include <QStandardPaths>
#include <QVariant>

namespace {

#ifdef Q_OS_WIN
const QString kRegistryKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Pylvane");

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
    return readText(valueName);
}

bool SettingsStore::WriteSetting(const QString& valueName, const QString& text)
{
    return WriteSettings({{valueName, text}});
}

#ifdef Q_OS_WIN

std::optional<QString> SettingsStore::readText(const QString& valueName) const
{
    const QSettings settings(kRegistryKey, QSettings::NativeFormat);
    if (settings.status() != QSettings::NoError)
        return std::nullopt;
    const QString key = findKey(settings, valueName);
    if (key.isEmpty())
        return std::nullopt;
    return textOf(settings.value(key));
}

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

std::optional<QString> SettingsStore::readText(const QString& valueName) const
{
    const SettingsFile::Contents file = SettingsFile::read(filePath_);
    if (file.state != SettingsFile::State::Read)
        return std::nullopt;
    const std::optional<QVariant> value = IniText(file.bytes).value(valueName);
    return value ? textOf(*value) : std::nullopt;
}

bool SettingsStore::WriteSettings(const QList<Value>& values)
{
    for (const Value& value : values) {
        if (!valueNames().contains(value.first))
            return false;
    }

    // Everything in the file but the values written keeps its bytes, so the file must be read
    // first; one that cannot be read is not replaced. A file with lines that made no sense is
    // kept as a backup, since what its author meant by them may be lost otherwise.
    const SettingsFile::Contents current = SettingsFile::read(filePath_);
    if (current.state == SettingsFile::State::Refused)
        return false;
    const IniText text(current.bytes);
    const QByteArray ini = text.withTexts(values);
    const std::optional<QByteArray> backup = text.isClean() ? std::nullopt : std::optional(current.bytes);

    // The folder is private to the user; an existing one is left as its owner made it.
    const QString folder = QFileInfo(filePath_).absolutePath();
    if (!QFileInfo(folder).isDir()) {
        const QString parent = QFileInfo(folder).absolutePath();
        if (!QDir().mkpath(parent) ||
            !QDir().mkdir(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner))
            return false;
    }
    return SettingsFile::replace(filePath_, ini, backup);
}

#endif
