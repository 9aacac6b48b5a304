#include "metrics/MetricsText.h"

namespace {

void appendFamily(QByteArray& text, const char* name, const char* help)
{
    text += QByteArray("# HELP ") + name + ' ' + help + '\n';
    text += QByteArray("# TYPE ") + name + " gauge\n";
}

} // namespace

QByteArray MetricsText::labelValue(const QString& text)
{
    QByteArray value;
    for (const char c : text.toUtf8()) {
        if (c == '\\')
            value += "\\\\";
        else if (c == '"')
            value += "\\\"";
        else if (c == '\n')
            value += "\\n";
        else
            value += c;
    }
    return value;
}

QByteArray MetricsText::render(const MetricsReport& report)
{
    QByteArray text;
    appendFamily(text, "pylvane_target_up",
                 "Whether the target answered in the last check cycle: 1 up, 0 down. Targets switched off or with "
                 "no clear result are left out.");
    for (const MetricsTarget& target : report.targets) {
        if (target.state != MetricsTarget::State::Up && target.state != MetricsTarget::State::Down)
            continue;
        text += "pylvane_target_up{kind=\"" + labelValue(target.kind) + "\",number=\"" +
                QByteArray::number(target.number) + "\",name=\"" + labelValue(target.name) + "\",text=\"" +
                labelValue(target.text) + "\"} " + (target.state == MetricsTarget::State::Up ? "1" : "0") + '\n';
    }
    appendFamily(text, "pylvane_targets_down", "Number of targets found down in the last check cycle.");
    text += "pylvane_targets_down " + QByteArray::number(report.targetsDown) + '\n';
    appendFamily(text, "pylvane_last_cycle_end_timestamp_seconds",
                 "When the last check cycle ended, in seconds since the Unix epoch.");
    text += "pylvane_last_cycle_end_timestamp_seconds " +
            QByteArray::number(double(report.cycleEnd.toMSecsSinceEpoch()) / 1000.0, 'f', 3) + '\n';
    appendFamily(text, "pylvane_cycle_duration_seconds", "How long the last check cycle took, in seconds.");
    text += "pylvane_cycle_duration_seconds " + QByteArray::number(report.durationSeconds, 'f', 3) + '\n';
    appendFamily(text, "pylvane_log_entries_pending", "Log entries waiting to go into the log file.");
    text += "pylvane_log_entries_pending " + QByteArray::number(report.pendingEntries) + '\n';
    return text;
}
