#include "eventlog/EventLog.h"
#include "monitor/SystemProbes.h"
#include "platform/Platform.h"
#include "probes/EchoRights.h"
#include "settings/SettingsStore.h"
#include "ui/Application.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pylvane"));
    // Without echo the hosts would just stay unchecked and the lamp green, and no window says why.
    if (!echoAllowed()) {
        const QString line =
            QStringLiteral("Pylvane cannot send ICMP echo requests, so it cannot tell whether devices and cameras are "
                           "up: as root, either give the program the capability with \"setcap cap_net_raw+ep %1\" "
                           "or let ordinary users send echo with \"sysctl -w net.ipv4.ping_group_range='0 "
                           "2147483647'\"")
                .arg(QCoreApplication::applicationFilePath());
        std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    }
    const std::unique_ptr<Platform> platform = Platform::forThisSystem();
    SystemProbes probes(*platform);
    EventLog log(*platform);
    SettingsStore store;
    Application application(*platform, probes, log, store);
    application.start();
    return app.exec();
}
