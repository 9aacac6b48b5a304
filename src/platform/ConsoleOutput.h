#pragma once

#include <QString>

// Text for the console the program was started from. On Windows the program has no console of its
// own, so it writes to its standard handle where one was given (a pipe, a file) and otherwise to the
// console of the program that started it.
class ConsoleOutput {
public:
    enum Stream { Output, Error };
    static void write(const QString& text, Stream stream = Output);
};
