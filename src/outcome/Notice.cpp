#include "outcome/Notice.h"

#include <algorithm>

Notice Notice::about(const CycleReport& report, const ReportChanges::Changes& changes)
{
    Notice notice;
    const int down = report.count(TargetReport::State::Down);
    if (down == 0)
        notice.title = QStringLiteral("Pylvane: all targets up again");
    else if (down == 1)
        notice.title = QStringLiteral("Pylvane: 1 target down");
    else
        notice.title = QStringLiteral("Pylvane: %1 targets down").arg(down);
    for (int index : changes.wentDown)
        notice.lines << QStringLiteral("Down: ") + report.targets[index].described();
    for (int index : changes.cameBack)
        notice.lines << QStringLiteral("Back up: ") + report.targets[index].described();
    notice.urgent = !changes.wentDown.isEmpty();
    return notice;
}

QString Notice::body(qsizetype maxChars) const
{
    const auto compose = [this](qsizetype shown) {
        QStringList out = lines.mid(0, shown);
        if (shown < lines.size())
            out << QStringLiteral("and %1 more").arg(lines.size() - shown);
        return out.join(QLatin1Char('\n'));
    };
    qsizetype shown = std::min<qsizetype>(lines.size(), kMaxLines);
    QString text = compose(shown);
    while (maxChars >= 0 && text.size() > maxChars && shown > 1)
        text = compose(--shown);
    // A first line longer than the limit alone (a very long process name) is cut.
    if (maxChars >= 0 && text.size() > maxChars)
        text = text.left(maxChars);
    return text;
}
