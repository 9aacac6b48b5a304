#pragma once

#include "monitor/ReportChanges.h"

#include <QString>
#include <QStringList>

// The one notice after a cycle that changed something: a title saying how many targets are down now,
// and a line per changed target in the tooltip's wording, those that went down first.
struct Notice {
    static constexpr int kMaxLines = 8;

    QString title;
    QStringList lines;   // "Down: IP Cam 3 192.168.1.23", "Back up: Services and Apps 2 backup.exe"
    bool urgent = false; // something went down

    static Notice about(const CycleReport& report, const ReportChanges::Changes& changes);

    // At most kMaxLines lines, then "and N more"; with `maxChars`, lines are left for "and N more"
    // until the text fits.
    QString body(qsizetype maxChars = -1) const;
};
