#include "service/ServiceNotify.h"

// Windows has no such manager protocol: every message goes nowhere.
ServiceNotify::ServiceNotify() = default;
ServiceNotify::~ServiceNotify() = default;
quint64 ServiceNotify::monotonicMicroseconds()
{
    return 0;
}
void ServiceNotify::send(const QByteArray&) {}
void ServiceNotify::ready() {}
void ServiceNotify::reloading() {}
void ServiceNotify::status(const QString&) {}
void ServiceNotify::stopping() {}
void ServiceNotify::startWatchdog() {}
