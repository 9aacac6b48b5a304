#include "diagnosis/DiagnosisChecks.h"

#include "diagnosis/DiagnosisScope.h"
#include "diagnosis/DiagnosisSystem.h"
#include "diagnosis/PrivateNames.h"
#include "monitor/CheckCycle.h"
#include "monitor/Targets.h"
#include "platform/Platform.h"
#include "probes/EchoStatus.h"
#include "probes/Module1.h"
#include "service/ConfigFile.h"
#include "settings/IniText.h"
#include "settings/SettingsStore.h"

#include <QFileInfo>
#include <QLocale>

using Verdict = CheckResult::Verdict;
using DiagnosisChecks::fewOf;
using DiagnosisChecks::named;

namespace {

// A box value that unticks it by the load's number rule, as "1" ticks it.
bool isZero(const QString& text)
{
    bool ok = false;
    double value = QLocale::system().toDouble(text.trimmed(), &ok);
    if (!ok)
        value = QLocale::c().toDouble(text.trimmed(), &ok);
    return ok && value == 0.0;
}

// "Device2", "Cam3": the target as its log line names it.
QString logNameOf(TargetKind kind, int number)
{
    return logLabel(kind, number).split(u' ', Qt::SkipEmptyParts).value(1);
}

} // namespace

DiagnosisSystem::SettingsPlace DiagnosisSystem::iniSettingsPlace(const QString& shown, const QByteArray& bytes,
                                                                 SettingsPlace::State state)
{
    SettingsPlace place;
    place.shown = shown;
    place.state = state;
    // Each line read on its own, so the report can name the one that spoils only its value. A key that is not
    // one of the store's names is told by its line number: it could be anything the user typed.
    const QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (IniText(lines[i]).isClean())
            continue;
        const QString key = QString::fromUtf8(lines[i].left(lines[i].indexOf('='))).trimmed();
        const bool known = lines[i].contains('=') && SettingsStore::valueNames().contains(key, Qt::CaseInsensitive);
        place.damaged << (known ? key : QStringLiteral("line %1").arg(i + 1));
        place.damagedLines << int(i + 1);
    }
    // A value the file holds that the store's own load does not take: a @Variant of another type, a list.
    const IniText text(bytes);
    const SettingsStore store = SettingsStore::fromIni(shown, bytes);
    for (const QString& name : SettingsStore::valueNames())
        if (text.value(name).has_value() && !store.ReadSetting(SettingsStore::kKeyPath, name).has_value())
            place.unreadable << name;
    return place;
}

SettingsStore DiagnosisChecks::scopeSettings()
{
    const QString file = DiagnosisScope::current().settingsFile;
    return file.isEmpty() ? SettingsStore() : SettingsStore::fromIni(file, ConfigFile::read(file).bytes);
}

CheckResult DiagnosisChecks::settings()
{
    const QString file = DiagnosisScope::current().settingsFile;
    if (file.isEmpty())
        return settingsOf(DiagnosisSystem::settingsPlace(), SettingsStore());
    // The service's file, by the rules the service reads it by.
    const ConfigFile::Contents contents = ConfigFile::read(file);
    using Place = DiagnosisSystem::SettingsPlace;
    // Named as the report names folders: a file in a home folder by "~/…".
    const QString shown = PrivateNames::here().file(file);
    CheckResult check = settingsOf(DiagnosisSystem::iniSettingsPlace(shown, contents.bytes,
                                                                     contents.refusal.isEmpty() ? Place::Read
                                                                                                : Place::Refused),
                                   SettingsStore::fromIni(file, contents.bytes));
    if (!contents.refusal.isEmpty())
        check.set(CheckResult::Verdict::Fail, shown + QStringLiteral(" is not used: ") + contents.refusal,
                  QStringLiteral("Make it a regular file that only its owner may write, in a folder only they may "
                                 "change; run pylvane --check-config on it."));
    else if (check.values.value(QStringLiteral("damaged_lines")).toInt() > 0)
        check.worsen(CheckResult::Verdict::Fail, QStringLiteral("a run without a desktop refuses the file"),
                     QStringLiteral("Correct the lines that pylvane --check-config names."));
    return check;
}

CheckResult DiagnosisChecks::settingsOf(const DiagnosisSystem::SettingsPlace& place, const SettingsStore& store)
{
    CheckResult check = named("settings", "Settings");
    check.values.insert(QStringLiteral("location"), place.shown);
    if (place.state == DiagnosisSystem::SettingsPlace::Refused) {
        check.values.insert(QStringLiteral("readable"), false);
        check.set(Verdict::Fail, place.shown + QStringLiteral(" cannot be read, so every start is empty"),
                  QStringLiteral("Make it a regular file of your own, or remove it and save the settings again."));
        return check;
    }
    check.values.insert(QStringLiteral("readable"), true);
    int present = 0;
    for (const QString& name : SettingsStore::valueNames())
        present += store.ReadSetting(SettingsStore::kKeyPath, name).has_value() ? 1 : 0;
    // Each box as the load reads it; a value other than 0 or 1 ("yes", "on") means unticked there, silently.
    QStringList oddBoxes;
    QStringList neverChecked;
    const auto enabled = [&store, &oddBoxes, &neverChecked](TargetKind kind, QChar group, int count) {
        int ticked = 0;
        for (int n = 1; n <= count; ++n) {
            const QString name = group + QString::number(n) + u'b';
            const QString box = store.ReadSetting(SettingsStore::kKeyPath, name).value_or(QString());
            const bool tick = SettingsStore::isTickText(box);
            ticked += tick ? 1 : 0;
            if (!tick && !box.trimmed().isEmpty() && !isZero(box))
                oddBoxes << name;
            if (tick && kind != TargetKind::Process) {
                const QString address =
                    store.ReadSetting(SettingsStore::kKeyPath, group + QString::number(n)).value_or(QString());
                // The echo probe's own test of an address, which refuses it before anything is sent.
                const int32_t refused = Module1::AddressStatus(address.toStdString());
                if (refused != EchoStatus::Success)
                    neverChecked << QStringLiteral("%1: %2, so it is never checked")
                                        .arg(logNameOf(kind, n), refused == EchoStatus::BadAddress
                                                                     ? QStringLiteral("not an IPv4 address")
                                                                     : QStringLiteral("an address that names no host"));
            }
        }
        return ticked;
    };
    const int devices = enabled(TargetKind::Device, u'e', kDeviceCount),
              cams = enabled(TargetKind::Cam, u'c', kCamCount),
              processes = enabled(TargetKind::Process, u'd', kProcessCount);
    // The failure command is looked up as the cycle looks it up, relative to the working folder; never started.
    const QString command =
        CheckCycle::commandFile(store.ReadSetting(SettingsStore::kKeyPath, QStringLiteral("a1")).value_or(QString()));
    const bool commandSet = !command.isEmpty();
    const bool commandFound = commandSet &&
                              Platform::forThisSystem()->fileExists(command, Platform::FileMask::OrdinaryOnly) &&
                              QFileInfo(command).isExecutable();
    check.values.insert(QStringLiteral("values_present"), present);
    check.values.insert(QStringLiteral("values_total"), int(SettingsStore::valueNames().size()));
    check.values.insert(QStringLiteral("damaged_lines"), int(place.damaged.size()));
    check.values.insert(QStringLiteral("enabled_devices"), devices);
    check.values.insert(QStringLiteral("enabled_cams"), cams);
    check.values.insert(QStringLiteral("enabled_processes"), processes);
    check.values.insert(QStringLiteral("failure_command_set"), commandSet);
    check.values.insert(QStringLiteral("failure_command_found"), commandFound);
    check.summary = QStringLiteral("%1, %2 of %3 values present; enabled: %4 devices, %5 cams, %6 processes")
                        .arg(place.state == DiagnosisSystem::SettingsPlace::Missing
                                 ? QStringLiteral("not saved yet (%1)").arg(place.shown)
                                 : place.shown)
                        .arg(present)
                        .arg(SettingsStore::valueNames().size())
                        .arg(devices)
                        .arg(cams)
                        .arg(processes);
    check.summary += !commandSet    ? QStringLiteral("; no failure command")
                     : commandFound ? QStringLiteral("; the failure command names an existing program")
                                    : QString();
    check.values.insert(QStringLiteral("unreadable_values"), int(place.unreadable.size()));
    check.values.insert(QStringLiteral("odd_box_values"), int(oddBoxes.size()));
    check.values.insert(QStringLiteral("never_checked"), int(neverChecked.size()));
    if (!place.note.isEmpty())
        check.worsen(Verdict::Warn, place.note,
                     QStringLiteral("Start Pylvane with HOME set, as a desktop session sets it."));
    if (!place.damaged.isEmpty())
        check.worsen(Verdict::Warn, QStringLiteral("lines that cannot be read: ") + fewOf(place.damaged),
                     QStringLiteral("Correct those lines by hand, or set the values again and Save."));
    if (!place.unreadable.isEmpty())
        check.worsen(Verdict::Warn,
                     QStringLiteral("values that cannot be read: %1 (neither text nor a number), so each takes its "
                                    "default")
                         .arg(fewOf(place.unreadable)),
                     QStringLiteral("Set those values again in the settings window and Save."));
    if (!oddBoxes.isEmpty())
        check.worsen(Verdict::Warn,
                     QStringLiteral("box values other than 0 or 1, which mean unticked: ") + fewOf(oddBoxes),
                     QStringLiteral("Write 1 for a ticked box and 0 for an unticked one, or tick the boxes and Save."));
    for (const QString& target : neverChecked)
        check.worsen(Verdict::Warn, target,
                     QStringLiteral("Give each device and camera as an IPv4 address, such as 192.0.2.10."));
    if (commandSet && !commandFound)
        check.worsen(Verdict::Warn, QStringLiteral("the failure command names no program file that can be run"),
                     QStringLiteral("Give the failure command as the full path of an existing program, or clear it."));
    return check;
}
