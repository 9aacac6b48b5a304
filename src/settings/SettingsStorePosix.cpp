#include "settings/IniText.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QVariant>

namespace {

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

} // namespace

QString SettingsStore::defaultLocation()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Pylvane/Pylvane.conf");
}

std::optional<QString> SettingsStore::readText(const QString& valueName) const
{
    if (!loaded_) {
        SettingsFile::Contents file = SettingsFile::read(location_);
        loaded_ = std::make_shared<const IniText>(file.state == SettingsFile::State::Read ? std::move(file.bytes)
                                                                                          : QByteArray());
    }
    const std::optional<QVariant> value = loaded_->value(valueName);
    return value ? textOf(*value) : std::nullopt;
}

bool SettingsStore::writeValues(const QList<Value>& values)
{
    // Everything in the file but the values written keeps its bytes, so the file must be read
    // first; one that cannot be read is not replaced. A file with lines that made no sense is
    // kept as a backup, since what its author meant by them may be lost otherwise.
    loaded_.reset();
    const SettingsFile::Contents current = SettingsFile::read(location_);
    if (current.state == SettingsFile::State::Refused)
        return false;
    const IniText text(current.bytes);
    const QByteArray ini = text.withTexts(values);
    const std::optional<QByteArray> backup = text.isClean() ? std::nullopt : std::optional(current.bytes);

    // The folder is private to the user; an existing one is left as its owner made it.
    const QString folder = QFileInfo(location_).absolutePath();
    if (!QFileInfo(folder).isDir()) {
        const QString parent = QFileInfo(folder).absolutePath();
        if (!QDir().mkpath(parent) ||
            !QDir().mkdir(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner))
            return false;
    }
    return SettingsFile::replace(location_, ini, backup);
}
