#include "service/ConfigCheck.h"

#include "diagnosis/DiagnosisChecks.h"
#include "platform/ConsoleOutput.h"
#include "service/ConfigFile.h"
#include "settings/SettingsStore.h"

ConfigCheck::Result ConfigCheck::ofFile(const QString& path)
{
    const ConfigFile::Contents contents = ConfigFile::read(path);
    return of(path, contents.bytes, contents.refusal);
}

ConfigCheck::Result ConfigCheck::of(const QString& path, const QByteArray& bytes, const QString& refusal)
{
    Result result;
    if (!refusal.isEmpty()) {
        result.code = Unusable;
        result.reason = refusal;
        result.lines << QStringLiteral("the file is not used: ") + refusal;
        return result;
    }
    using Place = DiagnosisSystem::SettingsPlace;
    const Place place = DiagnosisSystem::iniSettingsPlace(path, bytes, Place::Read);
    // A line that cannot be read may have meant anything, a target ticked or a failure command: its intent is not
    // known, so the file is not used at all.
    for (qsizetype i = 0; i < place.damagedLines.size(); ++i) {
        const QString name = place.damaged.value(i);
        result.lines << QStringLiteral("line %1 cannot be read%2")
                            .arg(place.damagedLines[i])
                            .arg(name.startsWith(QStringLiteral("line ")) ? QString()
                                                                          : QStringLiteral(" (%1)").arg(name));
    }
    const CheckResult check = DiagnosisChecks::settingsOf(place, SettingsStore::fromIni(path, bytes));
    result.lines << QStringLiteral("enabled: %1 devices, %2 cams, %3 processes")
                        .arg(check.values.value(QStringLiteral("enabled_devices")).toInt())
                        .arg(check.values.value(QStringLiteral("enabled_cams")).toInt())
                        .arg(check.values.value(QStringLiteral("enabled_processes")).toInt());
    // The check's own findings after its summary, one a line; the damaged lines are named above by number.
    const QStringList findings = check.summary.split(QStringLiteral("; "));
    for (qsizetype i = 1; i < findings.size(); ++i) {
        // Said here in words of its own: the counts, the damaged lines by number, the failure command by name.
        if (findings[i].startsWith(QStringLiteral("enabled: ")) ||
            findings[i].startsWith(QStringLiteral("lines that cannot be read")) ||
            findings[i].startsWith(QStringLiteral("the failure command names no program file")))
            continue;
        result.lines << findings[i];
    }
    const QString command = SettingsStore::fromIni(path, bytes)
                                .ReadSetting(SettingsStore::kKeyPath, QStringLiteral("a1"))
                                .value_or(QString());
    if (check.values.value(QStringLiteral("failure_command_set")).toBool() &&
        !check.values.value(QStringLiteral("failure_command_found")).toBool())
        result.lines << QStringLiteral("the failure command names no existing program file: %1").arg(command);
    if (!place.damagedLines.isEmpty()) {
        result.code = Unusable;
        result.reason = QStringLiteral("line %1 cannot be read").arg(place.damagedLines.constFirst());
        if (place.damagedLines.size() > 1)
            result.reason = QStringLiteral("%1 lines cannot be read, the first line %2")
                                .arg(place.damagedLines.size())
                                .arg(place.damagedLines.constFirst());
    } else if (check.verdict == CheckResult::Verdict::Warn || check.verdict == CheckResult::Verdict::Fail) {
        result.code = Warnings;
    }
    return result;
}

int ConfigCheck::run(const QString& path)
{
    const Result result = ofFile(path);
    QString text = QStringLiteral("pylvane: settings %1\n").arg(path);
    for (const QString& line : result.lines)
        text += QStringLiteral("pylvane: ") + line + u'\n';
    text += result.code == Fine       ? QStringLiteral("pylvane: the settings are fine\n")
            : result.code == Warnings ? QStringLiteral("pylvane: the settings can be used, with the warnings above\n")
                                      : QStringLiteral("pylvane: the settings cannot be used\n");
    ConsoleOutput::write(text);
    return result.code;
}
