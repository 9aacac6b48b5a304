#include "monitor/Targets.h"

QString logLabel(TargetKind kind, int number)
{
    switch (kind) {
    case TargetKind::Device:
        return QStringLiteral(" - Device%1 OFF   ").arg(number);
    case TargetKind::Cam:
        return QStringLiteral(" - Cam%1 OFF   ").arg(number);
    case TargetKind::Process:
        return QStringLiteral(" - Process%1 DOWN   ").arg(number);
    }
    return {};
}

QString targetName(TargetKind kind, int number)
{
    switch (kind) {
    case TargetKind::Device:
        return QStringLiteral("Device %1").arg(number);
    case TargetKind::Cam:
        return QStringLiteral("IP Cam %1").arg(number);
    case TargetKind::Process:
        return QStringLiteral("Services and Apps %1").arg(number);
    }
    return {};
}

int targetIndex(TargetKind kind, int number)
{
    switch (kind) {
    case TargetKind::Device:
        return number - 1;
    case TargetKind::Cam:
        return kDeviceCount + number - 1;
    case TargetKind::Process:
        return kDeviceCount + kCamCount + number - 1;
    }
    return 0;
}
