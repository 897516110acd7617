#!/usr/bin/env bash
# Start-up: what one small page costs, as the GNU parallel recipe pays it for every page:
# `plaintrove-strip small.html -` next to `sed 's/<[^>]*>//g' small.html` and `cat small.html`,
# with PASS/FAIL for the target (at most 2x sed). See bench/README.md.
#
#   bench/run.sh --startup [-n ROUNDS] [--out DIR] [PLAINTROVE_STRIP...]
#
# Several binaries (an old and a new build) each get a row in the same interleaved rounds; the
# target applies to the first. Exit status: 0 target met, 1 missed, 2 the benchmark could not run.
set -Eeuo pipefail
export LC_NUMERIC=C
bench_dir="$(cd "$(dirname "$0")" && pwd)"
out="${BENCH_OUT:-$bench_dir/out}"
rounds=10 binaries=()
die() { echo "startup.sh: $*" >&2; exit 2; }
trap 'echo "startup.sh: line $LINENO failed" >&2; exit 2' ERR
while [ $# -gt 0 ]; do
    case "$1" in
    -n) rounds=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    -h | --help) sed -n '2,9s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) binaries+=("$1"); shift ;;
    esac
done
[[ "$rounds" =~ ^[1-9][0-9]*$ ]] || die "-n needs a number of at least 1"
[ ${#binaries[@]} -gt 0 ] || binaries=("$(dirname "$bench_dir")/build/bin/plaintrove-strip")
for i in "${!binaries[@]}"; do
    [ -x "${binaries[i]}" ] || die "${binaries[i]}: no such executable (build it, or name one)"
    binaries[i]=$(realpath "${binaries[i]}")
done
# shellcheck source=../scripts/deps.sh
source "$(dirname "$bench_dir")/scripts/deps.sh"
install_missing hyperfine python3
mkdir -p "$out/startup" && cd "$out/startup"

# The small page of the README, 150 bytes.
printf '%s\n' '<html>' '<head><title>Small</title></head>' '<body>' '<h1>A small page</h1>' \
    '<p>Some <b>bold</b> text &amp; a <a href="x.html">link</a>.</p>' '</body>' '</html>' \
    >small.html
commands=()
for binary in "${binaries[@]}"; do commands+=("$binary small.html -"); done
commands+=("sed 's/<[^>]*>//g' small.html" "cat small.html")

# A round is one hyperfine call with every command, 30 runs each, without a shell (-N); the
# rounds interleave, so that a drifting load hits every row alike.
rm -f round-*.json
for ((round = 1; round <= rounds; round++)); do
    echo "round $round of $rounds" >&2
    hyperfine -N --warmup 5 --runs 30 --output=null --export-json "round-$round.json" \
        "${commands[@]}" >/dev/null 2>hyperfine.log || { cat hyperfine.log >&2; exit 2; }
done

python3 - "${#binaries[@]}" round-*.json <<'PYTHON'
import json, statistics, sys
count, files = int(sys.argv[1]), sys.argv[2:]
walls, cpus = {}, {}
for name in files:
    for result in json.load(open(name))["results"]:
        walls.setdefault(result["command"], []).extend(result["times"])
        cpus.setdefault(result["command"], []).append(result["user"] + result["system"])
print(f"Start-up on one 150-byte page: {len(files)} rounds of 30 runs")
print(f"{'command':<60} {'median ms':>10} {'min ms':>8} {'cpu ms':>8} {'/ sed':>6}")
rows = list(walls)
sed = statistics.median(walls[rows[count]])
for row in rows:
    wall = statistics.median(walls[row])
    print(f"{row[-60:]:<60} {wall * 1e3:10.2f} {min(walls[row]) * 1e3:8.2f} "
          f"{statistics.median(cpus[row]) * 1e3:8.2f} {wall / sed:6.2f}")
ratio = statistics.median(walls[rows[0]]) / sed
verdict = "PASS" if ratio <= 2 else "FAIL"
print(f"{verdict} at most 2x sed: {ratio:.2f}x")
sys.exit(verdict != "PASS")
PYTHON
