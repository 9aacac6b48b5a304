#include "eventlog/HeaderStyle.h"

QByteArray headerPrefix(HeaderStyle style)
{
    return style == HeaderStyle::HostHeader ? QByteArrayLiteral("Pylvane Log File , Created ")
                                            : QByteArrayLiteral("-=K=- Pylvane Log File , Created ");
}

QByteArray separatorLine(HeaderStyle style)
{
    return QByteArray(style == HeaderStyle::HostHeader ? 79 : 45, '=');
}
