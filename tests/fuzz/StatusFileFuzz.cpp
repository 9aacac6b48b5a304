// Any bytes as the status file that `pylvane --status` reads: always one line in the plugin format, with
// one of the plugin's exit codes and a single "|" at most.
#include "FuzzCheck.h"

#include "outcome/StatusCheck.h"

#include <QDateTime>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    static const QDateTime now = QDateTime::currentDateTime();
    const StatusCheck::Result result = StatusCheck::evaluate(bytes, now);
    FUZZ_REQUIRE(result.code == StatusCheck::Ok || result.code == StatusCheck::Critical ||
                 result.code == StatusCheck::Unknown);
    FUZZ_REQUIRE(result.line.startsWith(QStringLiteral("PYLVANE ")));
    FUZZ_REQUIRE(!result.line.contains(QLatin1Char('\n')) && !result.line.contains(QLatin1Char('\r')));
    FUZZ_REQUIRE(result.line.count(QLatin1Char('|')) <= 1);
    return 0;
}
