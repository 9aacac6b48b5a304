#include "service/ServiceCommands.h"

#include "diagnosis/DiagnosisScope.h"
#include "outcome/StatusFile.h"
#include "platform/ConsoleOutput.h"
#include "service/ConfigCheck.h"
#include "service/RunMarker.h"
#include "service/StateFolder.h"
#include "settings/SettingsStore.h"

#include <QDir>

namespace {

QString absolute(const QString& path)
{
    return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

} // namespace

int ServiceCommands::checkConfig(const QString& file)
{
    return ConfigCheck::run(file.isEmpty() ? SettingsStore::defaultLocation() : absolute(file));
}

int ServiceCommands::checkNow(const QString& stateFolder)
{
    const QString folder = StateFolder::chosen(stateFolder, StateFolder::For::Asking);
    const QString refusal = StateFolder::refusal(folder, StateFolder::For::Asking);
    if (!refusal.isEmpty()) {
        ConsoleOutput::write(QStringLiteral("pylvane: the state folder %1 is not used: %2\n").arg(folder, refusal),
                             ConsoleOutput::Error);
        return 1;
    }
    QString message;
    const RunMarker::Asked asked = RunMarker::askToCheck(StateFolder::resolved(folder), &message);
    ConsoleOutput::write(QStringLiteral("pylvane: ") + message + u'\n',
                         asked == RunMarker::Asked::Yes ? ConsoleOutput::Output : ConsoleOutput::Error);
    return asked == RunMarker::Asked::Yes ? 0 : 1;
}

std::optional<QByteArray> ServiceCommands::readStatus(const QString& stateFolder, QString* refused)
{
    const QString folder = StateFolder::chosen(stateFolder, StateFolder::For::Asking);
    const QString refusal = StateFolder::refusal(folder, StateFolder::For::Asking);
    if (!refusal.isEmpty()) {
        *refused = QStringLiteral("the state folder is not used: ") + refusal;
        return std::nullopt;
    }
    // Root asking for a state folder by name asks for a service's, which runs as a user of its own.
    const bool named = !stateFolder.isEmpty() || !qEnvironmentVariableIsEmpty("PYLVANE_STATE_DIR") ||
                       !qEnvironmentVariableIsEmpty("STATE_DIRECTORY");
    return StatusFile::read(StateFolder::resolved(folder), refused, named);
}

void ServiceCommands::prepareDiagnosis(bool headless, const QString& settingsFile, const QString& stateFolder)
{
    DiagnosisScope scope;
    scope.headless = headless;
    scope.settingsFile = settingsFile.isEmpty() ? QString() : absolute(settingsFile);
    if (scope.withoutDesktop() || !stateFolder.isEmpty())
        scope.stateFolder = StateFolder::chosen(stateFolder, StateFolder::For::Asking);
    DiagnosisScope::set(scope);
}
