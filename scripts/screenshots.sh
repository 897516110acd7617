#!/usr/bin/env bash
# Walks through the whole program under a virtual X server with a window manager and saves a
# screenshot of every window, the prompt and the completion message in docs/screenshots/.
# Needs: xvfb openbox xdotool x11-utils imagemagick, and a build (scripts/run.sh or test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
binary=$top/build/bin/plaintrove
out=$top/docs/screenshots
[ -x "$binary" ] || { echo "build the program first: $binary is missing" >&2; exit 1; }
mkdir -p "$out"

display=:$(( 90 + RANDOM % 9 ))
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

Xvfb "$display" -screen 0 800x600x24 -ac -nolisten tcp >/dev/null 2>&1 &
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.2; done # slow on a busy machine
openbox >/dev/null 2>&1 &
sleep 1

# A small folder to pick a page from.
mkdir -p "$work/site"
printf '<html>\r\n<body>\r\n<h1>Welcome</h1>\r\n<p>Plain <b>text</b>, at last.</p>\r\n</body></html>\r\n' \
    > "$work/site/index.html"
printf '<p>About us</p>\n' > "$work/site/about.html"
printf 'Already plain.\n' > "$work/site/notes.txt"

shot() { sleep 0.8; import -window root "$out/$1.png"; echo "saved $out/$1.png"; }
# Absolute position of a window's client area, by its title.
origin() {
    local id
    id=$(xdotool search --sync --name "$1" | head -n 1)
    xwininfo -id "$id" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} END {print x, y}'
}

(cd "$work/site" && exec "$binary") &
app=$!
sleep 2
shot 1-splash
xdotool key space
shot 2-about
xdotool key Return
sleep 1
read -r x y < <(origin 'Plaintrove v2.0')
# The file list, then the file "index.html" (twips 2400,120 -> pixels 160,8).
xdotool mousemove $((x + 200)) $((y + 26)) click 1
shot 3-main
# The strip button (twips 2400,2760 2175x375 -> pixels 160,184 145x25).
xdotool mousemove $((x + 232)) $((y + 196)) click 1
sleep 0.5
xdotool type --delay 20 "$work/site/index.txt"
shot 4-prompt
xdotool key Return
shot 5-message
xdotool key Escape # Cancel: the main window closes and the farewell screen follows
shot 6-farewell
# The program, a child of this script and so reaped at once, must end within half a second.
pressed=$(date +%s%N)
xdotool key space
while kill -0 "$app" 2>/dev/null && [ $(($(date +%s%N) - pressed)) -lt 3000000000 ]; do
    sleep 0.01
done
took=$((($(date +%s%N) - pressed) / 1000000))
if kill -0 "$app" 2>/dev/null || [ "$took" -gt 500 ]; then
    echo "the program did not end within 0.5 s of the farewell screen (${took} ms)" >&2
    exit 1
fi
echo "the program ended ${took} ms after the farewell screen; output:"
od -c "$work/site/index.txt"
