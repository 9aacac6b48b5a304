#include "monitor/CycleReport.h"

#include "monitor/TargetFields.h"

#include <algorithm>

QString TargetReport::logName() const
{
    switch (kind) {
    case TargetKind::Device:
        return QStringLiteral("Device%1").arg(number);
    case TargetKind::Cam:
        return QStringLiteral("Cam%1").arg(number);
    case TargetKind::Process:
        return QStringLiteral("Process%1").arg(number);
    }
    return {};
}

QString TargetReport::described() const
{
    const QString name = targetName(kind, number);
    return text.isEmpty() ? name : name + QLatin1Char(' ') + oneLine(text);
}

QString oneLine(const QString& text)
{
    QString out = text;
    for (QChar& c : out) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line ||
            category == QChar::Separator_Paragraph)
            c = QLatin1Char(' ');
    }
    return out;
}

CycleReport::CycleReport()
{
    int index = 0;
    for (TargetKind kind : {TargetKind::Device, TargetKind::Cam, TargetKind::Process}) {
        const int count = kind == TargetKind::Device ? kDeviceCount
                          : kind == TargetKind::Cam  ? kCamCount
                                                     : kProcessCount;
        for (int n = 1; n <= count; ++n, ++index) {
            targets[index].kind = kind;
            targets[index].number = n;
        }
    }
}

CycleReport CycleReport::build(const std::array<QString, kTargetCount>& states, const TargetFields& fields)
{
    CycleReport report;
    for (int index = 0; index < kTargetCount; ++index) {
        TargetReport& target = report.targets[index];
        const TargetKind kind = target.kind;
        const int n = target.number;
        target.text = fields.targetText(kind, n);
        const QString& state = states[index];
        if (fields.enableValue(kind, n) != TargetFields::Ticked)
            target.state = TargetReport::State::Off;
        else if (state == kStateUp)
            target.state = TargetReport::State::Up;
        else if (state == kStateDown)
            target.state = TargetReport::State::Down;
        else
            target.state = TargetReport::State::Unknown;
    }
    return report;
}

int CycleReport::count(TargetReport::State state) const
{
    return int(
        std::count_if(targets.begin(), targets.end(), [state](const TargetReport& t) { return t.state == state; }));
}

bool CycleReport::anyConfirming() const
{
    return std::any_of(targets.begin(), targets.end(), [](const TargetReport& t) { return t.confirming; });
}

QString kindName(TargetKind kind)
{
    switch (kind) {
    case TargetKind::Device:
        return QStringLiteral("device");
    case TargetKind::Cam:
        return QStringLiteral("camera");
    case TargetKind::Process:
        break;
    }
    return QStringLiteral("process");
}

QString stateName(TargetReport::State state)
{
    switch (state) {
    case TargetReport::State::Up:
        return QStringLiteral("up");
    case TargetReport::State::Down:
        return QStringLiteral("down");
    case TargetReport::State::Off:
        return QStringLiteral("off");
    case TargetReport::State::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}
