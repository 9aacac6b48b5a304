#pragma once

#include "monitor/TargetProbes.h"

class Platform;

// The target checks' probes on this system: the echo probe with its socket session, and the
// process table. A failed release of the socket library is shown as a warning.
class SystemProbes : public TargetProbes {
public:
    explicit SystemProbes(Platform& platform);

    int WinsockStart() override;
    void WinsockStop() override;
    int32_t SendEcho(const std::string& address, const std::string& requestData, EchoReply& reply) override;
    std::optional<int> ExeExists(const QString& name) override;
    void processChecksBegin() override;

private:
    Platform& platform_;
};
