#include "settings/SettingsStore.h"

#include "settings/IniText.h"

#include <windows.h>

#include <cstring>
#include <string>

namespace {

std::wstring wide(const QString& text)
{
    return text.toStdWString();
}

// Closes the key when it goes out of scope.
class Key {
public:
    Key() = default;
    ~Key()
    {
        if (key_ != nullptr)
            RegCloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY* put() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

} // namespace

QString SettingsStore::defaultLocation()
{
    return QStringLiteral("Software\\Pylvane");
}

std::optional<QString> SettingsStore::readText(const QString& valueName) const
{
    // An INI text given as the settings (see fromIni): strings and numbers are settings, as in the registry.
    if (loaded_) {
        const std::optional<QVariant> value = loaded_->value(valueName);
        if (!value)
            return std::nullopt;
        const int type = value->typeId();
        const bool number = type == QMetaType::Int || type == QMetaType::UInt || type == QMetaType::LongLong ||
                            type == QMetaType::ULongLong || type == QMetaType::Double;
        return type == QMetaType::QString || number ? std::optional(value->toString()) : std::nullopt;
    }
    const std::wstring key = wide(location_);
    const std::wstring name = wide(valueName);
    // Only strings and 32-bit numbers are settings; raw bytes, lists and the like read as nothing.
    constexpr DWORD kTypes = RRF_RT_REG_SZ | RRF_RT_REG_DWORD;
    // The value may grow between asking its size and reading it; then the read is asked again.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(), kTypes, &type, nullptr, &size) != ERROR_SUCCESS)
            return std::nullopt;
        std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
        size = DWORD(data.size() * sizeof(wchar_t));
        const LSTATUS status =
            RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(), kTypes, &type, data.data(), &size);
        if (status == ERROR_MORE_DATA)
            continue;
        if (status != ERROR_SUCCESS)
            return std::nullopt;
        if (type == REG_DWORD) {
            qint32 number = 0;
            std::memcpy(&number, data.data(), sizeof number);
            return QString::number(number);
        }
        // The size counts the terminating null that the call guarantees.
        data.resize(size / sizeof(wchar_t));
        while (!data.empty() && data.back() == L'\0')
            data.pop_back();
        return QString::fromStdWString(data);
    }
    return std::nullopt;
}

bool SettingsStore::writeValues(const QList<Value>& values)
{
    Key key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, wide(location_).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                        nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return false;
    for (const Value& value : values) {
        const std::wstring text = wide(value.second);
        const auto bytes = DWORD((text.size() + 1) * sizeof(wchar_t));
        if (RegSetValueExW(key.get(), wide(value.first).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           bytes) != ERROR_SUCCESS)
            return false;
    }
    return true;
}
