#pragma once

#include "monitor/Targets.h"

#include <QString>

// The live configuration as the cycle reads it at the moment of each check: the settings
// window's fields, saved or not, shown or hidden.
class TargetFields {
public:
    // Values of an enable box: only Ticked enables a target.
    enum EnableValue { Unticked = 0, Ticked = 1, Grayed = 2 };

    virtual ~TargetFields() = default;
    virtual int enableValue(TargetKind kind, int number) const = 0;
    virtual QString targetText(TargetKind kind, int number) const = 0;
    virtual QString failureCommand() const = 0;
};

// Used until the settings window provides the fields: every target disabled, no command.
class NoTargetFields : public TargetFields {
public:
    int enableValue(TargetKind, int) const override { return Unticked; }
    QString targetText(TargetKind, int) const override { return {}; }
    QString failureCommand() const override { return {}; }
};
