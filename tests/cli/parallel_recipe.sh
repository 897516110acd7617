#!/usr/bin/env bash
# parallel_recipe.sh PLAINTROVE_STRIP DOCUMENT: runs the GNU parallel recipe of docs/command-line.md
# on this machine alone and compares what it writes with a plain `plaintrove-strip -r` run.
set -euo pipefail
command -v parallel >/dev/null || { echo "GNU parallel is missing: skipped"; exit 77; }
PATH=$(dirname "$(realpath "$1")"):$PATH
recipe=$(sed -n '/^cd site$/,/^```$/p' "$2" | sed '$d; s/--sshlogin [^ ]*/--sshlogin :/')
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
mkdir -p "site/a b/c" site/.hidden
for page in index.html 'a b/x.HTM' 'a b/c/y.xhtml' .hidden/z.html; do
    printf '<p>%s</p>\r\n<b>page</b> text\r\n' "$page" >"site/$page"
done
echo 'not a page' >site/notes.txt
ln -s 'a b/x.HTM' site/link.html
plaintrove-strip -r -d expected site
(export PARALLEL=--will-cite && eval "$recipe")
diff -r expected text && echo "the recipe wrote the same $(find text -type f | wc -l) files"
