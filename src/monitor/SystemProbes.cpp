#include "monitor/SystemProbes.h"

#include "platform/Platform.h"
#include "probes/Module1.h"
#include "probes/ProcessTable.h"

SystemProbes::SystemProbes(Platform& platform) : platform_(platform) {}

int SystemProbes::WinsockStart()
{
    return Module1::WinsockStart();
}

void SystemProbes::WinsockStop()
{
    if (Module1::WinsockStop() != 0)
        platform_.messageBox(QStringLiteral("Windows Sockets error occurred in Cleanup."), QStringLiteral("Pylvane"),
                             Platform::MessageIcon::Warning);
}

int32_t SystemProbes::SendEcho(const std::string& address, const std::string& requestData, EchoReply& reply)
{
    return Module1::SendEcho(address, requestData, reply);
}

std::optional<int> SystemProbes::ExeExists(const QString& name)
{
    // UTF-8 everywhere: the process table gives UTF-8 names, whatever the system's 8-bit code page is.
    const QByteArray utf8 = name.toUtf8();
    const std::optional<bool> running = exeRunning(std::string(utf8.constData(), static_cast<size_t>(utf8.size())));
    if (!running.has_value())
        return std::nullopt;
    return *running ? -1 : 0;
}

void SystemProbes::processChecksBegin()
{
    beginProcessCycle();
}
