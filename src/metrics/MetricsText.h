#pragma once

#include "metrics/MetricsReport.h"

#include <QByteArray>

// A cycle's report in Prometheus's text exposition format, as the node exporter's and the windows
// exporter's textfile collectors read it: # HELP and # TYPE for each family, one sample a line.
class MetricsText {
public:
    static QByteArray render(const MetricsReport& report);
    // A label value with backslash, double quote and line feed escaped, as the format asks.
    static QByteArray labelValue(const QString& text);
};
