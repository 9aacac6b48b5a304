#pragma once

#include "systemlog/SystemEvents.h"

// Reports nothing: for systems without a log of their own, and for tests.
class SilentSystemEvents : public SystemEvents {
protected:
    void report(const SystemEvent&) override {}
};
