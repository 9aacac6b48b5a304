#include "monitor/ProcessTargetCheck.h"

#include "eventlog/LogWriter.h"
#include "monitor/TargetFields.h"
#include "monitor/TargetProbes.h"

#include <optional>

ProcessTargetCheck::ProcessTargetCheck(TargetProbes& probes, LogWriter& log) : probes_(probes), log_(log) {}

void ProcessTargetCheck::beginCycle()
{
    probes_.processChecksBegin();
}

void ProcessTargetCheck::check(int number, const TargetFields& fields, QString& state, bool logDown)
{
    if (fields.enableValue(TargetKind::Process, number) != TargetFields::Ticked)
        return;
    // A lookup the system could not answer tells nothing: it neither sets the state nor writes an entry, so a
    // running process is never logged down because the process list could not be read.
    const std::optional<int> first = probes_.ExeExists(fields.targetText(TargetKind::Process, number));
    if (first == 0) {
        state = kStateDown;
        if (logDown)
            log_.WriteLogEntry(HeaderStyle::ProcessHeader, logLabel(TargetKind::Process, number));
    }
    const std::optional<int> second = probes_.ExeExists(fields.targetText(TargetKind::Process, number));
    if (second.has_value() && *second != 0)
        state = kStateUp;
}
