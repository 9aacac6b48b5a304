#pragma once

#include "monitor/StatusLamp.h"
#include "monitor/TargetFields.h"

#include <QString>

#include <array>
#include <utility>

// What the cycle benchmarks put in place of the two windows: every target ticked, the hosts on
// loopback and the processes under the names the benchmark starts them as, and a lamp to read back.
class AllEnabledFields : public TargetFields {
public:
    explicit AllEnabledFields(QString processPattern) : processPattern_(std::move(processPattern)) {}

    int enableValue(TargetKind, int) const override { return Ticked; }
    QString targetText(TargetKind kind, int number) const override
    {
        return kind == TargetKind::Process ? processName(number) : QStringLiteral("127.0.0.1");
    }
    QString failureCommand() const override { return {}; }

    // The name Process `number` looks for: the pattern with %1 replaced by the number.
    QString processName(int number) const { return processPattern_.arg(number); }

private:
    QString processPattern_;
};

class BenchLamp : public StatusLamp {
public:
    void setPictureVisible(Picture picture, bool visible) override { visible_[picture] = visible; }
    bool isPictureVisible(Picture picture) const override { return visible_[picture]; }

private:
    std::array<bool, 3> visible_{false, false, true};
};
