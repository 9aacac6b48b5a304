#pragma once

#include <QString>

#include <optional>

// The schedule and the cycle keep their counters as text and convert on every change.
// Text that is not a number converts to nothing, so callers decide what that means.
std::optional<double> textToNumber(const QString& text);

// Shortest decimal text of a number: 101 becomes "101".
QString numberToText(double value);
