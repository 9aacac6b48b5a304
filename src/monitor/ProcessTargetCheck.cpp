#include "monitor/ProcessTargetCheck.h"

#include "eventlog/LogWriter.h"
#include "monitor/TargetFields.h"
#include "monitor/TargetProbes.h"

ProcessTargetCheck::ProcessTargetCheck(TargetProbes& probes, LogWriter& log) : probes_(probes), log_(log) {}

void ProcessTargetCheck::check(int number, const TargetFields& fields, QString& state)
{
    if (fields.enableValue(TargetKind::Process, number) != TargetFields::Ticked)
        return;
    if (probes_.ExeExists(fields.targetText(TargetKind::Process, number)) == 0) {
        state = kStateDown;
        log_.WriteLogEntry(HeaderStyle::ProcessHeader, logLabel(TargetKind::Process, number));
    }
    if (probes_.ExeExists(fields.targetText(TargetKind::Process, number)) != 0)
        state = kStateUp;
}
