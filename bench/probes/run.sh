#!/usr/bin/env bash
# Probe benchmarks, each printed next to its reference measured in the same run:
#   bench: echo_loopback_vs_ping ratio=<median SendEcho to 127.0.0.1 / ping's average rtt>
#   bench: echo_timeout_ms value=<time a silent host takes to give 11010>
#   bench: exe_exists_vs_pgrep ratio=<one exeRunning / one whole pgrep run, 1000 extra processes>
set -uo pipefail
build=$(realpath "${1:-build-bench}")
bench="$build/bench/probes/bench_probes"

# Real time in microseconds of the median aggregate of benchmark $1 in CSV output $2.
median_us() {
    awk -F, -v name="\"$1/" '
        index($0, name) == 1 && $1 ~ /_median"$/ {
            t = $3; u = $5
            if (u == "ns") t /= 1000; else if (u == "ms") t *= 1000; else if (u == "s") t *= 1000000
            print t; exit
        }' <<<"$2"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "" || b == "" || b <= 0) exit 1; printf "%.3f\n", a / b }'; }

# Echo to loopback against ping's own round-trip figure.
csv=$("$bench" --benchmark_filter='BM_EchoLoopback' --benchmark_format=csv 2>/dev/null)
echo_us=$(median_us BM_EchoLoopback "$csv")
# ping prints its average in whole microseconds and it wanders from run to run: take the median of five runs.
ping_ms=$(for _ in 1 2 3 4 5; do
    ping -c 200 -i 0.002 -q 127.0.0.1 2>/dev/null | sed -n 's|^rtt [^=]*= [0-9.]*/\([0-9.]*\)/.*|\1|p'
done | sort -n | sed -n 3p)
if value=$(ratio "$echo_us" "$(awk -v m="$ping_ms" 'BEGIN { if (m != "") print m * 1000 }')"); then
    echo "bench: echo_loopback_vs_ping ratio=$value"
    echo "  median SendEcho ${echo_us} us, ping average rtt ${ping_ms} ms" >&2
else
    echo "bench: echo_loopback_vs_ping skipped: no figure from the echo benchmark or from ping"
fi

# A silent host: loopback in a namespace of our own that ignores echo requests.
if [ "$(id -u)" != 0 ]; then
    echo "bench: echo_timeout_ms skipped: needs root to make a network namespace with a silent host"
else
    csv=$(unshare -n bash -c 'ip link set lo up && echo 1 > /proc/sys/net/ipv4/icmp_echo_ignore_all &&
          exec "$0" --benchmark_filter=BM_EchoSilentHost --benchmark_format=csv' "$bench" 2>/dev/null)
    timeout_us=$(median_us BM_EchoSilentHost "$csv")
    if [ -n "$timeout_us" ]; then
        echo "bench: echo_timeout_ms value=$(awk -v t="$timeout_us" 'BEGIN { printf "%.1f\n", t / 1000 }')"
    else
        echo "bench: echo_timeout_ms skipped: the silent host benchmark gave no figure"
    fi
fi

# Process lookup against pgrep, both with 1000 extra sleeping processes that the benchmark starts and ends.
csv=$("$bench" --benchmark_filter='BM_ExeExists|BM_PgrepWholeRun' --benchmark_format=csv 2>/dev/null)
exe_us=$(median_us BM_ExeExists "$csv")
pgrep_us=$(median_us BM_PgrepWholeRun "$csv")
if value=$(ratio "$exe_us" "$pgrep_us"); then
    echo "bench: exe_exists_vs_pgrep ratio=$value"
    echo "  exeRunning ${exe_us} us, pgrep ${pgrep_us} us" >&2
else
    echo "bench: exe_exists_vs_pgrep skipped: no figure from the process benchmarks"
fi
