#include "platform/ConsoleOutput.h"

#include <cstdio>

void ConsoleOutput::write(const QString& text, Stream stream)
{
    std::FILE* out = stream == Error ? stderr : stdout;
    std::fputs(text.toLocal8Bit().constData(), out);
    std::fflush(out);
}
