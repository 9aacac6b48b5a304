#pragma once

#include "monitor/Targets.h"

#include <QDateTime>
#include <QString>

#include <array>
#include <optional>

class TargetFields;

// What one cycle found, handed at its end to whatever shows it: the lamp in words, the tray icon, the
// notice and the status file all read the same report.
struct TargetReport {
    enum class State {
        Up,      // found up
        Down,    // found down
        Off,     // its box is not ticked
        Unknown, // enabled, but its probe gave no clear answer
    };
    TargetKind kind = TargetKind::Device;
    int number = 0;
    QString text; // what its field held
    State state = State::Off;
    // Found down for the first time with a second look asked for: `state` is then what was last known of it.
    bool confirming = false;
    // Why an enabled target could not be checked, where that is known: "not an IPv4 address, so it is never checked".
    QString reason{}; // braced: reports built by aggregate initialisation may leave it out
    // The echo's round trip, where this cycle's echo to it came back.
    std::optional<int> rttMs{};

    // "Device3", "Cam1", "Process2": the target as its log entry names it.
    QString logName() const;
    // "IP Cam 3 192.168.1.23": the target as the tooltip, the notice and the failure program name it, on one line
    // whatever its text holds (see oneLine).
    QString described() const;
};

struct CycleReport {
    // What started the cycle: its schedule, the main window's "X", or a target found down waiting to be looked at
    // again.
    enum class StartedBy { Schedule, X, SecondLook };

    // Every target in cycle order, off.
    CycleReport();

    QDateTime ended;
    qint64 durationMs = 0;
    StartedBy startedBy = StartedBy::Schedule;
    bool red = false; // the lamp ended red
    // The failure command that this cycle meant to start and could not, with why: "/opt/alert (no such file)".
    QString failureCommandProblem;
    std::array<TargetReport, kTargetCount> targets;

    // From the cycle's state texts ("on", "off", "neu") and the fields as they stand now.
    static CycleReport build(const std::array<QString, kTargetCount>& states, const TargetFields& fields);

    int count(TargetReport::State state) const;
    bool anyConfirming() const;
};

// `text` with each control character and each line or paragraph separator made a space: a settings value may
// decode to a line break, and a text that names one target must not add a line to a list of them.
QString oneLine(const QString& text);

// "up", "down", "off", "unknown": a state as the status file writes it.
QString stateName(TargetReport::State state);
// "device", "camera", "process": a kind as the status file, the system's log and the metrics name it.
QString kindName(TargetKind kind);
