#pragma once

#include "monitor/TargetFields.h"

#include <array>

class SettingsStore;

// The settings as the cycle reads them in a run without a desktop: taken from the store once, as the settings
// window's load takes them (a box is ticked by the load's number rule alone), and kept as they are until the
// settings are read again.
class FileTargetFields : public TargetFields {
public:
    explicit FileTargetFields(const SettingsStore& store);

    int enableValue(TargetKind kind, int number) const override;
    QString targetText(TargetKind kind, int number) const override;
    QString failureCommand() const override { return failureCommand_; }

private:
    static int indexOf(TargetKind kind, int number);

    std::array<QString, kTargetCount> texts_;
    std::array<bool, kTargetCount> ticked_{};
    QString failureCommand_;
};
