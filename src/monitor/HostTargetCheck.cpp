#include "monitor/HostTargetCheck.h"

#include "eventlog/LogWriter.h"
#include "monitor/TargetFields.h"
#include "monitor/TargetProbes.h"
#include "probes/EchoStatus.h"
#include "probes/Module1.h"

HostTargetCheck::HostTargetCheck(TargetProbes& probes, LogWriter& log) : probes_(probes), log_(log) {}

bool HostTargetCheck::check(TargetKind kind, int number, const TargetFields& fields, QString& state, bool logDown)
{
    if (fields.enableValue(kind, number) != TargetFields::Ticked)
        return false;
    if (probes_.WinsockStart() == 0) {
        // Nothing was asked, so nothing is known: the target keeps its state and is not logged.
        // `pi` keeps the previous echo's text, which belongs to another target.
        return false;
    }
    const QString address = fields.targetText(kind, number);
    echoStatus = probes_.SendEcho(address.toStdString(), "1", echoReply);
    pi = QString::fromStdString(Module1::DescribeEchoStatus(echoStatus));
    probes_.WinsockStop();

    if (pi == kTimedOut) {
        state = kStateDown;
        if (logDown)
            log_.WriteLogEntry(HeaderStyle::HostHeader, logLabel(kind, number));
    }
    if (pi == kSuccess)
        state = kStateUp;
    // The probe's own rule: what it cannot parse as an IPv4 address, it never sends to.
    return echoStatus == EchoStatus::BadAddress;
}
