#pragma once

#include <QByteArray>

// A log as an earlier run left it: its header, then a body of old entries.
inline const QByteArray kHeader = "Pylvane Log File , Created 01.12.2026 09:00:00\r\n" + QByteArray(79, '=') + "\r\n";

// A body of old entries big enough that each rewrite takes a while.
inline QByteArray oldBody(int entries)
{
    QByteArray body;
    for (int i = 0; i < entries; ++i)
        body += QByteArray("30.11.2026 23:59:59  - Cam") + QByteArray::number(i % 10 + 1) + " OFF   \r\n\r\n";
    return body;
}
