#include "diagnosis/ProgramAge.h"

#include <QByteArray>
#include <QFile>

#include <ctime>

#include <unistd.h>

std::optional<std::chrono::milliseconds> programAge()
{
    // The 22nd field of /proc/self/stat: the start in clock ticks after boot. The name in the second field may hold
    // spaces and brackets, so fields are counted after its last ')'.
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    bool read = false;
    const qint64 ticks = fields.value(19).toLongLong(&read); // field 22, the 20th after the name
    const long perSecond = ::sysconf(_SC_CLK_TCK);
    timespec now{};
    if (!read || perSecond <= 0 || ::clock_gettime(CLOCK_BOOTTIME, &now) != 0)
        return std::nullopt;
    const qint64 nowMs = qint64(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
    return std::chrono::milliseconds(nowMs - ticks * 1000 / perSecond);
}
