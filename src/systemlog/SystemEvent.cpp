#include "systemlog/SystemEvent.h"

int priorityOf(SystemEventKind kind)
{
    switch (kind) {
    case SystemEventKind::TargetDown:
    case SystemEventKind::SettingsNotReloaded:
        return 3;
    case SystemEventKind::TargetBackUp:
    case SystemEventKind::MetricsWrittenAgain:
        return 5;
    case SystemEventKind::FailureCommandFailed:
    case SystemEventKind::EntryKeptAside:
    case SystemEventKind::SettingsNotSaved:
    case SystemEventKind::MetricsNotWritten:
    case SystemEventKind::StartedWithoutSessionBus:
    case SystemEventKind::HistoryProblem:
    case SystemEventKind::StartedAfterUnorderlyEnd:
        return 4;
    case SystemEventKind::FailureCommandStarted:
    case SystemEventKind::KeptEntryWentIn:
    case SystemEventKind::TargetAnsweredAgain:
    case SystemEventKind::Started:
    case SystemEventKind::Ended:
    case SystemEventKind::Diagnosis:
        return 6;
    }
    return 6;
}

// Monitoring rules, forwarders and the catalog (resources/pylvane.catalog) match on these: never change one.
const char* messageIdOf(SystemEventKind kind)
{
    switch (kind) {
    case SystemEventKind::TargetDown:
        return "f5a6a8ac34374fd7a13263e7b4f19b6a";
    case SystemEventKind::TargetBackUp:
        return "eded984111f6443595f4e457e817cec7";
    case SystemEventKind::FailureCommandStarted:
        return "d2f51ccf6162451093a36ce3ca5843c4";
    case SystemEventKind::FailureCommandFailed:
        return "88d53ae88bf049249717804cbed5d513";
    case SystemEventKind::EntryKeptAside:
        return "c954892e50bc4fbaadc9936622614012";
    case SystemEventKind::KeptEntryWentIn:
        return "583b7ed949414f17ae7e3a53802d3fbf";
    case SystemEventKind::SettingsNotSaved:
        return "f6c613c708084e4b81004d8c0d50654b";
    case SystemEventKind::Started:
        return "52899545a4e34a4b956bbb249c8b7b30";
    case SystemEventKind::Ended:
        return "db6c04a3c3254190bbe7fb19ff261653";
    case SystemEventKind::MetricsNotWritten:
        return "2e97fb53d84c4b5fb68f702fbf41d29f";
    case SystemEventKind::MetricsWrittenAgain:
        return "b94ff4071543468cb3441ad0aaa415b6";
    case SystemEventKind::TargetAnsweredAgain:
        return "18fcc59a90bd4203bf8060438b67b4cb";
    case SystemEventKind::Diagnosis:
        return "7c1e4b9a52d34f6e8a0b3d5f9e2c6a18";
    case SystemEventKind::StartedWithoutSessionBus:
        return "fc48732bd0024ec6987f12a003093fbf";
    case SystemEventKind::HistoryProblem:
        return "0e473b8531354353ab0fa27782095e88";
    case SystemEventKind::SettingsNotReloaded:
        return "f20b82c2a0094f01b62870ae0085677a";
    case SystemEventKind::StartedAfterUnorderlyEnd:
        return "dc4016d3baaa4f6e91893a7276cbdd4a";
    }
    return "";
}

unsigned eventIdOf(SystemEventKind kind)
{
    return unsigned(kind) + 1;
}
