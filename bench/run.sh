#!/usr/bin/env bash
# Measures plaintrove-strip against cat and sed on large real HTML and prints PASS/FAIL for its
# speed and memory targets. See bench/README.md.
#
#   bench/run.sh [-n RUNS] [--sed-runs K] [--quick] [--out DIR] [PLAINTROVE_STRIP...]
#   bench/run.sh --site [-n RUNS] [--sed-runs K] [--tree real|small|both] [--out DIR] [PLAINTROVE_STRIP]: a whole site
#   bench/run.sh --readable [-n RUNS] [--pages N] [--out DIR] [PLAINTROVE_STRIP]: the readable mode
#   bench/run.sh --startup [-n ROUNDS] [--out DIR] [PLAINTROVE_STRIP...]: one small page
#   bench/run.sh --article [-n RUNS] [--data DIR] [--out DIR] [PLAINTROVE_STRIP]: the article mode
#
# PLAINTROVE_STRIP defaults to build/bin/plaintrove-strip, which is built (preset "default") when
# it is missing. Several binaries (an old and a new build, say) each get their own rows in the
# same interleaved rounds; the targets apply to the first. The corpus (about 2 GB) goes to
# bench/out/ unless --out or $BENCH_OUT says otherwise; outputs are written beside it.
# Exit status: 0 all targets met, 1 a target missed, 2 the benchmark itself could not run.
set -Eeuo pipefail
export LC_NUMERIC=C # a decimal point in every figure, whatever the locale

bench_dir="$(cd "$(dirname "$0")" && pwd)"
repo="$(dirname "$bench_dir")"
out="${BENCH_OUT:-$bench_dir/out}"
runs=5
sed_runs=2
quick=""
binaries=()

# The targets.
max_cat_ratio=2
min_sed_speedup=20
max_peak_kib=$((16 * 1024))
max_per_mb_spread=1.25 # largest over smallest time per MB across the linearity sizes

usage() { sed -n '2,13s/^# \{0,1\}//p' "$0"; }
die() {
    echo "run.sh: $*" >&2
    exit 2
}
trap 'echo "run.sh: line $LINENO failed" >&2; exit 2' ERR

while [ $# -gt 0 ]; do
    case "$1" in
    --site) shift; exec "$bench_dir/site.sh" "$@" ;;
    --readable) shift; exec "$bench_dir/readable.sh" "$@" ;;
    --startup) shift; exec "$bench_dir/startup.sh" "$@" ;;
    --article) shift; exec "$bench_dir/article.sh" "$@" ;;
    -n | --runs | --sed-runs)
        [[ "${2:-}" =~ ^[1-9][0-9]*$ ]] || die "$1 needs a number of at least 1"
        if [ "$1" = --sed-runs ]; then sed_runs=$2; else runs=$2; fi
        shift 2 ;;
    --quick) quick=--quick; shift ;;
    --out)
        [ $# -ge 2 ] || die "--out needs a directory"
        out="$2"; shift 2 ;;
    -h | --help) usage; exit 0 ;;
    -*) usage >&2; die "unknown option $1" ;;
    *) binaries+=("$1"); shift ;;
    esac
done

# shellcheck source=../scripts/deps.sh
source "$(dirname "$bench_dir")/scripts/deps.sh"

# hyperfine times, /usr/bin/time gives the peak memory, jq reads hyperfine's JSON, python3 builds
# the corpus and g++ the engine alone.
install_missing hyperfine time jq python3 coreutils sed g++

# Real HTML: the documentation of installed packages. With too little of it, the Python manual
# (about 55 MB of HTML) is added.
html_bytes=$(find /usr/share/doc -type f \( -name '*.html' -o -name '*.htm' \) -printf '%s\n' \
    | awk '{ total += $1 } END { print total + 0 }')
if [ "$html_bytes" -lt 40000000 ]; then
    install_missing python3-doc
fi

if [ ${#binaries[@]} -eq 0 ]; then
    binaries=("$repo/build/bin/plaintrove-strip")
    if [ ! -x "${binaries[0]}" ]; then
        echo "Building ${binaries[0]} ..." >&2
        (cd "$repo" && cmake --preset default >&2 \
            && cmake --build --preset default --target plaintrove-strip >&2)
    fi
fi
for i in "${!binaries[@]}"; do
    if [ ! -f "${binaries[i]}" ] || [ ! -x "${binaries[i]}" ]; then
        die "${binaries[i]}: no such executable"
    fi
    binaries[i]="$(realpath "${binaries[i]}")"
done

# The stripping engine between two plain file descriptors, to tell its cost from the file
# layer's. Optional: the benchmark runs without it if it does not build.
mkdir -p "$out"
out=$(realpath "$out")
engine="$out/engine_loop"
if g++ -std=c++20 -O2 -g -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion \
    -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual -Werror -I"$repo/src/conversion" \
    "$bench_dir/engine_loop.cpp" "$repo/src/conversion/exact/TagStripper.cpp" -o "$engine.new" >&2; then
    mv "$engine.new" "$engine"
else
    echo "run.sh: the engine alone did not build; its rows are left out" >&2
    engine=""
fi

load_before=$(cut -d' ' -f1 /proc/loadavg)
echo "Building or checking the corpus..." >&2
corpus=$(python3 "$bench_dir/make_corpus.py" --out "$out" $quick)

stamp=$(date +%Y%m%d-%H%M%S)
results="$out/results"
work="$results/work-$stamp" # outputs and per-run files, removed at the end
samples="$work/samples.tsv" # input, command, wall s, cpu s, peak KiB: one line a run
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT # the outputs of the 1 GB input alone take gigabytes
: >"$samples"

# --- The commands ---------------------------------------------------------------------------

strip_keys=() # strip1 stdout1 strip2 stdout2 ...: the file and standard output rows per binary
for i in "${!binaries[@]}"; do strip_keys+=("strip$((i + 1))" "stdout$((i + 1))"); done
main_keys=(cat dd "${strip_keys[@]}" ${engine:+engine} sed)
lin_keys=(cat)
for i in "${!binaries[@]}"; do lin_keys+=("strip$((i + 1))"); done
sed_script='s/<[^>]*>//g'

label() {
    local n=${1//[!0-9]/} tag=""
    [ ${#binaries[@]} -gt 1 ] && tag="#$n "
    case $1 in
    cat) echo "cat IN > OUT" ;;
    dd) echo "dd bs=128K (read/write copy)" ;;
    strip*) echo "${tag}plaintrove-strip IN OUT" ;;
    stdout*) echo "${tag}plaintrove-strip IN > OUT" ;;
    engine) echo "engine alone < IN > OUT" ;;
    sed) echo "sed '$sed_script' IN > OUT" ;;
    esac
}

# The shell command hyperfine times for KEY on INPUT. The shell creates OUT, as it would for any
# user of `> OUT`; /usr/bin/time adds the peak memory, and stderr is kept for a failure's report.
shell_command() {
    local key=$1 in out binary=""
    in=$(printf %q "$2")
    out=$(printf %q "$work/$key.out")
    [[ $key =~ ^(strip|stdout)([0-9]+)$ ]] && binary=$(printf %q "${binaries[BASH_REMATCH[2] - 1]}")
    printf '/usr/bin/time -f %%M -o %q ' "$work/$key.mem"
    case $key in
    cat) printf 'cat %s > %s' "$in" "$out" ;;
    dd) printf 'dd if=%s of=%s bs=128K status=none' "$in" "$out" ;;
    strip*) printf '%s %s %s' "$binary" "$in" "$out" ;;
    stdout*) printf '%s %s > %s' "$binary" "$in" "$out" ;;
    engine) printf '%q < %s > %s' "$engine" "$in" "$out" ;;
    sed) printf 'sed %q %s > %s' "$sed_script" "$in" "$out" ;;
    esac
    printf ' 2> %q' "$work/$key.err"
}

# One round: every KEY once, in order, in one hyperfine call. Before each run its output is
# removed and sync called (untimed), so that no run truncates an earlier output or waits for the
# writeback of another's. A ROUND other than "warm-up" adds one sample line per KEY.
run_round() {
    local input=$1 path=$2 round=$3 key args=()
    shift 3
    for key; do
        args+=(-n "$key" --prepare "rm -f $(printf %q "$work/$key.out") && sync"
            "$(shell_command "$key" "$path")")
    done
    if ! hyperfine --runs 1 --style none --export-json "$work/round.json" "${args[@]}" \
        2>"$work/hyperfine.err"; then
        cat "$work/hyperfine.err" >&2
        for key; do
            if [ -s "$work/$key.err" ]; then echo "$(label "$key"): $(cat "$work/$key.err")" >&2; fi
        done
        die "a command failed on $path"
    fi
    [ "$round" = warm-up ] && return 0
    jq -c --arg input "$input" --arg round "$round" '{ input: $input, round: $round } + .' \
        "$work/round.json" >>"$work/rounds.jsonl"
    jq -r '.results[] | [.command, .times[0], .user + .system] | @tsv' "$work/round.json" \
        | while IFS=$'\t' read -r key wall cpu; do
            printf '%s\t%s\t%s\t%s\t%s\n' "$input" "$key" "$wall" "$cpu" \
                "$(tail -n 1 "$work/$key.mem")"
        done >>"$samples"
}

sed_rounds_for() { # SIZE: fewer rounds of sed on big inputs, since it takes a minute on 1 GB
    if [ "$1" -ge 500000000 ]; then echo 1
    elif [ "$1" -ge 100000000 ]; then echo $((sed_runs < runs ? sed_runs : runs))
    else echo "$runs"; fi
}

differing=() # "input: row" whose stripped output differs from the first binary's
measure() { # INPUT LABEL PATH SED_ROUNDS KEY...
    local input=$1 name=$2 path=$3 sed_rounds=$4 round key no_sed=()
    shift 4
    for key; do [ "$key" = sed ] || no_sed+=("$key"); done
    dd if="$path" of=/dev/null bs=8M status=none # into the page cache
    # The warm-up round also gives the outputs to compare; sed is too slow to repeat for it.
    run_round "$input" "$path" warm-up "${no_sed[@]}"
    for key in "${no_sed[@]}"; do
        if [[ $key =~ ^(strip|stdout|engine) ]] && ! cmp -s "$work/strip1.out" "$work/$key.out"
        then differing+=("$name: $(label "$key")"); fi
    done
    for ((round = 1; round <= runs; round++)); do
        echo "  $name: round $round/$runs" >&2
        if [ "$round" -le "$sed_rounds" ]; then
            run_round "$input" "$path" "$round" "$@"
        else
            run_round "$input" "$path" "$round" "${no_sed[@]}"
        fi
    done
    rm -f "$work"/*.out
}

# --- Measuring ------------------------------------------------------------------------------

inputs() { jq -r ".$1[] | [.key, .label, .path, .size] | @tsv" <<<"$corpus"; }
declare -A size name
while IFS=$'\t' read -r key label path bytes; do
    size[$key]=$bytes name[$key]=$label
    measure "$key" "$label" "$path" "$(sed_rounds_for "$bytes")" "${main_keys[@]}"
done < <(inputs main)
: >"$work/empty.html"
size[empty]=0 name[empty]="empty input"
measure empty "empty input" "$work/empty.html" 0 "${lin_keys[@]}"
while IFS=$'\t' read -r key label path bytes; do
    size[$key]=$bytes name[$key]=$label
    measure "$key" "$label" "$path" 0 "${lin_keys[@]}"
done < <(inputs linearity)
load_after=$(cut -d' ' -f1 /proc/loadavg)
jq -s . "$work/rounds.jsonl" >"$results/hyperfine-$stamp.json"
cp "$samples" "$results/samples-$stamp.tsv"

# --- The figures ----------------------------------------------------------------------------

column_of() { # INPUT KEY FIELD: that field of every sample, in ascending order
    awk -F'\t' -v i="$1" -v k="$2" -v f="$3" '$1 == i && $2 == k { print $f }' "$samples" | sort -g
}
median() {
    column_of "$@" | awk '{ v[NR] = $1 }
        END { if (NR) print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
# Arithmetic on the figures; div() keeps a time rounded down to 0 from stopping the report.
calc() { awk "function div(a, b) { return b > 0 ? a / b : \"inf\" } BEGIN { print $1 }"; }
holds() { awk "BEGIN { exit !($1) }"; }
declare -A wall cpu peak count
for input in "${!size[@]}"; do
    for key in "${main_keys[@]}"; do
        [ -n "$(column_of "$input" "$key" 3)" ] || continue
        wall[$input/$key]=$(median "$input" "$key" 3)
        cpu[$input/$key]=$(median "$input" "$key" 4)
        peak[$input/$key]=$(column_of "$input" "$key" 5 | tail -n 1)
        count[$input/$key]=$(column_of "$input" "$key" 3 | wc -l)
    done
done
mb() { calc "$1 / 1000000"; }
mib() { printf '%.1f MiB' "$(calc "$1 / 1024")"; }
per_mb() { calc "(${wall[$1/$2]} - ${wall[empty/$2]}) * 1000 / (${size[$1]} / 1e6)"; }

# The input and MB cells, filled on an input's first row only: INPUT ROW
first_cells() {
    if [ "$2" -gt 0 ]; then
        printf '\t'
    else
        printf '%s\t%.1f' "${name[$1]}" "$(mb "${size[$1]}")"
    fi
}
rate() { printf %.0f "$(calc "div(${size[$1]} / 1e6, ${wall[$1/$2]})")"; } # INPUT KEY: MB/s

report() {
    local i input key row sed_median tag
    echo "date       $(date +%FT%T)"
    echo "machine    $(nproc) cores, Linux $(uname -r)," \
        "$(stat -f -c %T "$out") file system under $out"
    for i in "${!binaries[@]}"; do
        tag=""; [ ${#binaries[@]} -eq 1 ] || tag="#$((i + 1))"
        printf 'binary %-3s %s (built %s)\n' "$tag" "${binaries[i]}" \
            "$(date -r "${binaries[i]}" +%FT%T)"
    done
    echo "cat        $(cat --version | head -n 1)"
    echo "hyperfine  $(hyperfine --version)"
    echo "load       $load_before before, $load_after after (1-minute average)"
    jq -r '"corpus     \(.unique_files) HTML files, \(.unique_bytes / 1e5 | round / 10) MB, " +
        "from \(.sources | join(", "))"' <<<"$corpus"
    echo "rounds     medians of $runs interleaved rounds after one warm-up round"
    echo "sed        runs $runs times below 100 MB, $(sed_rounds_for 100000000) from 100 MB, once" \
        "from 500 MB (it is slow); see the runs column"
    echo
    {
        printf '%s\t' input MB command runs "median s" "cpu s" MB/s "peak RSS" time/cat
        printf 'faster than sed\n'
        while IFS=$'\t' read -r input _; do
            row=0 sed_median=${wall[$input/sed]:-}
            for key in "${main_keys[@]}"; do
                [ -n "${wall[$input/$key]:-}" ] || continue
                printf '%s\t%s\t%s\t%.3f\t%.3f\t%s\t%s\t%.2fx\t%s\n' \
                    "$(first_cells "$input" $row)" "$(label "$key")" "${count[$input/$key]}" \
                    "${wall[$input/$key]}" "${cpu[$input/$key]}" "$(rate "$input" "$key")" \
                    "$(mib "${peak[$input/$key]}")" \
                    "$(calc "div(${wall[$input/$key]}, ${wall[$input/cat]})")" \
                    "$([ -z "$sed_median" ] || [ "$key" = sed ] \
                        || printf %.1fx "$(calc "div($sed_median, ${wall[$input/$key]})")")"
                row=$((row + 1))
            done
        done < <(inputs main)
    } | align
    cat <<'EOF'

median s: wall time; cpu s: user + system time, which other work on the machine hardly
changes; time/cat: median time over that of cat on the same input. GNU cat 9 copies
between two regular files with copy_file_range(2) inside the kernel; dd shows what a
read(2)/write(2) copy through user space costs. 'plaintrove-strip IN > OUT' skips the
temporary file and its replacement of OUT.
EOF
    if [ ${#differing[@]} -eq 0 ]; then
        echo "The outputs of all plaintrove-strip rows (and the engine's) were identical."
    else
        echo "WARNING: these outputs differ from those of the first binary's file row:"
        printf '  %s\n' "${differing[@]}"
    fi
    echo
    echo "Linearity: the same real HTML repeated. ms/MB less start-up: (median - median on the"
    echo "empty input) / MB, which stays flat when the time grows linearly with the size."
    echo
    {
        printf 'input\tMB\tcommand\truns\tmedian s\tMB/s\tms/MB less start-up\tpeak RSS\n'
        while read -r input; do
            row=0
            for key in "${lin_keys[@]}"; do
                printf '%s\t%s\t%s\t%.3f\t%s\t%s\t%s\n' "$(first_cells "$input" $row)" \
                    "$(label "$key")" "${count[$input/$key]}" "${wall[$input/$key]}" \
                    "$([ "$input" = empty ] || rate "$input" "$key")" \
                    "$([ "$input" = empty ] || printf %.3f "$(per_mb "$input" "$key")")" \
                    "$(mib "${peak[$input/$key]}")"
                row=$((row + 1))
            done
        done < <(echo empty; inputs linearity | cut -f1)
    } | align
}
# Lays out tab-separated rows, the first a header, in columns as wide as their widest cell;
# the input and command columns (1 and 3) to the left, the figures to the right.
align() {
    awk -F'\t' '{
            for (i = 1; i <= NF; i++) { cell[NR, i] = $i; if (length($i) > w[i]) w[i] = length($i) }
        }
        function row(r, dash,   i, c, line) {
            for (i = 1; i in w; i++) {
                c = dash ? sprintf("%" w[i] "s", "") : cell[r, i]
                if (dash) gsub(/ /, "-", c)
                c = sprintf("%" (i == 1 || i == 3 ? "-" : "") w[i] "s", c)
                line = line (i > 1 ? "  " : "") c
            }
            print line
        }
        END { row(1); row(1, 1); for (r = 2; r <= NR; r++) row(r) }'
}
# --- The targets, for the first binary -------------------------------------------------------

missed=0
check() { # CONDITION TEXT
    local verdict=PASS
    holds "$1" || { verdict=FAIL; missed=1; }
    echo "  $verdict  $2${quick:+ [quick sizes]}"
}
targets() {
    local input key strip cat sed_median worst=0 where="" lin per min max format
    echo "Targets:"
    for input in real real1; do
        strip=${wall[$input/strip1]} cat=${wall[$input/cat]}
        check "$strip <= $max_cat_ratio * $cat" "$(
            printf 'time <= %sx cat on %s: %.3f s vs cat %.3f s = %.2fx' "$max_cat_ratio" \
                "${name[$input]}" "$strip" "$cat" "$(calc "div($strip, $cat)")"
            printf ' (cpu time %.2fx; vs the dd copy %.2fx)' \
                "$(calc "div(${cpu[$input/strip1]}, ${cpu[$input/cat]})")" \
                "$(calc "div($strip, ${wall[$input/dd]})")")"
    done
    while IFS=$'\t' read -r input _; do
        sed_median=${wall[$input/sed]:-}
        [ -n "$sed_median" ] || continue
        check "$sed_median >= $min_sed_speedup * ${wall[$input/strip1]}" "$(printf \
            '>= %sx faster than sed on %s: %.1fx (sed %s run(s))' \
            "$min_sed_speedup" "${name[$input]}" \
            "$(calc "div($sed_median, ${wall[$input/strip1]})")" "${count[$input/sed]}")"
    done < <(inputs main)
    for input in "${!size[@]}"; do
        for key in strip1 stdout1; do
            if [ "${peak[$input/$key]:-0}" -gt "$worst" ]; then
                worst=${peak[$input/$key]} where="on ${name[$input]}, to $([ $key = strip1 ] \
                    && echo a file || echo stdout)"
            fi
        done
    done
    check "$worst < $max_peak_kib" \
        "peak memory < $((max_peak_kib / 1024)) MiB on every input: worst $(mib "$worst") $where"
    mapfile -t lin < <(inputs linearity | cut -f1)
    per=$(for input in "${lin[@]}"; do per_mb "$input" strip1; done | sort -g)
    min=${per%%$'\n'*} max=${per##*$'\n'}
    # A time per MB of 0 or less means the start-up swamped the input: no linearity to judge.
    format='linear from %.0f to %.0f MB: time per MB (less %.0f ms start-up) varies by %.2fx'
    check "$min > 0 && $max <= $max_per_mb_spread * $min" "$(printf "$format, limit %sx" \
        "$(mb "${size[${lin[0]}]}")" "$(mb "${size[${lin[-1]}]}")" \
        "$(calc "${wall[empty/strip1]} * 1000")" "$(calc "div($max, $min)")" "$max_per_mb_spread")"
}

report_file="$results/report-$stamp.txt"
{ report | sed 's/ *$//'; echo; } >"$report_file"
targets >>"$report_file"
cat "$report_file"
echo "(saved in $report_file, samples-$stamp.tsv and hyperfine-$stamp.json)" >&2
exit "$missed"
