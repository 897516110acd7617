#!/usr/bin/env bash
# Measures plaintrove-strip --article on the pages of the article benchmark next to --readable
# and Readability.js (Firefox's Reader View, on linkedom's DOM in Node): time, MB/s and peak
# memory in interleaved rounds, then precision, recall and F1 of each one's text against the
# articles written out by people. Checks the speed targets. See bench/README.md.
#
#   bench/run.sh --article [-n RUNS] [--data DIR] [--out DIR] [PLAINTROVE_STRIP]
#
# Exit status: 0 the targets met, 1 missed, 2 the benchmark could not run.
set -Eeuo pipefail
export LC_ALL=C.UTF-8

bench_dir="$(cd "$(dirname "$0")" && pwd)"
repo="$(dirname "$bench_dir")"
out="${BENCH_OUT:-$bench_dir/out}"
data="$repo/../shared/data/article-benchmark"
runs=5
strip="$repo/build/bin/plaintrove-strip"
min_share_of_readable=0.40 # --article's speed over --readable's
min_over_readability=30 # --article's speed over Readability.js's
max_peak_ratio=5 # --article's peak memory over the size of a page it holds
# Readability.js and its DOM, as the npm registry has them: the versions measured.
node_packages=(@mozilla/readability@0.6.0 linkedom@0.18.15)

die() {
    echo "article.sh: $*" >&2
    exit 2
}
trap 'echo "article.sh: line $LINENO failed" >&2; exit 2' ERR
while [ $# -gt 0 ]; do
    case "$1" in
    -n)
        [[ "${2:-}" =~ ^[1-9][0-9]*$ ]] || die "$1 needs a number of at least 1"
        runs=$2; shift 2 ;;
    --data) data=${2:?}; shift 2 ;;
    --out) out=${2:?}; shift 2 ;;
    -h | --help) sed -n '2,9s/^# \{0,1\}//p' "$0"; exit 0 ;;
    -*) die "unknown option $1" ;;
    *) strip=$1; shift ;;
    esac
done
[ -f "$data/ground-truth.json" ] || die "no article benchmark in $data (--data DIR)"

# shellcheck source=../scripts/deps.sh
source "$repo/scripts/deps.sh"
command -v node >/dev/null && command -v npm >/dev/null || install_missing nodejs npm
install_missing time python3
if [ ! -x "$strip" ]; then
    (cd "$repo" && cmake --preset default >&2 \
        && cmake --build --preset default --target plaintrove-strip >&2)
fi
strip=$(realpath "$strip")

mkdir -p "$out/article-node"
out=$(realpath "$out")
node_dir="$out/article-node"
if ! (cd "$node_dir" && npm ls "${node_packages[@]}" >/dev/null 2>&1); then
    (cd "$node_dir" && npm install --no-audit --no-fund --silent "${node_packages[@]}" >&2) \
        || die "npm could not install ${node_packages[*]}"
fi
cp "$bench_dir/readability.mjs" "$node_dir/" # its imports are found beside it

work=$(mktemp -d "$out/article-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/pages"
for page in "$data"/html/*.html.gz; do
    gzip -dc "$page" >"$work/pages/$(basename "$page" .gz)"
done
pages=("$work/pages"/*.html)
size=$(cat "${pages[@]}" | wc -c)
echo "pages: ${#pages[@]} from $data, $size bytes" >&2

names=(readable article readability)
cat "${pages[@]}" >/dev/null
: >"$work/times"
for ((round = 1; round <= runs; round++)); do
    for name in "${names[@]}"; do
        rm -rf "${work:?}/$name" && mkdir "$work/$name"
        case $name in
        readable) command=("$strip" --readable --lf -j 1 -d "$work/$name" "${pages[@]}") ;;
        article) command=("$strip" --article --lf -j 1 -d "$work/$name" "${pages[@]}") ;;
        readability) command=(node "$node_dir/readability.mjs" -d "$work/$name" "${pages[@]}") ;;
        esac
        /usr/bin/time -f "$name %e %U %S %M" -a -o "$work/times" "${command[@]}" \
            || die "$name failed: ${command[*]:0:4} ..."
    done
done

# Memory: the benchmark's pages joined into one page just under the limit of what the article
# mode holds, and into one past it, which is written as --readable writes it.
limit=$((32 << 20))
python3 - "$work" "$limit" "${pages[@]}" <<'PY'
import sys
work, limit, pages = sys.argv[1], int(sys.argv[2]), [open(p, "rb").read() for p in sys.argv[3:]]
for name, target, under in (("held", limit - (1 << 20), True), ("over", limit + (8 << 20), False)):
    joined, size, i = [], 0, 0
    while (size + len(pages[i % len(pages)]) <= target) if under else size < target:
        joined.append(pages[i % len(pages)])
        size += len(joined[-1])
        i += 1
    open(f"{work}/{name}.html", "wb").write(b"".join(joined))
PY
# And the largest page the installed packages ship: a reference manual, with a node of its tree
# every few bytes where a news page has one every hundred.
largest=$(find /usr/share/doc -type f -name '*.html' -size -32M -printf '%s %p\n' | sort -rn \
    | awk 'NR == 1 { sub(/^[0-9]+ /, ""); print }')
: >"$work/empty.html" # the program's own memory, which any page needs
for page in "$work/empty.html" "$work/held.html" "$work/over.html" ${largest:+"$largest"}; do
    /usr/bin/time -f "big $(stat -c %s "$page") %e %M" -a -o "$work/times" \
        "$strip" --article "$page" "$work/big.txt" 2>/dev/null \
        || die "--article failed on $page"
done

status=0
python3 - "$work" "$data" "$size" "$min_share_of_readable" "$min_over_readability" \
    "$max_peak_ratio" "${names[@]}" <<'PY' || status=$?
import json, os, statistics, sys
work, data, size = sys.argv[1], sys.argv[2], int(sys.argv[3])
min_share, min_over, max_ratio = float(sys.argv[4]), float(sys.argv[5]), float(sys.argv[6])
names = sys.argv[7:]
sys.path.insert(0, os.path.join(data, "..", "..", "tools"))
from article_score import page_scores

rows = [line.split() for line in open(os.path.join(work, "times")) if line[0].isalpha()]
runs = sum(r[0] == names[0] for r in rows)
truth = json.load(open(os.path.join(data, "ground-truth.json"), encoding="utf-8"))
def median(name, pick): return statistics.median(pick(r) for r in rows if r[0] == name)
def quality(name, keys):
    precisions, recalls = [], []
    for key in keys:
        text = open(os.path.join(work, name, key + ".txt"), encoding="utf-8", errors="replace").read()
        p, r = page_scores(truth[key]["articleBody"], text) or (None, None)
        precisions += [p] if p is not None else []
        recalls += [r] if r is not None else []
    p, r = statistics.mean(precisions), statistics.mean(recalls)
    return p, r, 2 * p * r / (p + r)
# Two halves of the pages, scored apart: rules fitted to a few sites would show as a gap.
keys = sorted(truth)
halves = keys[: len(keys) // 2], keys[len(keys) // 2 :]

print(f"{len(truth)} pages, {size / 1e6:.1f} MB, {runs} interleaved rounds, one process for all pages:")
print(f"{'command':<12} {'median s':>9} {'cpu s':>7} {'MB/s':>7} {'peak MiB':>9} {'P':>6} {'R':>6} {'F1':>6}"
      f" {'F1 A':>6} {'F1 B':>6}")
speed = {}
for name in names:
    wall = median(name, lambda r: float(r[1]))
    cpu = median(name, lambda r: float(r[2]) + float(r[3]))
    peak = max(int(r[4]) for r in rows if r[0] == name) / 1024
    speed[name] = size / 1e6 / wall
    p, r, f1 = quality(name, keys)
    a, b = (quality(name, half)[2] for half in halves)
    print(f"{name:<12} {wall:9.3f} {cpu:7.3f} {speed[name]:7.1f} {peak:9.1f} {p:6.3f} {r:6.3f} {f1:6.3f}"
          f" {a:6.3f} {b:6.3f}")
print(f"F1 A, B: on the first and the last {len(halves[1])} pages in the order of their IDs")
empty, *big = [(int(r[1]), float(r[2]), int(r[3]) / 1024) for r in rows if r[0] == "big"]
def held(page, peak): return (peak - empty[2]) * 2**20 / page
print(f"\n--article on single large pages (an empty page peaks at {empty[2]:.1f} MiB): the pages")
print("joined, just under 32 MiB and past it, and the largest page under /usr/share/doc:")
for page, wall, peak in big:
    print(f"  {page / 2**20:5.1f} MiB page: {wall:.2f} s, peak {peak:.1f} MiB, "
          f"{held(page, peak):.1f}x the page above the empty page's")
ratio = max(held(page, peak) for page, _, peak in big if page <= 32 << 20)
share = speed["article"] / speed["readable"]
over = speed["article"] / speed["readability"]
ok = share >= min_share and over >= min_over and ratio <= max_ratio
print(f"  {'PASS' if share >= min_share else 'FAIL'}  --article at least {min_share:.0%} of --readable's speed: {share:.0%}")
print(f"  {'PASS' if over >= min_over else 'FAIL'}  --article at least {min_over:.0f}x Readability.js: {over:.0f}x")
print(f"  {'PASS' if ratio <= max_ratio else 'FAIL'}  --article's memory for a page at most {max_ratio:.0f}x the page: {ratio:.1f}x")
sys.exit(0 if ok else 1)
PY
exit "$status"
