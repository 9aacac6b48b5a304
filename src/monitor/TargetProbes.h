#pragma once

#include "probes/EchoReply.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>

// The probes as the target checks see them, so that tests can put fakes in their place.
// Truth values are -1 (true) and 0 (false).
class TargetProbes {
public:
    virtual ~TargetProbes() = default;
    virtual int WinsockStart() = 0;
    virtual void WinsockStop() = 0;
    virtual int32_t SendEcho(const std::string& address, const std::string& requestData, EchoReply& reply) = 0;
    // The truth value of whether a process named `name` runs; empty when the system could not be asked at all.
    virtual std::optional<int> ExeExists(const QString& name) = 0;
    // Called once in each cycle before its first process lookup: what bounds the lookups is per cycle.
    virtual void processChecksBegin() {}
};
