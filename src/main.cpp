#include "eventlog/EventLog.h"
#include "monitor/SystemProbes.h"
#include "platform/Platform.h"
#include "settings/SettingsStore.h"
#include "ui/Application.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pylvane"));
    const std::unique_ptr<Platform> platform = Platform::forThisSystem();
    SystemProbes probes(*platform);
    EventLog log(*platform);
    SettingsStore store;
    Application application(*platform, probes, log, store);
    application.start();
    return app.exec();
}
