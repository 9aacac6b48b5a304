#include "support/SettingsPlace.h"

#include <QUuid>

#include <windows.h>

#include <string>

struct SettingsPlace::Data {
    // The store's key lies one below the test's own, so that the test's key can refuse it.
    QString root = QStringLiteral("Software\\PylvaneTest-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QString key = root + QStringLiteral("\\Pylvane");
};

SettingsPlace::SettingsPlace() : d_(std::make_unique<Data>()) {}

SettingsPlace::~SettingsPlace()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, d_->root.toStdWString().c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, d_->root.toStdWString().c_str());
}

QString SettingsPlace::location() const
{
    return d_->key;
}

bool SettingsPlace::exists() const
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, d_->root.toStdWString().c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

QByteArray SettingsPlace::snapshot() const
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, d_->key.toStdWString().c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {};
    QByteArray all;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameSize = 256;
        DWORD type = 0;
        BYTE data[4096];
        DWORD dataSize = sizeof data;
        if (RegEnumValueW(key, index, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS)
            break;
        all += QString::fromWCharArray(name, int(nameSize)).toUtf8() + '=' + QByteArray::number(uint(type)) + ':' +
               QByteArray(reinterpret_cast<const char*>(data), int(dataSize)) + '\n';
    }
    RegCloseKey(key);
    return all;
}

void SettingsPlace::blockSaves()
{
    // A key kept only in memory cannot hold one that is kept on disk, as the store's is.
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, d_->root.toStdWString().c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_WRITE,
                        nullptr, &key, nullptr) == ERROR_SUCCESS)
        RegCloseKey(key);
}
