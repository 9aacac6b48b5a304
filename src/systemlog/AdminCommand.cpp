#include "systemlog/AdminCommand.h"

#include "metrics/MetricsWriter.h"

#include <cstring>

std::optional<int> AdminCommand::run(int argc, char* argv[])
{
    if (argc < 2)
        return std::nullopt;
    if (argc == 2 && argv[1] == MetricsWriter::kOption.toUtf8()) {
        useBinaryInput();
        return MetricsWriter::runWriter();
    }
    Result result;
    if (std::strcmp(argv[1], "--register-event-source") == 0)
        result = registerSource();
    else if (std::strcmp(argv[1], "--unregister-event-source") == 0)
        result = unregisterSource();
    else
        return std::nullopt;
    print(result.message, !result.done);
    return result.done ? 0 : 1;
}
