#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// One figure of `make bench` over its runs: the median is the figure held to its bar, the least and the most show
// how far a single run wanders on a shared machine. Printed as
//   bench: <name> value=<median> min=<least> max=<most>[ <more>]
// or with ratio= in place of value= for a figure that is a ratio.
struct Spread {
    double median = 0;
    double min = 0;
    double max = 0;
    std::size_t runs = 0;

    // The figure must come from at least this many runs, or one slow run could carry it past its bar.
    static constexpr std::size_t kMinRuns = 9;

    // Of an even count, the lower of the two middle values: a figure that was measured, never one made up.
    static Spread of(std::vector<double> values)
    {
        Spread spread;
        spread.runs = values.size();
        if (values.empty())
            return spread;
        std::sort(values.begin(), values.end());
        spread.median = values[(values.size() - 1) / 2];
        spread.min = values.front();
        spread.max = values.back();
        return spread;
    }

    // Each run's ratio of a to b, taken run by run (run i of a with run i of b, measured in the same process), so
    // that a slow moment of the machine weighs on both sides of the same ratio. Empty when the runs do not pair.
    static std::vector<double> ratios(const std::vector<double>& a, const std::vector<double>& b, double scale = 1)
    {
        std::vector<double> result;
        if (a.size() != b.size())
            return result;
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (b[i] <= 0)
                return {};
            result.push_back(a[i] / b[i] * scale);
        }
        return result;
    }

    bool enough() const { return runs >= kMinRuns; }

    // "<key>=<median> min=<min> max=<max>" with the given decimals.
    std::string figures(int decimals, const char* key = "value") const
    {
        char text[160];
        std::snprintf(text, sizeof text, "%s=%.*f min=%.*f max=%.*f", key, decimals, median, decimals, min, decimals,
                      max);
        return text;
    }

    // The whole line, or "skipped: ..." when the runs fall short of kMinRuns.
    void print(const char* name, int decimals, const char* key = "value", const std::string& more = {}) const
    {
        if (!enough())
            std::printf("bench: %s skipped: %zu runs gave a figure, fewer than %zu\n", name, runs, kMinRuns);
        else
            std::printf("bench: %s %s%s%s\n", name, figures(decimals, key).c_str(), more.empty() ? "" : " ",
                        more.c_str());
    }
};
