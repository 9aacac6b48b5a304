#pragma once

#include "probes/EchoReply.h"

#include <QString>

#include <cstdint>
#include <string>

// The probes as the target checks see them, so that tests can put fakes in their place.
// Truth values are -1 (true) and 0 (false).
class TargetProbes {
public:
    virtual ~TargetProbes() = default;
    virtual int WinsockStart() = 0;
    virtual void WinsockStop() = 0;
    virtual int32_t SendEcho(const std::string& address, const std::string& requestData, EchoReply& reply) = 0;
    virtual int ExeExists(const QString& name) = 0;
};
