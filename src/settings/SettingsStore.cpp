#include "settings/SettingsStore.h"

#include "settings/IniText.h"

#include <QLocale>

namespace {

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

SettingsStore::SettingsStore(QString location) : location_(location.isEmpty() ? defaultLocation() : std::move(location))
{
}

SettingsStore SettingsStore::fromIni(QString location, const QByteArray& iniBytes)
{
    SettingsStore store(std::move(location));
    store.loaded_ = std::make_shared<const IniText>(iniBytes);
    store.readOnly_ = true;
    return store;
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

bool SettingsStore::notifyChanges() const
{
    return readText(kNotifyChanges) != QStringLiteral("0");
}

bool SettingsStore::setNotifyChanges(bool on)
{
    if (readOnly_)
        return false;
    return writeValues({{kNotifyChanges, enableText(on)}});
}

bool SettingsStore::confirmDown() const
{
    return readText(kConfirmDown) == QStringLiteral("1");
}

int SettingsStore::historyDays() const
{
    bool isNumber = false;
    const int days = readText(kHistoryDays).value_or(QString()).trimmed().toInt(&isNumber);
    return isNumber && days >= 1 && days <= 3650 ? days : kDefaultHistoryDays;
}

bool SettingsStore::setHistoryDays(int days)
{
    return writeValues({{kHistoryDays, QString::number(days)}});
}

bool SettingsStore::setConfirmDown(bool on)
{
    if (readOnly_)
        return false;
    return writeValues({{kConfirmDown, enableText(on)}});
}

bool SettingsStore::WriteSettings(const QList<Value>& values)
{
    if (readOnly_)
        return false;
    for (const Value& value : values) {
        if (!valueNames().contains(value.first))
            return false;
    }
    return writeValues(values);
}
