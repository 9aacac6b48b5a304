#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

// Keeps every repetition's real time in milliseconds, by "function" or "function/args", and why a benchmark gave
// up; shows only the aggregates on the console, as ReportAggregatesOnly would, which would also withhold the
// repetitions from this reporter.
class SampleCollector : public benchmark::ConsoleReporter {
public:
    // No colour codes: run.sh picks the result lines out of piped output.
    SampleCollector() : ConsoleReporter(OO_Tabular) {}

    std::map<std::string, std::vector<double>> samplesMs;
    std::map<std::string, std::string> error;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        std::vector<Run> aggregates;
        for (const Run& run : runs) {
            const std::string name = keyOf(run);
            if (run.error_occurred)
                error[name] = run.error_message;
            else if (run.run_type == Run::RT_Aggregate)
                aggregates.push_back(run);
            else
                samplesMs[name].push_back(run.GetAdjustedRealTime() * toMs(run.time_unit));
        }
        if (!aggregates.empty())
            ConsoleReporter::ReportRuns(aggregates);
    }

    // The samples of one benchmark, empty when it gave up or did not run.
    std::vector<double> samples(const std::string& name) const
    {
        const auto it = samplesMs.find(name);
        return error.count(name) || it == samplesMs.end() ? std::vector<double>{} : it->second;
    }
    std::string why(const std::string& name) const
    {
        const auto it = error.find(name);
        return it != error.end() ? it->second : std::string("no figure");
    }

private:
    static std::string keyOf(const Run& run)
    {
        return run.run_name.args.empty() ? run.run_name.function_name
                                         : run.run_name.function_name + "/" + run.run_name.args;
    }
    static double toMs(benchmark::TimeUnit unit)
    {
        switch (unit) {
        case benchmark::kNanosecond:
            return 1e-6;
        case benchmark::kMicrosecond:
            return 1e-3;
        case benchmark::kMillisecond:
            return 1;
        default:
            return 1e3;
        }
    }
};
