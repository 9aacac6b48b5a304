#include "eventlog/EventLog.h"
#include "monitor/SystemProbes.h"
#include "outcome/CommandLine.h"
#include "platform/DisplayChoice.h"
#include "platform/Platform.h"
#include "platform/SystemEnd.h"
#include "probes/EchoRights.h"
#include "settings/SettingsStore.h"
#include "systemlog/AdminCommand.h"
#include "systemlog/SystemEvents.h"
#include "ui/Application.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    // The system's own commands first (event source registration, the metrics writer), then the options
    // answered before anything of the window system is touched: no display needed, no window, no lock.
    if (const std::optional<int> status = AdminCommand::run(argc, argv))
        return *status;
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (const std::optional<int> code = CommandLine::run(arguments))
        return *code;
    chooseOffscreenWithoutDisplay(arguments);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pylvane"));
    // Without echo the hosts would just stay unchecked and the lamp green, and no window says why.
    if (!echoAllowed()) {
        const std::string advice = echoRightsAdvice(QCoreApplication::applicationFilePath().toStdString());
        std::fprintf(stderr, "%s\n", advice.c_str());
    }
    // Before anything uses the working directory, which a restart by the system may bring back.
    const std::unique_ptr<SystemEnd> systemEnd = SystemEnd::install();
    const std::unique_ptr<Platform> platform = Platform::forThisSystem();
    SystemProbes probes(*platform);
    EventLog log(*platform);
    SettingsStore store;
    const std::unique_ptr<SystemEvents> events = SystemEvents::forThisSystem();
    Application application(*platform, probes, log, store, events.get());
    QObject::connect(systemEnd.get(), &SystemEnd::endRequested, &app, [&application] { application.end(); });
    application.start();
    return app.exec();
}
