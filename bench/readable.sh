#!/usr/bin/env bash
# Measures plaintrove-strip --readable on real pages next to the exact mode, html2text, w3m and
# lynx: time, peak memory and how well the words of each output agree with the words a browser
# shows. Then times the readable mode on the real HTML of bench/run.sh, declared UTF-8 and made
# legacy (windows-1252 and GB18030, by iconv), and checks its targets. See bench/README.md.
#
#   bench/run.sh --readable [-n RUNS] [--pages N] [--out DIR] [PLAINTROVE_STRIP [OLD]]
#
# With OLD, an older build runs the UTF-8 page in the same interleaved rounds, and the new one
# must take at most 10 % more time on it.
# Exit status: 0 the targets met, 1 one missed, 2 the benchmark could not run.
set -Eeuo pipefail
export LC_ALL=C.UTF-8

bench_dir="$(cd "$(dirname "$0")" && pwd)"
repo="$(dirname "$bench_dir")"
out="${BENCH_OUT:-$bench_dir/out}"
runs=5
page_count=16
strip="$repo/build/bin/plaintrove-strip"
old=""
max_ratio=2.5 # the readable mode's time over the exact mode's; the goal is 1.5
max_over_old=1.10 # the readable mode's time on UTF-8 over an older build's
min_legacy_mbs=150 # a legacy page's speed

die() {
    echo "readable.sh: $*" >&2
    exit 2
}
trap 'echo "readable.sh: line $LINENO failed" >&2; exit 2' ERR
binaries=()
while [ $# -gt 0 ]; do
    case "$1" in
    -n | --pages)
        [[ "${2:-}" =~ ^[1-9][0-9]*$ ]] || die "$1 needs a number of at least 1"
        if [ "$1" = -n ]; then runs=$2; else page_count=$2; fi
        shift 2 ;;
    --out) out=${2:?}; shift 2 ;;
    -h | --help) sed -n '2,12s/^# \{0,1\}//p' "$0"; exit 0 ;;
    -*) die "unknown option $1" ;;
    *) binaries+=("$1"); shift ;;
    esac
done

[ ${#binaries[@]} -le 2 ] || die "at most two binaries: PLAINTROVE_STRIP and OLD"
[ ${#binaries[@]} -ge 1 ] && strip=${binaries[0]}
[ ${#binaries[@]} -eq 2 ] && old=$(realpath "${binaries[1]}")

# shellcheck source=../scripts/deps.sh
source "$(dirname "$bench_dir")/scripts/deps.sh"
install_missing html2text w3m lynx time python3 g++ libgumbo-dev
if [ ! -x "$strip" ]; then
    (cd "$repo" && cmake --preset default >&2 \
        && cmake --build --preset default --target plaintrove-strip >&2)
fi
strip=$(realpath "$strip")

mkdir -p "$out"
out=$(realpath "$out")
work=$(mktemp -d "$out/readable-XXXXXX")
trap 'rm -rf "$work"' EXIT
g++ -std=c++20 -O2 -I"$repo/tests/conversion" "$bench_dir/gumbo_words.cpp" -lgumbo \
    -o "$work/gumbo_words"

# The pages: the largest HTML pages in UTF-8 of 20 to 300 kB that installed packages ship, one
# per directory (difflib's time grows with the square of a page's words).
mapfile -t pages < <(find /usr/share/doc -type f -name '*.html' -size +20k -size -300k \
    -printf '%s %p\n' | sort -rn \
    | awk '{ d = $2; sub(/\/[^\/]*$/, "", d); if (!(d in seen)) { seen[d]; print $2 } }' \
    | while read -r page; do iconv -f UTF-8 -t UTF-8 "$page" >/dev/null 2>&1 && echo "$page"; done \
    | head -n "$page_count" || true)
[ ${#pages[@]} -gt 0 ] || die "no HTML pages in UTF-8 under /usr/share/doc"

names=(exact readable html2text w3m lynx)
command_for() { # NAME PAGE
    case $1 in
    exact) echo "$strip $2 -" ;;
    readable) echo "$strip --readable $2 -" ;;
    html2text) echo "html2text -utf8 $2" ;;
    w3m) echo "w3m -dump -T text/html -I UTF-8 -O UTF-8 $2" ;;
    lynx) echo "lynx -dump -nolist -assume_charset=UTF-8 -display_charset=UTF-8 $2" ;;
    esac
}

# Word agreement: difflib's ratio of the two word sequences, words split at ASCII white space.
agreement() {
    python3 - "$1" "$2" <<'PY'
import difflib, re, sys
words = [re.split(rb"[ \t\n\f\r]+", open(path, "rb").read().strip()) for path in sys.argv[1:]]
print(f"{difflib.SequenceMatcher(None, *words, autojunk=False).ratio():.3f}")
PY
}

echo "pages: ${#pages[@]} from /usr/share/doc, $(cat "${pages[@]}" | wc -c) bytes" >&2
: >"$work/rows.tsv"
for page in "${pages[@]}"; do
    "$work/gumbo_words" <"$page" >"$work/reference.txt"
    for name in "${names[@]}"; do
        # shellcheck disable=SC2046
        /usr/bin/time -f '%e %M' -o "$work/time" $(command_for "$name" "$page") \
            >"$work/$name.txt" 2>/dev/null || true
        read -r seconds kib <"$work/time"
        printf '%s\t%s\t%s\t%s\t%s\n' "$name" "$page" "$seconds" "$kib" \
            "$(agreement "$work/reference.txt" "$work/$name.txt")" >>"$work/rows.tsv"
    done
done

echo "Word agreement with the words a browser shows (gumbo), on ${#pages[@]} real pages:"
python3 - "$work/rows.tsv" "${names[@]}" <<'PY'
import statistics, sys
rows = [line.rstrip("\n").split("\t") for line in open(sys.argv[1])]
print(f"{'command':<10} {'total s':>8} {'peak MiB':>9} {'median':>7} {'worst':>6}")
for name in sys.argv[2:]:
    mine = [row for row in rows if row[0] == name]
    ratios = [float(row[4]) for row in mine]
    print(f"{name:<10} {sum(float(r[2]) for r in mine):8.2f} "
          f"{max(int(r[3]) for r in mine) / 1024:9.1f} {statistics.median(ratios):7.3f} "
          f"{min(ratios):6.3f}")
PY

# The time targets, on the real HTML of the main benchmark: medians of interleaved runs. Its
# first page declares ISO-8859-1, which would make the whole of it windows-1252: the UTF-8 page
# declares UTF-8 before it; the legacy pages are the same made windows-1252 (iconv -c: what
# windows-1252 has no character for goes) and GB18030 (all of it), each declaring its encoding.
corpus=$(python3 "$bench_dir/make_corpus.py" --out "$out" | python3 -c \
    'import json, sys; print(next(i["path"] for i in json.load(sys.stdin)["main"] if i["key"] == "real"))')
declared() { # ENCODING OUTPUT: the corpus in ENCODING, declaring it, made once
    [ "$2" -nt "$corpus" ] && return
    { printf '<meta charset="%s">\n' "$1"; cat "$corpus"; } | iconv -c -f UTF-8 -t "$1" >"$2.tmp" || true
    mv "$2.tmp" "$2"
}
utf8="${corpus%.html}-utf8.html"
legacy1252="${corpus%.html}-windows-1252.html"
legacy18030="${corpus%.html}-gb18030.html"
declared UTF-8 "$utf8"
declared WINDOWS-1252 "$legacy1252"
declared GB18030 "$legacy18030"
cat "$corpus" "$utf8" "$legacy1252" "$legacy18030" >/dev/null
: >"$work/times"
timed() { # ROW INPUT COMMAND...: wall time by bash's microsecond clock, as time's %e has 10 ms
    local row=$1 input=$2 start
    shift 2
    start=$EPOCHREALTIME
    /usr/bin/time -f "%U %S %M" -o "$work/time" "$@" "$input" "$work/out.txt"
    echo "$row $(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.4f", b - a }')" \
        "$(cat "$work/time") $(stat -c %s "$input")" >>"$work/times"
}
for ((round = 1; round <= runs; round++)); do
    timed exact "$corpus" "$strip"
    timed utf-8 "$utf8" "$strip" --readable
    [ -n "$old" ] && timed utf-8-old "$utf8" "$old" --readable
    timed windows-1252 "$legacy1252" "$strip" --readable
    timed gb18030 "$legacy18030" "$strip" --readable
done
status=0
python3 - "$work/times" "$max_ratio" "$max_over_old" "$min_legacy_mbs" <<'PY' || status=$?
import statistics, sys
rows = [line.split() for line in open(sys.argv[1]) if line[0].isalpha()]
limit, over_old, min_mbs = float(sys.argv[2]), float(sys.argv[3]), float(sys.argv[4])
names = [n for n in ("exact", "utf-8", "utf-8-old", "windows-1252", "gb18030") if any(r[0] == n for r in rows)]
def median(name, column): return statistics.median(float(r[column]) for r in rows if r[0] == name)
def speed(name): return int(next(r[5] for r in rows if r[0] == name)) / 1e6 / median(name, 1)
print(f"\nThe real HTML of the main benchmark, {sum(r[0] == 'exact' for r in rows)} interleaved runs each, file to file:")
for name in names:
    cpu = statistics.median(float(r[2]) + float(r[3]) for r in rows if r[0] == name)
    peak = max(int(r[4]) for r in rows if r[0] == name) / 1024
    size = int(next(r[5] for r in rows if r[0] == name)) / 1e6
    mode = "exact" if name == "exact" else f"--readable, {name}"
    print(f"  {mode:<28} {size:5.0f} MB  median {median(name, 1):.3f} s, cpu {cpu:.3f} s, "
          f"{speed(name):.0f} MB/s, peak {peak:.1f} MiB")
checks = []
ratio = median("utf-8", 1) / median("exact", 1)
checks.append((ratio <= limit, f"readable time <= {limit}x exact: {ratio:.2f}x (goal 1.5x)"))
if "utf-8-old" in names:
    ratio = median("utf-8", 1) / median("utf-8-old", 1)
    checks.append((ratio <= over_old, f"readable time on UTF-8 <= {over_old}x the older build's: {ratio:.2f}x"))
for name in ("windows-1252", "gb18030"):
    checks.append((speed(name) >= min_mbs, f"a {name} page at >= {min_mbs:.0f} MB/s: {speed(name):.0f} MB/s"))
peak = max(int(r[4]) for r in rows if r[0] != "utf-8-old") / 1024
checks.append((peak < 16, f"peak memory < 16 MiB: {peak:.1f} MiB"))
for ok, text in checks:
    print(f"  {'PASS' if ok else 'FAIL'}  {text}")
sys.exit(0 if all(ok for ok, _ in checks) else 1)
PY
exit "$status"
