#!/usr/bin/env bash
# Whole sites converted with `plaintrove-strip -r -d`, next to `cp -r` (the limit) and
# `find -exec sed` (what people reach for), with PASS/FAIL for the targets. Two trees: 10,000
# real pages in 100 folders, and 200,000 small generated pages in 1,000 folders, where what a
# batch pays for each file and its memory show. See bench/README.md.
#
#   bench/run.sh --site [-n RUNS] [--sed-runs K] [--tree real|small|both] [--out DIR] [PLAINTROVE_STRIP]
#
# Exit status: 0 all targets met, 1 a target missed, 2 the benchmark itself could not run.
set -Eeuo pipefail
export LC_NUMERIC=C
bench_dir="$(cd "$(dirname "$0")" && pwd)"
out="${BENCH_OUT:-$bench_dir/out}"
runs=5 sed_runs=1 trees=both strip="$(dirname "$bench_dir")/build/bin/plaintrove-strip"
die() { echo "site.sh: $*" >&2; exit 2; }
trap 'echo "site.sh: line $LINENO failed" >&2; exit 2' ERR
while [ $# -gt 0 ]; do
    case "$1" in
    -n) runs=$2; shift 2 ;;
    --sed-runs) sed_runs=$2; shift 2 ;;
    --tree) trees=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    -h | --help) sed -n '2,9s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) strip=$1; shift ;;
    esac
done
[[ "$runs $sed_runs" =~ ^[1-9][0-9]*\ [1-9][0-9]*$ ]] || die "-n and --sed-runs need a number of at least 1"
[[ "$trees" =~ ^(real|small|both)$ ]] || die "--tree takes real, small or both"
[ -x "$strip" ] || die "$strip: no such executable (build it, or name one)"
strip=$(realpath "$strip")
command -v /usr/bin/time >/dev/null || die "/usr/bin/time is missing (Debian package time)"
mkdir -p "$out/site" && out=$(realpath "$out/site")
jobs=$(nproc)

# The same 10,000 pages on every run: the documentation's pages in a fixed shuffled order, taken
# again from the start when there are fewer.
real_tree() {
    if [ ! -f "$out/tree.done" ]; then
        rm -rf "$out/tree"
        mapfile -t pages < <(find /usr/share/doc -type f -name '*.html' | sort \
            | awk 'BEGIN { srand(1) } { print rand() "\t" $0 }' | sort | cut -f2-)
        [ ${#pages[@]} -gt 0 ] || die "no HTML under /usr/share/doc"
        # One process for the 10,000 copies: a cp for each takes minutes on a busy machine.
        printf '%s\n' "${pages[@]}" | python3 -c '
import os, shutil, sys
pages, tree = sys.stdin.read().splitlines(), sys.argv[1]
for i in range(10000):
    folder = os.path.join(tree, "f%02d" % (i // 100))
    os.makedirs(folder, exist_ok=True)
    shutil.copyfile(pages[i % len(pages)], os.path.join(folder, "p%02d.html" % (i % 100)))
' "$out/tree"
        touch "$out/tree.done"
    fi
    echo "$out/tree"
}

# run NAME COMMAND...: one timed run after its old output is gone and the disk is quiet.
declare -A times peaks
run() {
    local name=$1
    shift
    rm -rf "$out/result" && sync
    /usr/bin/time -o "$out/time" -f '%e %M' "$@" >/dev/null
    read -r seconds kib <"$out/time"
    times[$name]+="$seconds "
    [ "${peaks[$name]:-0}" -ge "$kib" ] || peaks[$name]=$kib
}
median() { tr ' ' '\n' <<<"${times[$1]}" | sed '/^$/d' | sort -g | awk '{ v[NR] = $1 }
    END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
calc() { awk "BEGIN { print $1 }"; }
status=0
check() { if awk "BEGIN { exit !($1) }"; then echo "PASS $2"; else echo "FAIL $2"; status=1; fi; }

# measure TITLE TREE SED_RUNS ROWS...: the rounds, then the table of ROWS.
measure() {
    local title=$1 tree=$2 sed_rounds=$3 size row s
    shift 3
    times=() peaks=()
    size=$(du -sb "$tree" | cut -f1)
    find "$tree" -type f -exec cat {} + >/dev/null # into the page cache
    local sed_each='mkdir -p "result/${1%/*}" && sed "s/<[^>]*>//g" "$1" >"result/${1%.*}.txt"'
    cd "$(dirname "$tree")"
    for ((round = 1; round <= runs; round++)); do
        echo "$title: round $round of $runs" >&2
        run cp cp -r "$(basename "$tree")" result
        run strip "$strip" -r -d result "$(basename "$tree")"
        [ "$round" -gt "$sed_rounds" ] ||
            run sed find "$(basename "$tree")" -name '*.html' -exec sh -c "$sed_each" _ {} \;
    done
    rm -rf "$out/result" "$out/time"
    echo "$title, $(calc "$size / 1e6") MB; $runs rounds, $jobs processors"
    printf '%-28s %9s %9s %10s\n' row "median s" "MB/s" "peak KiB"
    for row in "$@"; do
        s=$(median "$row")
        printf '%-28s %9s %9.0f %10s\n' "$row" "$s" "$(calc "$size / 1e6 / $s")" "${peaks[$row]}"
    done
}

if [ "$trees" != small ]; then
    measure "Site: 10,000 pages in 100 folders" "$(real_tree)" "$sed_runs" cp strip sed
    cp_s=$(median cp) strip_s=$(median strip) sed_s=$(median sed)
    limit_kib=$((16 * 1024 + jobs * 512)) # one 256 KiB read and one 256 KiB output buffer a job
    check "$strip_s <= 3 * $cp_s" "at most 3x cp -r: $(calc "$strip_s / $cp_s")x"
    check "$sed_s >= 10 * $strip_s" "at least 10x faster than find -exec sed: $(calc "$sed_s / $strip_s")x"
    check "${peaks[strip]} < $limit_kib" "peak memory under $limit_kib KiB: ${peaks[strip]} KiB"
fi
if [ "$trees" != real ]; then
    # Made by the corpus script; sed would start 400,000 processes, so it sits this one out.
    tree=$(python3 "$bench_dir/make_corpus.py" --out "$out/.." --site-tree 200000 1000)
    measure "Many small pages: 200,000 in 1,000 folders" "$tree" 0 cp strip
    cp_s=$(median cp) strip_s=$(median strip)
    check "$strip_s <= 1.3 * $cp_s" "at most 1.3x cp -r: $(calc "$strip_s / $cp_s")x"
    check "${peaks[strip]} <= 32768" "peak memory at most 32 MiB: ${peaks[strip]} KiB"
fi
exit $status
