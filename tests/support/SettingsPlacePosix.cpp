#include "support/SettingsPlace.h"

#include "support/FileBytes.h"
#include "support/TempDir.h"

#include <QFile>
#include <QFileInfo>

struct SettingsPlace::Data {
    TempDir dir;
};

SettingsPlace::SettingsPlace() : d_(std::make_unique<Data>()) {}

SettingsPlace::~SettingsPlace() = default;

QString SettingsPlace::location() const
{
    return d_->dir.path(QStringLiteral("config/Pylvane/Pylvane.conf"));
}

bool SettingsPlace::exists() const
{
    return QFileInfo::exists(d_->dir.path(QStringLiteral("config")));
}

QByteArray SettingsPlace::snapshot() const
{
    return readFile(location());
}

void SettingsPlace::blockSaves()
{
    // A file where the settings folder's parent goes.
    QFile blocker(d_->dir.path(QStringLiteral("config")));
    if (blocker.open(QIODevice::WriteOnly))
        blocker.close();
}
