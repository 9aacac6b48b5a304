#include "eventlog/EventLog.h"
#include "monitor/SystemProbes.h"
#include "platform/PosixPlatform.h"
#include "ui/MainWindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pylvane"));
    PosixPlatform platform;
    SystemProbes probes(platform);
    EventLog log(platform);
    MainWindow mainWindow(platform, probes, log);
    mainWindow.show();
    return app.exec();
}
