# Sourced by the benchmark scripts: a figure from its runs, as the benchmark programs print it (bench/Spread.h).
# shellcheck shell=bash
# Every figure is the median of at least this many runs, printed with the least and the most.
readonly bench_min_runs=9

# "<key>=<median> min=<least> max=<most>" of the numbers on standard input (one a line; blank lines are left
# out), with <decimals> decimals; of an even count the lower middle one, a figure that was measured. Fails, printing
# nothing, when fewer than bench_min_runs numbers came.
spread() { # key decimals
    sort -g | awk -v key="$1" -v decimals="$2" -v least="$bench_min_runs" '
        NF { v[n++] = $1 }
        END {
            if (n < least) exit 1
            f = "%." decimals "f"
            printf "%s=" f " min=" f " max=" f "\n", key, v[int((n - 1) / 2)], v[0], v[n - 1]
        }'
}
