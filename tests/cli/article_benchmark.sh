#!/usr/bin/env bash
# The article mode on the pages of the article benchmark, which lives outside the repository:
# its mean precision, recall and F1 must stay above the floors, well above what --readable
# (every visible word) scores. Skipped where the data is absent.
#
#   article_benchmark.sh PLAINTROVE_STRIP DATA_DIR MIN_F1 MIN_RECALL
set -euo pipefail
strip=$1 data=$2 min_f1=$3 min_recall=$4
scorer=$data/../../tools/article_score.py
if [ ! -f "$data/ground-truth.json" ] || [ ! -f "$scorer" ]; then
    echo "no article benchmark in $data: skipped"
    exit 77
fi
result=$(python3 "$scorer" --data "$data" --worst 5 "$strip" --article --lf)
echo "$result"
read -r _ precision _ recall _ f1 < <(tail -n 1 <<<"$result")
python3 - "$f1" "$min_f1" "$recall" "$min_recall" <<'PY'
import sys
f1, min_f1, recall, min_recall = map(float, sys.argv[1:])
failed = [f"{name} {value:.3f} is below {floor}" for name, value, floor
          in (("F1", f1, min_f1), ("recall", recall, min_recall)) if value < floor]
print("\n".join(failed) or f"F1 {f1:.3f} >= {min_f1}, recall {recall:.3f} >= {min_recall}")
sys.exit(1 if failed else 0)
PY
