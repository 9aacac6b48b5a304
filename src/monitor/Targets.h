#pragma once

#include <QString>

enum class TargetKind { Device, Cam, Process };

constexpr int kDeviceCount = 10;
constexpr int kCamCount = 10;
constexpr int kProcessCount = 15;
constexpr int kTargetCount = kDeviceCount + kCamCount + kProcessCount;

// The state texts of one target in the current cycle.
inline const QString kStateUnchecked = QStringLiteral("neu");
inline const QString kStateUp = QStringLiteral("on");
inline const QString kStateDown = QStringLiteral("off");

// " - Device3 OFF   ", " - Cam10 OFF   ", " - Process7 DOWN   "
QString logLabel(TargetKind kind, int number);

// "Device 3", "IP Cam 10", "Services and Apps 7": the target as the settings window calls its row.
QString targetName(TargetKind kind, int number);

// Index 0..34 of a target in cycle order: Device 1-10, Cam 1-10, Process 1-15.
int targetIndex(TargetKind kind, int number);
