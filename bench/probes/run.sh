#!/usr/bin/env bash
# Probe benchmarks, each printed next to its reference measured in the same run, every figure the median of at
# least 9 runs with the least and the most (bench/spread.sh):
#   bench: echo_loopback_vs_ping ratio=<median SendEcho to 127.0.0.1 / ping's average rtt, round by round> min= max=
#   bench: echo_timeout_ms value=<time a silent host takes to give 11010> min= max=
#   bench: exe_exists_vs_pgrep ratio=<one exeRunning / one whole pgrep run, 1000 extra processes> min= max=
set -uo pipefail
build=$(realpath "${1:-build-bench}")
bench="$build/bench/probes/bench_probes"
# shellcheck source=bench/spread.sh
source "$(dirname "$0")/../spread.sh"

# Real time in microseconds of the median aggregate of benchmark $1 in CSV output $2.
median_us() {
    awk -F, -v name="\"$1/" '
        index($0, name) == 1 && $1 ~ /_median"$/ {
            t = $3; u = $5
            if (u == "ns") t /= 1000; else if (u == "ms") t *= 1000; else if (u == "s") t *= 1000000
            print t; exit
        }' <<<"$2"
}

# Real time in microseconds of each repetition of benchmark $1 in CSV output $2, one a line, in the order run;
# nothing for a benchmark that gave up (its rows carry no time).
samples_us() {
    awk -F, -v name="\"$1/" '
        index($0, name) == 1 && $1 !~ /_(mean|median|stddev|cv)"$/ && $3 != "" {
            t = $3; u = $5
            if (u == "ns") t /= 1000; else if (u == "ms") t *= 1000; else if (u == "s") t *= 1000000
            print t
        }' <<<"$2"
}

# Echo to loopback against ping's own round-trip figure, in rounds: the median of one run of the benchmark over
# the average of one run of ping right after it, so that both sides of each ratio see the machine as it was.
if ratios=$(for _ in $(seq "$bench_min_runs"); do
    csv=$("$bench" --benchmark_filter='BM_EchoLoopback' --benchmark_format=csv 2>/dev/null)
    echo_us=$(median_us BM_EchoLoopback "$csv")
    # ping prints its average in microseconds (three decimals of a millisecond).
    ping_ms=$(ping -c 200 -i 0.002 -q 127.0.0.1 2>/dev/null | sed -n 's|^rtt [^=]*= [0-9.]*/\([0-9.]*\)/.*|\1|p')
    awk -v a="$echo_us" -v m="$ping_ms" 'BEGIN { if (a != "" && m > 0) printf "%.4f %s %s\n", a / (m * 1000), a, m }'
done) && line=$(cut -d' ' -f1 <<<"$ratios" | spread ratio 3); then
    echo "bench: echo_loopback_vs_ping $line"
    echo "  rounds (ratio, median SendEcho us, ping average rtt ms): $(tr '\n' ';' <<<"$ratios")" >&2
else
    echo "bench: echo_loopback_vs_ping skipped: fewer than $bench_min_runs rounds gave a figure from the echo" \
        "benchmark and from ping"
fi

# A silent host: loopback in a namespace of our own that ignores echo requests.
if [ "$(id -u)" != 0 ]; then
    echo "bench: echo_timeout_ms skipped: needs root to make a network namespace with a silent host"
else
    csv=$(unshare -n bash -c 'ip link set lo up && echo 1 > /proc/sys/net/ipv4/icmp_echo_ignore_all &&
          exec "$0" --benchmark_filter=BM_EchoSilentHost --benchmark_format=csv' "$bench" 2>/dev/null)
    if line=$(samples_us BM_EchoSilentHost "$csv" | awk '{ print $1 / 1000 }' | spread value 1); then
        echo "bench: echo_timeout_ms $line"
    else
        echo "bench: echo_timeout_ms skipped: the silent host benchmark gave fewer than $bench_min_runs figures"
    fi
fi

# Process lookup against pgrep, both with 1000 extra sleeping processes that the benchmark starts and ends;
# repetition i of one over repetition i of the other.
csv=$("$bench" --benchmark_filter='BM_ExeExists|BM_PgrepWholeRun' --benchmark_format=csv 2>/dev/null)
exe=$(samples_us BM_ExeExists "$csv")
pgrep=$(samples_us BM_PgrepWholeRun "$csv")
if [ "$(wc -l <<<"$exe")" = "$(wc -l <<<"$pgrep")" ] &&
    line=$(paste -d' ' <(echo "$exe") <(echo "$pgrep") | awk '$2 > 0 { print $1 / $2 }' | spread ratio 3); then
    echo "bench: exe_exists_vs_pgrep $line"
    echo "  medians: exeRunning $(spread value 2 <<<"$exe" | cut -d' ' -f1 | cut -d= -f2) us," \
        "pgrep $(spread value 0 <<<"$pgrep" | cut -d' ' -f1 | cut -d= -f2) us" >&2
else
    echo "bench: exe_exists_vs_pgrep skipped: fewer than $bench_min_runs paired figures from the process benchmarks"
fi
