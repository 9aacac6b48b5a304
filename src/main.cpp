#include "eventlog/EventLog.h"
#include "monitor/SystemProbes.h"
#include "outcome/SessionBusQuestion.h"
#include "platform/DisplayChoice.h"
#include "platform/Platform.h"
#include "platform/SystemEnd.h"
#include "probes/EchoRights.h"
#include "service/DesktopRunPlace.h"
#include "service/HeadlessMain.h"
#include "settings/SettingsStore.h"
#include "systemlog/SystemEvents.h"
#include "ui/Application.h"
#include "ui/CommandLine.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    // The options that do one job and end come before anything of the window system is touched: no display
    // needed, no window, no lock.
    CommandLine::RunOptions options;
    if (const std::optional<int> code = CommandLine::run(argc, argv, &options))
        return *code;
    if (options.headless)
        return HeadlessMain::run(argc, argv, options.settingsFile, options.stateFolder);
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    chooseOffscreenWithoutDisplay(arguments);
    // Qt's accessibility bridge, its tray and the notices would wait for good on a session bus that is stopped.
    constexpr int kBusLimitS = 1;
    const bool withoutBus = SessionBusQuestion::ask(kBusLimitS * 1'000) == SessionBusQuestion::Answer::Silent;
    if (withoutBus) {
        SessionBusQuestion::leaveBusAlone();
        std::fprintf(stderr,
                     "pylvane: the session bus did not answer within %d s: starting without it, so no desktop "
                     "notices and no accessibility bridge in this run; notices show in the tray\n",
                     kBusLimitS);
    }

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
    // `pylvane --check-now` finds this run by its marker in the state folder.
    const DesktopRunPlace place(&app, [&application] { application.checkNow(); });
    application.start();
    if (withoutBus)
        application.startedWithoutSessionBus(kBusLimitS);
    return app.exec();
}
