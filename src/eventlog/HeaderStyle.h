#pragma once

#include <QByteArray>

// The two header styles a new log file can get; only the creation of the file looks at it.
enum class HeaderStyle { HostHeader, ProcessHeader };

QByteArray headerPrefix(HeaderStyle style);  // text before the creation date
QByteArray separatorLine(HeaderStyle style); // 79 or 45 equals signs
