#include "eventlog/EventLog.h"
#include "monitor/SystemProbes.h"
#include "platform/PosixPlatform.h"
#include "settings/SettingsStore.h"
#include "ui/Application.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pylvane"));
    PosixPlatform platform;
    SystemProbes probes(platform);
    EventLog log(platform);
    SettingsStore store;
    Application application(platform, probes, log, store);
    application.start();
    return app.exec();
}
