#pragma once

#include "settings/SettingsStore.h"

// 71 different texts, each unlike its neighbours so that a value landing on the wrong name shows.
inline QList<SettingsStore::Value> distinctValues()
{
    QList<SettingsStore::Value> values;
    int n = 0;
    for (const QString& name : SettingsStore::valueNames())
        values.append({name, QStringLiteral("value %1 of %2").arg(++n).arg(name)});
    return values;
}
