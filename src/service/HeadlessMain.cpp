#include "service/HeadlessMain.h"

#include "eventlog/EventLog.h"
#include "monitor/SystemProbes.h"
#include "platform/Platform.h"
#include "platform/SystemEnd.h"
#include "probes/EchoRights.h"
#include "service/ConfigCheck.h"
#include "service/ConfigFile.h"
#include "service/HeadlessRun.h"
#include "service/RunMarker.h"
#include "service/ServiceNotify.h"
#include "service/ServiceSignals.h"
#include "service/StateFolder.h"
#include "settings/SettingsStore.h"
#include "systemlog/SystemEvents.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

namespace {

void say(const QString& text)
{
    std::fprintf(stderr, "pylvane: %s\n", text.toLocal8Bit().constData());
}

} // namespace

int HeadlessMain::run(int argc, char* argv[], const QString& settingsFile, const QString& stateFolder)
{
    // First: the variables the service manager set are taken before anything could hand them on.
    ServiceNotify notify;
    // QtCore alone: no platform plugin, no display, no session bus.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Pylvane"));

    const QString file = settingsFile.isEmpty() ? SettingsStore::defaultLocation()
                                                : QDir::cleanPath(QDir::current().absoluteFilePath(settingsFile));
    const ConfigFile::Contents contents = ConfigFile::read(file);
    const ConfigCheck::Result check = ConfigCheck::of(file, contents.bytes, contents.refusal);
    if (check.code == ConfigCheck::Unusable) {
        say(QStringLiteral("the settings in %1 cannot be used: %2; run 'pylvane --check-config %1'")
                .arg(file, check.reason));
        return kUnusableSetup;
    }
    if (check.code == ConfigCheck::Warnings) {
        for (const QString& line : check.lines)
            if (!line.startsWith(QStringLiteral("enabled: ")))
                say(QStringLiteral("warning: ") + line);
    }
    const QString folder = StateFolder::chosen(stateFolder, StateFolder::For::Run);
    const QString refusal = StateFolder::refusal(folder, StateFolder::For::Run);
    if (!refusal.isEmpty() || !StateFolder::make(folder)) {
        say(QStringLiteral("the state folder %1 cannot be used: %2")
                .arg(folder, refusal.isEmpty() ? QStringLiteral("it cannot be made") : refusal));
        return kUnusableSetup;
    }
    const QString state = StateFolder::resolved(folder);
    // Without echo the hosts would just stay unchecked.
    if (!echoAllowed())
        say(QString::fromStdString(echoRightsAdvice(QCoreApplication::applicationFilePath().toStdString())));

    // The handlers before the marker that tells where this run is: a request that finds the marker finds them.
    const std::unique_ptr<ServiceSignals> requests = ServiceSignals::install(ServiceSignals::HangUp::Reloads, state);
    const std::unique_ptr<SystemEnd> systemEnd = SystemEnd::install(false);
    QString problem;
    const std::unique_ptr<RunMarker> marker = RunMarker::take(state, &problem);
    if (!marker) {
        say(problem);
        return kAlreadyRunning;
    }

    if (marker->previous().unorderlyEnd)
        say(QStringLiteral("the run before this one (process %1) did not end in order: killed, or stopped by the "
                           "service manager's watchdog")
                .arg(marker->previous().pid));
    const std::unique_ptr<Platform> platform = Platform::forThisSystem();
    SystemProbes probes(*platform);
    EventLog log(*platform);
    const std::unique_ptr<SystemEvents> events = SystemEvents::forThisSystem();
    HeadlessRun run(*platform, probes, log, *events, notify, file, state);
    QObject::connect(systemEnd.get(), &SystemEnd::endRequested, &app, [&run] { run.end(); });
    QObject::connect(requests.get(), &ServiceSignals::reloadRequested, &app, [&run] { run.reload(); });
    QObject::connect(requests.get(), &ServiceSignals::checkRequested, &app, [&run] { run.checkNow(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &app, [&run] { run.end(); });
    run.start(contents.bytes, marker->previous());
    const int code = QCoreApplication::exec();
    run.end();
    marker->orderlyEnd();
    return code;
}
