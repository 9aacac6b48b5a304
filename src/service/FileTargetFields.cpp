#include "service/FileTargetFields.h"

#include "settings/SettingsStore.h"

namespace {

struct Group {
    TargetKind kind;
    QChar letter;
    int count;
};

// The value names of each kind, as the settings window's rows have them.
constexpr Group kGroups[] = {{TargetKind::Device, u'e', kDeviceCount},
                             {TargetKind::Cam, u'c', kCamCount},
                             {TargetKind::Process, u'd', kProcessCount}};

} // namespace

FileTargetFields::FileTargetFields(const SettingsStore& store)
{
    const auto read = [&store](const QString& name) {
        return store.ReadSetting(SettingsStore::kKeyPath, name).value_or(QString());
    };
    failureCommand_ = read(QStringLiteral("a1"));
    for (const Group& group : kGroups) {
        for (int n = 1; n <= group.count; ++n) {
            const int index = targetIndex(group.kind, n);
            texts_[size_t(index)] = read(group.letter + QString::number(n));
            ticked_[size_t(index)] = SettingsStore::isTickText(read(group.letter + QString::number(n) + u'b'));
        }
    }
}

int FileTargetFields::indexOf(TargetKind kind, int number)
{
    const int count = kind == TargetKind::Device ? kDeviceCount : kind == TargetKind::Cam ? kCamCount : kProcessCount;
    return number >= 1 && number <= count ? targetIndex(kind, number) : -1;
}

int FileTargetFields::enableValue(TargetKind kind, int number) const
{
    const int index = indexOf(kind, number);
    return index >= 0 && ticked_[size_t(index)] ? Ticked : Unticked;
}

QString FileTargetFields::targetText(TargetKind kind, int number) const
{
    const int index = indexOf(kind, number);
    return index >= 0 ? texts_[size_t(index)] : QString();
}
