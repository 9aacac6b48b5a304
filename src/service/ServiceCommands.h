#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The jobs of the command line that concern a run without a desktop, or ask a running Pylvane: each prints what it
// found and returns the exit code.
namespace ServiceCommands {

// `--check-config [FILE]`: `file`, or the user's own settings file when empty.
int checkConfig(const QString& file);
// `--check-now [--state-dir DIR]`.
int checkNow(const QString& stateFolder);
// The status file for `--status [--state-dir DIR]`; nothing when there is none or it is refused, with why.
std::optional<QByteArray> readStatus(const QString& stateFolder, QString* refused);
// Before `--diagnose`: what it is to look at (see DiagnosisScope).
void prepareDiagnosis(bool headless, const QString& settingsFile, const QString& stateFolder);

} // namespace ServiceCommands
