// One load of the settings from the largest file the store reads (just under 256 KiB): the 71 values the settings
// window reads and the three the tray reads at start, from a fresh store as each run starts with one. Every line
// the values do not use is a top-level key of its own, the most a lookup has to pass over.
// Prints "bench: settings_load_256k_ms value=<median> min=<fastest> max=<slowest>".
#include "Spread.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsStore.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

int main()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Pylvane.conf"));
    QByteArray text = "[General]\n";
    for (const QString& name : SettingsStore::valueNames())
        text += name.toUtf8() + (name.endsWith(u'b') ? "=1\n" : "=\"a value of some length, 10.0.0.1\"\n");
    for (int n = 0;; ++n) {
        const QByteArray line = "Other" + QByteArray::number(n) + "=\"text kept as it is\"\n";
        if (text.size() + line.size() >= SettingsFile::kMaxSize)
            break;
        text += line;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return 1;
    file.close();

    std::vector<double> times;
    int found = 0;
    for (int run = 0; run < 21; ++run) {
        QElapsedTimer timer;
        timer.start();
        const SettingsStore store(path);
        for (const QString& name : SettingsStore::valueNames())
            found += store.ReadSetting(SettingsStore::kKeyPath, name).has_value() ? 1 : 0;
        found += store.notifyChanges() ? 1 : 0;
        found += store.confirmDown() ? 1 : 0;
        found += store.metricsFolder().isEmpty() ? 1 : 0;
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    // Every value must have been read, or the figure would measure a refusal.
    if (found != 21 * (71 + 2))
        return 1;
    Spread::of(times).print("settings_load_256k_ms", 2);
    return 0;
}
